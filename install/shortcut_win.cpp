// <windows.h> must come before the other system headers.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
// clang-format on

#include "base/com_ref_win.h"
#include "install/registration.h"

bool CreateShortcut(const std::wstring& target, const std::wstring& linkPath,
                    const std::wstring& workingFolder) {
  ComRef<IShellLinkW> link;
  if (FAILED(
          CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())))
    return false;
  // A failed SetPath or SetWorkingDirectory leaves a link with less in it; it
  // is saved all the same.
  link->SetPath(target.c_str());
  link->SetWorkingDirectory(workingFolder.c_str());
  ComRef<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.put_void()))) return false;
  file->Save(linkPath.c_str(), FALSE);
  return true;
}

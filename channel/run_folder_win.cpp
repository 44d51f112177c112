#include "channel/run_folder_win.h"

#include <windows.h>
// after windows.h
#include <objbase.h>
#include <sddl.h>

#include <cstdio>
#include <utility>

#include "base/debug_output.h"
#include "base/text_convert.h"

const wchar_t kRunFolderSecurity[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

namespace {

constexpr int kNameAttempts = 8;

std::wstring NewFolderName() {
  GUID id{};
  if (FAILED(CoCreateGuid(&id))) return std::wstring();
  wchar_t name[64];
  std::swprintf(name, 64, L"QuorvaneSetup.%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
  return name;
}

// Removes the entry at `path` itself: a file is deleted (a link as a link),
// a folder or a junction is removed without entering it.
void RemoveEntry(const std::wstring& path, DWORD attributes) {
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (RemoveDirectoryW(path.c_str()) || DeleteFileW(path.c_str())) return;
  } else {
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileW(path.c_str())) return;
  }
  // Still in use: gone at the next start of Windows.
  MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

}  // namespace

std::wstring WindowsTemporaryFolder() {
  wchar_t windows[MAX_PATH + 1] = {};
  const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return std::wstring();
  std::wstring folder(windows, n);
  if (folder.back() != L'\\') folder += L'\\';
  return folder + L"Temp\\";
}

RunFolder& RunFolder::operator=(RunFolder&& o) noexcept {
  if (this != &o) {
    Remove();
    path_ = std::exchange(o.path_, std::wstring());
  }
  return *this;
}

RunFolder RunFolder::Create(const std::wstring& parent) {
  RunFolder made;
  const std::wstring base = parent.empty() ? WindowsTemporaryFolder() : parent;
  if (base.empty()) return made;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kRunFolderSecurity, SDDL_REVISION_1, &descriptor,
                                                            nullptr))
    return made;
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
  DWORD error = ERROR_ALREADY_EXISTS;
  // A name that exists already (by chance, or made by someone else) is never
  // used: CreateDirectoryW fails on it, whatever it is.
  for (int i = 0; i < kNameAttempts && error == ERROR_ALREADY_EXISTS; ++i) {
    const std::wstring name = NewFolderName();
    if (name.empty()) break;
    const std::wstring path = base + name;
    if (CreateDirectoryW(path.c_str(), &attributes)) {
      made.path_ = path + L'\\';
      error = ERROR_SUCCESS;
    } else {
      error = GetLastError();
    }
  }
  LocalFree(descriptor);
  if (!made) {
    DebugOutW(L"the run's own folder cannot be made in " + base + L", error " + std::to_wstring(error));
    SetLastError(error);
  }
  return made;
}

void RunFolder::Remove() {
  if (path_.empty()) return;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((path_ + L'*').c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      RemoveEntry(path_ + name, found.dwFileAttributes);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  std::wstring folder = path_;
  folder.pop_back();
  if (!RemoveDirectoryW(folder.c_str())) MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  path_.clear();
}

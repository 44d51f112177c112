#include "channel/run_folder_win.h"

#include <windows.h>
// after windows.h
#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>

#include <cstdio>
#include <utility>

#include "base/debug_output.h"
#include "base/text_convert.h"
#include "channel/installer_launch.h"
#include "download/resume_record.h"

const wchar_t kRunFolderSecurity[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

namespace {

constexpr int kNameAttempts = 8;

std::wstring NewFolderName() {
  GUID id{};
  if (FAILED(CoCreateGuid(&id))) return std::wstring();
  char name[64];
  std::snprintf(name, sizeof name, "QuorvaneSetup.%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
  return AnsiToWide(name);
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

constexpr wchar_t kPartStoreName[] = L"QuorvaneSetup.parts";

// Opens the folder at `path` itself, never what a link there points to; the
// handle lets nobody rename or delete the folder while it is open.
// Empty when it is no folder or cannot be opened; the last error says why.
UniqueHandle OpenFolderNoFollow(const std::wstring& path) {
  UniqueHandle h(
      CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!h) return h;
  BY_HANDLE_FILE_INFORMATION info{};
  DWORD error = ERROR_SUCCESS;
  if (!GetFileInformationByHandle(h.get(), &info))
    error = GetLastError();
  else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
    error = ERROR_REPARSE_TAG_INVALID;
  else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    error = ERROR_DIRECTORY;
  if (error == ERROR_SUCCESS) return h;
  h.reset();
  SetLastError(error);
  return h;
}

std::wstring SecurityText(HANDLE folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error =
      GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                      nullptr, nullptr, nullptr, &descriptor);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return std::wstring();
  }
  wchar_t* text = nullptr;
  std::wstring out;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text,
          nullptr)) {
    out = text;
    LocalFree(text);
  }
  LocalFree(descriptor);
  return out;
}

// Moves `from` to `to`, replacing a file there; a file that does not move is
// deleted, so that nothing stale is left for a later run.
void MoveOrDelete(const std::wstring& from, const std::wstring& to) {
  if (GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES) return;
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return;
  DebugOutW(L"the partial download cannot be moved to " + to + L", error " + DecimalWide(GetLastError()));
  DeleteFileW(from.c_str());
}

}  // namespace

std::wstring FolderSecurityText(const std::wstring& path) {
  UniqueHandle folder = OpenFolderNoFollow(path);
  if (!folder) return std::wstring();
  std::wstring text = SecurityText(folder.get());
  const DWORD error = GetLastError();
  folder.reset();
  SetLastError(error);
  return text;
}

PartStore::PartStore(PartStore&& o) noexcept
    : path_(std::exchange(o.path_, std::wstring())), folder_(std::move(o.folder_)) {}

PartStore PartStore::Open(const RunFolder& runFolder, std::string* why, const std::wstring& parent) {
  PartStore store;
  auto fail = [&](const std::string& text) {
    if (why) *why = text;
    return PartStore();
  };
  const std::wstring base = parent.empty() ? WindowsTemporaryFolder() : parent;
  if (base.empty() || !runFolder) return fail("there is no temporary folder");
  std::wstring reference = runFolder.Path();
  reference.pop_back();
  const std::wstring expected = FolderSecurityText(reference);
  if (expected.empty())
    return fail("the run's own folder cannot be read, error " + std::to_string(GetLastError()));

  const std::wstring path = base + kPartStoreName;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kRunFolderSecurity, SDDL_REVISION_1, &descriptor,
                                                           nullptr)) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    CreateDirectoryW(path.c_str(), &attributes);  // an existing one is checked like a new one
    LocalFree(descriptor);
  }
  UniqueHandle folder = OpenFolderNoFollow(path);
  if (!folder) return fail("it is no folder, error " + std::to_string(GetLastError()));
  const std::wstring found = SecurityText(folder.get());
  if (found != expected) {
    folder.reset();
    return fail("its owner or access (" + WideToUtf8(found) + ") are not those of the run's own folder (" +
                WideToUtf8(expected) + ")");
  }
  store.path_ = path + L'\\';
  store.folder_ = std::move(folder);
  return store;
}

void PartStore::Lend(const std::wstring& target) {
  if (path_.empty()) return;
  const std::wstring name = AnsiToWide(kInstallerFileName);
  MoveOrDelete(PartialPathFor(path_ + name), PartialPathFor(target));
  MoveOrDelete(RecordPathFor(path_ + name), RecordPathFor(target));
}

void PartStore::Keep(const std::wstring& target) {
  if (path_.empty()) return;
  const std::wstring name = AnsiToWide(kInstallerFileName);
  DeleteFileW(PartialPathFor(path_ + name).c_str());
  DeleteFileW(RecordPathFor(path_ + name).c_str());
  if (GetFileAttributesW(PartialPathFor(target).c_str()) == INVALID_FILE_ATTRIBUTES) return;
  MoveOrDelete(PartialPathFor(target), PartialPathFor(path_ + name));
  MoveOrDelete(RecordPathFor(target), RecordPathFor(path_ + name));
}

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
    DebugOutW(L"the run's own folder cannot be made in " + base + L", error " + DecimalWide(error));
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

// Test helper (Windows): a user.ini with given bytes in the per-user data
// folder of the running user, removed again when the helper goes away (with
// its "Quorvane" folder when the helper created that).
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <string>

#include "base/win_handle.h"
#include "ui/user_ini.h"

class ScopedUserIni {
 public:
  explicit ScopedUserIni(const std::string& bytes) {
    folder_ = UserDataFolder() + L"\\Quorvane";
    createdFolder_ = CreateDirectoryW(folder_.c_str(), nullptr) != FALSE;
    UniqueHandle file(CreateFileW(UserIniPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ok_ = file.valid() &&
          WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
          written == bytes.size();
  }
  ~ScopedUserIni() {
    DeleteFileW(UserIniPath().c_str());
    if (createdFolder_) RemoveDirectoryW(folder_.c_str());
  }
  ScopedUserIni(const ScopedUserIni&) = delete;
  ScopedUserIni& operator=(const ScopedUserIni&) = delete;

  bool ok() const { return ok_; }

 private:
  std::wstring folder_;
  bool createdFolder_ = false;
  bool ok_ = false;
};
#endif

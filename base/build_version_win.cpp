#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/build_version.h"
#include "base/text_convert.h"

namespace {

// What the executable's version resource says; missing strings stay empty.
struct VersionInfo {
  WORD major = 0, minor = 0, build = 0, revision = 0;
  std::wstring fileVersion, productVersion, productName, companyName, fileDescription;
};

// The running executable's full path, "" when it cannot be had. Paths longer
// than MAX_PATH (long-path prefixes) get a growing heap buffer.
std::wstring OwnExecutablePath() {
  wchar_t small[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, small, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return std::wstring(small, n);
  // Windows paths end at 32767 characters; stop growing well past that.
  for (DWORD size = 2 * MAX_PATH; size <= 65536; size *= 2) {
    std::vector<wchar_t> buffer(size);
    SetLastError(ERROR_SUCCESS);
    n = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (n > 0 && n < size) return std::wstring(buffer.data(), n);
    if (n == 0 && GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
  }
  return L"";
}

std::wstring QueryString(const std::vector<BYTE>& data, WORD language, WORD codePage, const wchar_t* name) {
  char code[16];
  std::snprintf(code, sizeof code, "%04x%04x", language, codePage);
  const std::wstring block = L"\\StringFileInfo\\" + AnsiToWide(code) + L"\\" + name;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), block.c_str(), &value, &length) || !value || length == 0) return L"";
  const wchar_t* text = static_cast<const wchar_t*>(value);
  // The length counts the terminating NUL (when present).
  size_t chars = wcsnlen(text, length);
  return std::wstring(text, chars);
}

// False only when the resource's size or data cannot be read.
bool ReadVersionInfo(const std::wstring& path, VersionInfo* info) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return false;

  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", &value, &length) && value && length >= sizeof(VS_FIXEDFILEINFO)) {
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    info->major = HIWORD(fixed->dwFileVersionMS);
    info->minor = LOWORD(fixed->dwFileVersionMS);
    info->build = HIWORD(fixed->dwFileVersionLS);
    info->revision = LOWORD(fixed->dwFileVersionLS);
  }
  struct Translation {
    WORD language;
    WORD codePage;
  };
  value = nullptr;
  length = 0;
  if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) && value &&
      length >= sizeof(Translation)) {
    const auto* first = static_cast<const Translation*>(value);
    info->fileVersion = QueryString(data, first->language, first->codePage, L"FileVersion");
    info->productVersion = QueryString(data, first->language, first->codePage, L"ProductVersion");
    info->productName = QueryString(data, first->language, first->codePage, L"ProductName");
    info->companyName = QueryString(data, first->language, first->codePage, L"CompanyName");
    info->fileDescription = QueryString(data, first->language, first->codePage, L"FileDescription");
  }
  return true;
}

}  // namespace

std::string ClientBuildVersion() {
  std::wstring path = OwnExecutablePath();
  if (path.empty()) return "";
  VersionInfo info;
  if (!ReadVersionInfo(path, &info)) return "";
  return BuildVersionFromFileVersion(WideToAnsi(info.fileVersion));
}

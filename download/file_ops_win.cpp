#include <windows.h>

#include "download/file_ops.h"

FILE* OpenFileW(const std::wstring& path, const char* mode) {
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
}

bool DeleteFileAt(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != 0; }

bool EnsureFolderW(const std::wstring& folder) {
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return ::CreateDirectoryW(folder.c_str(), nullptr) != 0;
}

bool SeekFile64(FILE* file, int64_t offset, int whence) { return _fseeki64(file, offset, whence) == 0; }

int64_t TellFile64(FILE* file) { return _ftelli64(file); }

int LastSystemError() { return static_cast<int>(::GetLastError()); }

#include <windows.h>

#include "download/file_ops.h"

FILE* OpenFileW(const std::wstring& path, const char* mode) {
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
}

bool DeleteFileAt(const std::wstring& path) { return ::DeleteFileW(path.c_str()) != 0; }

bool ReplaceFileW(const std::wstring& from, const std::wstring& to) {
  return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool EnsureFolderW(const std::wstring& folder) {
  const DWORD attributes = ::GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return ::CreateDirectoryW(folder.c_str(), nullptr) != 0;
}

bool SeekFile64(FILE* file, int64_t offset, int whence) { return _fseeki64(file, offset, whence) == 0; }

int64_t TellFile64(FILE* file) { return _ftelli64(file); }

bool CloseFileChecked(FILE* file) {
  const bool flushed = std::fflush(file) == 0;
  return std::fclose(file) == 0 && flushed;
}

int64_t FileSizeW(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

int LastSystemError() { return static_cast<int>(::GetLastError()); }

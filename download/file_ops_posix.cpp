#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/text_convert.h"
#include "download/file_ops.h"

FILE* OpenFileW(const std::wstring& path, const char* mode) {
  return std::fopen(WideToUtf8(path).c_str(), mode);
}

bool DeleteFileAt(const std::wstring& path) { return ::unlink(WideToUtf8(path).c_str()) == 0; }

bool ReplaceFileW(const std::wstring& from, const std::wstring& to) {
  return std::rename(WideToUtf8(from).c_str(), WideToUtf8(to).c_str()) == 0;
}

bool EnsureFolderW(const std::wstring& folder) {
  const std::string narrow = WideToUtf8(folder);
  struct stat st;
  if (::stat(narrow.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  return ::mkdir(narrow.c_str(), 0755) == 0;
}

bool SeekFile64(FILE* file, int64_t offset, int whence) { return ::fseeko(file, offset, whence) == 0; }

int64_t TellFile64(FILE* file) { return ::ftello(file); }

bool CloseFileChecked(FILE* file) {
  const bool flushed = std::fflush(file) == 0;
  return std::fclose(file) == 0 && flushed;
}

int64_t FileSizeW(const std::wstring& path) {
  struct stat st;
  if (::stat(WideToUtf8(path).c_str(), &st) != 0) return -1;
  return S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
}

int LastSystemError() { return errno; }

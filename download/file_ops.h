// The few file operations the downloader needs on wide paths, with 64-bit
// offsets, so that its logic stays free of platform calls.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

FILE* OpenFileW(const std::wstring& path, const char* mode);
bool DeleteFileAt(const std::wstring& path);
// Moves `from` to `to`, replacing a file there; false when it did not move.
bool ReplaceFileW(const std::wstring& from, const std::wstring& to);
// Creates one folder level; true when it exists afterwards.
bool EnsureFolderW(const std::wstring& folder);
bool SeekFile64(FILE* file, int64_t offset, int whence);
int64_t TellFile64(FILE* file);
// Closes `file` and says whether everything buffered reached the file (a full
// disk often shows only here).
bool CloseFileChecked(FILE* file);
// The size of the file at `path`; -1 when it cannot be read.
int64_t FileSizeW(const std::wstring& path);
// The system's code of the last failed call (GetLastError, errno).
int LastSystemError();

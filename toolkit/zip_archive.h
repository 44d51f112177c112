// Read-only access to a zip archive held in memory (the skin package).
// Names may use "\" or "/" as separator and are matched without regard to case.
#pragma once
#include <cstddef>
#include <string>

class ZipArchive {
 public:
  ZipArchive() = default;
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Keeps a pointer to `data`; it must outlive the archive. False when the
  // bytes are not a readable zip.
  bool Open(const void* data, size_t size);
  void Close();
  bool IsOpen() const { return zip_ != nullptr; }
  // Whole content of one file; false when missing or unreadable.
  bool Read(const std::string& name, std::string& out) const;

 private:
  // Same layout as the cursor of the memory file functions: data, size, position.
  struct Memory {
    const unsigned char* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
  };
  Memory memory_;
  void* zip_ = nullptr;  // unzFile
};

// The process-wide skin package: every skin file (markup, images, language
// files) is read from here. Set once by start-up; reading is thread-safe.
void SetSkinArchive(const void* data, size_t size);
bool ReadSkinFile(const std::string& name, std::string& out);
bool HasSkinArchive();

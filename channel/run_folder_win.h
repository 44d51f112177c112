// The folder one install run works in: the full installer is downloaded into
// it, checked there and started from there. The stub runs elevated, so this
// cannot be the user's temporary folder: any program of that user could plant
// DLLs beside the full installer there (its loader looks beside it first) or
// swap files and links that the elevated process then writes, starts or
// deletes by name.
//
// The folder is new for each run, below the Windows temporary folder, named
// "QuorvaneSetup.<32 hex digits>", and created with its security descriptor
// in one step: owner Administrators, a protected DACL that gives SYSTEM and
// Administrators full control and nobody else anything (the entries are
// inherited by what is created inside). Because it is created new, nothing in
// it can be a link made by someone else, and nobody but an administrator can
// add one later. It goes, with what it holds, when the owner is destroyed.
//
// Threads: one owner, one thread at a time.
#pragma once
#include <string>

// SDDL of the folder's security descriptor.
extern const wchar_t kRunFolderSecurity[];

class RunFolder {
 public:
  RunFolder() = default;
  ~RunFolder() { Remove(); }
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;
  RunFolder(RunFolder&& o) noexcept : path_(std::move(o.path_)) { o.path_.clear(); }
  RunFolder& operator=(RunFolder&& o) noexcept;

  // A new folder below `parent` (ending in a backslash; empty: the Windows
  // temporary folder). Empty when it cannot be made: the last error says why.
  static RunFolder Create(const std::wstring& parent = std::wstring());

  // The folder, ending in a backslash; empty when there is none.
  const std::wstring& Path() const { return path_; }
  explicit operator bool() const { return !path_.empty(); }

  // Deletes what the folder holds and the folder. An entry that is a folder
  // or a link is removed itself, never followed into. What is still in use
  // is deleted when Windows next starts. Afterwards the owner is empty.
  void Remove();

 private:
  std::wstring path_;
};

// The Windows temporary folder ("<Windows folder>\Temp\"); empty when the
// system gives no Windows folder.
std::wstring WindowsTemporaryFolder();

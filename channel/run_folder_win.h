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

#include "base/win_handle.h"

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

// Where a partial download waits between runs: "QuorvaneSetup.parts" below
// the Windows temporary folder, one fixed name, so that the next run finds
// it. Users may create folders there, so a folder of that name may be anyone's:
// it is used only when it is a folder (never a link or junction, which are not
// followed) whose owner and DACL are those of a run folder made by this very
// run. Nobody without administrator rights can give a folder that owner, nor
// change the folder afterwards; while the store is open the folder cannot be
// renamed or deleted. One that does not pass is left alone and not used.
//
// At the start of a run the part and its record move into the run's folder
// (Lend); a run whose download failed moves what it set aside back (Keep).
// Threads: one owner, one thread at a time.
class PartStore {
 public:
  PartStore() = default;
  PartStore(const PartStore&) = delete;
  PartStore& operator=(const PartStore&) = delete;
  PartStore(PartStore&& o) noexcept;
  PartStore& operator=(PartStore&& o) = delete;

  // The store below `parent` (ending in a backslash; empty: the Windows
  // temporary folder), made when missing, checked against `runFolder` (the
  // run's own folder). Empty when there is none to trust; `why` says why.
  static PartStore Open(const RunFolder& runFolder, std::string* why,
                        const std::wstring& parent = std::wstring());

  const std::wstring& Path() const { return path_; }
  explicit operator bool() const { return !path_.empty(); }

  // Moves a part kept by an earlier run, and its record, to where the
  // download looks for them beside `target`. What does not move is deleted.
  void Lend(const std::wstring& target);
  // Moves the part set aside beside `target`, and its record, into the store,
  // replacing what it held; with none there, the store is emptied.
  void Keep(const std::wstring& target);

 private:
  std::wstring path_;
  UniqueHandle folder_;  // the open folder, so it cannot be swapped
};

// The owner and DACL of `path` in SDDL, read without following a link at
// `path`; empty when it is no folder or cannot be read (the last error says
// why, ERROR_DIRECTORY for a file, ERROR_REPARSE_TAG_INVALID for a link).
std::wstring FolderSecurityText(const std::wstring& path);

// The Windows temporary folder ("<Windows folder>\Temp\"); empty when the
// system gives no Windows folder.
std::wstring WindowsTemporaryFolder();

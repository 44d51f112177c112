// Process and file operations of the channel stub.
#pragma once
#include <windows.h>

#include <string>

#include "base/win_handle.h"

// Terminates the first running process whose executable name equals `name`
// without regard to case, with exit code 0, and waits a few seconds at most
// for it to be gone so that its file can be replaced. True when a process was
// terminated.
bool KillProcessByName(const std::wstring& name);

// Opens the file at `path` (ANSI code page) so that, while the handle is
// held, others can read and execute it but not write, rename or delete it.
// Invalid when that cannot be had: the file is missing, or someone already
// holds it open for writing or deleting.
UniqueHandle HoldFileAgainstChanges(const std::string& path);

// The user's temporary folder in ANSI form, ending in a backslash (read into
// a 260-byte buffer); empty when the system gives none.
std::string TemporaryFolder();
// The same folder in its wide form (any characters), ending in a backslash.
std::wstring TemporaryFolderW();

// Result of starting a program and waiting for it.
struct ProcessRun {
  bool started = false;
  DWORD error = 0;     // GetLastError of a failed start
  DWORD exitCode = 0;  // valid when started
};

// CreateProcessA with `path` as the application name and `commandLine` as
// the whole command-line text, no handle inheritance, no creation flags, the
// caller's environment and folder. `heldFile` (may be empty) is closed right
// after the start attempt, whatever its outcome. Then waits, without a time
// limit, for the process to end.
ProcessRun RunProcessAndWait(const std::string& path, const std::string& commandLine, UniqueHandle heldFile);
// The same with a wide `path` (CreateProcessW; the command line, ANSI code
// page, is widened as CreateProcessA would).
ProcessRun RunProcessAndWait(const std::wstring& path, const std::string& commandLine, UniqueHandle heldFile);

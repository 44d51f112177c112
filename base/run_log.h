// The run's log file: every debugger-output line of the process, stamped with
// the time and the writing thread's id, appended to
// "<temp folder>/<program>_<pid>.log". Only the newest few logs of the
// program are kept; older ones are deleted when a run starts.
//
// Writing never blocks the caller and never fails the install: lines go into
// a bounded queue that one writer thread appends to the file. A folder that
// cannot be written (full disk, read-only temp folder) just means no log; a
// full queue drops lines. What is logged is what DebugOut writes, so callers
// keep secrets (the device id, report and activation bodies) out of their
// debugger lines.
#pragma once
#include <string>

// Starts the log in `folder` (empty: no log) and hooks it to the debugger
// output. Returns the log's path, or empty when there is none. Once per
// process; `keep` logs of `program` stay, counting this one. The folder is
// the user's and the process may run elevated: the log is always a new file
// made by this call, never opened through a link or a junction, and a link,
// junction or folder in its place means no log.
std::string StartRunLog(const std::string& folder, const std::string& program, unsigned long pid,
                        unsigned keep = 5);
// Writes what is queued, unhooks the log and ends its writer thread.
void StopRunLog();

// "<program>_<pid>.log"
std::string RunLogName(const std::string& program, unsigned long pid);
// Deletes the oldest "<program>_<decimal digits>.log" regular files in
// `folder` until at most `keep` remain, not counting and never deleting the one
// named `own` (a run's own log, whose name may come again with a process id);
// never a link, junction or folder of such a name. Never throws.
void PruneRunLogs(const std::string& folder, const std::string& program, unsigned keep,
                  const std::string& own = std::string());

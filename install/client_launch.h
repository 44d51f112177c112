// Stopping a running client before an install and starting the installed
// client from the finished page (Windows only). All of it runs on the UI
// thread; nothing here is reported to the user.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <string>

// The id of the first process, in the system snapshot's order, whose
// executable file name equals `exeName` (a name without folder) regardless of
// letter case; 0 for an empty name, no match or no snapshot.
DWORD FindProcessId(const std::wstring& exeName);

// Terminates (exit code 0) the first running "Quorvane.exe" and returns at
// once, without waiting for it to end; further instances keep running. A
// process that cannot be opened or terminated keeps running.
void StopRunningClient();

// "<installFolder>\Quorvane.exe", or "" when that path would not fit the
// 512-character buffer it is started from (511 characters and the zero).
std::wstring ClientExecutablePath(const std::wstring& installFolder);

// Launching only: opens ClientExecutablePath(installFolder) with the shell's
// "open" verb, no arguments, no working folder, in a normal window; a path
// that does not fit is not started. True when the shell reports it started.
// The "startApp" handler ignores the result and then does the rest itself:
// the exit code 0, the progress-pipe handle disconnected and closed if it holds
// one, WM_CLOSE posted to the window.
bool StartClient(const std::wstring& installFolder);
#endif

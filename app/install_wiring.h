// The composition of one install, wired once for the program: which client
// is stopped, which registration, which reports and which activation the
// install run triggers. The window and its run only decide when.
#pragma once
#include <string>

#include "app/launch_options.h"
#include "ui/install_options.h"
#include "ui/install_run.h"
#ifdef _WIN32
#include "base/win_handle.h"
#endif

// The window's and the run's share of the launch options.
InstallOptions ToInstallOptions(const LaunchOptions& options);

#ifdef _WIN32
// `options` as the window keeps them (ApplyWindowDefaults done);
// `previousChannelId` the channel a previous install left behind, read at
// start (ANSI code page). With a pipe name in `options`, opens the launcher's
// progress pipe here (OpenProgressPipe, up to 2 s); the actions hold it until
// the client is started. Windows only.
InstallActions MakeInstallActions(const InstallOptions& options, const std::string& previousChannelId);

// Opens the progress pipe `pipeName` as a client: waits up to `waitMs` for it,
// then opens it for reading and writing, unshared, overlapped. Writes one of
// the "__install" debugger lines. An invalid handle when it cannot.
UniqueHandle OpenProgressPipe(const std::wstring& pipeName, DWORD waitMs = 2000);
#endif

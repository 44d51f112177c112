// The composition of one install, wired once for the program: which client
// is stopped, which registration, which reports and which activation the
// install run triggers. The window and its run only decide when.
#pragma once
#include <string>

#include "app/launch_options.h"
#include "ui/install_options.h"
#include "ui/install_run.h"

// The window's and the run's share of the launch options.
InstallOptions ToInstallOptions(const LaunchOptions& options);

#ifdef _WIN32
// `options` as the window keeps them (ApplyWindowDefaults done);
// `previousChannelId` the channel a previous install left behind, read at
// start (ANSI code page). Windows only.
InstallActions MakeInstallActions(const InstallOptions& options, const std::string& previousChannelId);
#endif

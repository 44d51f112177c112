// The process exit codes of the installer. 0 is a completed install, the
// start-client button, or a window closed by the user before installing;
// every failure has a code of its own. The values sit in a range that
// Windows installers do not use (1602, 1603, 1618, 1641, 3010, 0x80xxxxxx,
// and the small numbers of script-based installers), so a deployment tool
// can tell ours apart.
#pragma once

enum class ExitCode : int {
  kSuccess = 0,
  kStartFailed = 7101,          // no skin package, or the window could not be made
  kDownloadFailed = 7102,       // no domain delivered the full installer
  kPackageRejected = 7103,      // the downloaded file was not whole (1003..1005), could not be held, or failed the publisher check
  kInstallerNotStarted = 7104,  // the full installer could not be started
  kInstallerFailed = 7105,      // the full installer reported a failure or ended with a non-zero exit code
  kFolderUnusable = 7106,       // the install folder is invalid or not representable in the ANSI code page
  kProxyAuthRequired = 7107,    // the only way out is a proxy that asks for credentials
  kInternalError = 7108,        // a worker thread could not be started, or the channel ended without an outcome
  kInterrupted = 7109,          // the run ended before reaching an outcome (closed, session end)
};

constexpr int ExitCodeValue(ExitCode code) { return static_cast<int>(code); }

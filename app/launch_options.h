// The launch settings read once at start from the command line and the
// installer's own file name. Nothing in here reports an error: whatever is not
// understood is handed on to the full installer in forwardedArgs.
#pragma once
#include <string>
#include <vector>

#include "net/transfer_policy.h"

struct LaunchOptions {
  std::wstring installPath;
  bool autoStart = false;
  bool silent = false;
  bool autoInstall = false;
  bool checkAndRunning = false;
  std::wstring channelId;
  std::wstring seoSourceId;
  std::wstring platformId;
  std::wstring aid;
  std::wstring thirdType;
  std::wstring forwardedArgs;
  std::wstring pipeName;
  bool test = false;
  bool launchedByChannel = false;
  // How every transfer reaches the network ("-enable-http-proxy" switches the
  // debugging proxy on); handed down to the channel stub and the reports.
  TransferPolicy transfer;
};

// Walks already-split arguments (the portable part of ParseCommandLine).
LaunchOptions ParseArguments(const std::vector<std::wstring>& args);

// Splits `commandLine` (without the program name) with the platform's rules
// (CommandLineToArgvW) and walks it. Windows only.
LaunchOptions ParseCommandLine(const std::wstring& commandLine);

// The two file-name scanners. True with both values when the pair is present
// in order and terminated as the markers require.
bool ScanChannelPair(const std::wstring& fileName, std::wstring& channelId, std::wstring& seoSourceId);
bool ScanPlatformPair(const std::wstring& fileName, std::wstring& platformId, std::wstring& aid);
// Applies both scanners to `options` (a successful scan replaces its pair).
void ApplyOwnFileName(const std::wstring& fileName, LaunchOptions& options);

// The running executable's file name (after the last "\" or "/"). Windows only.
std::wstring OwnFileName();

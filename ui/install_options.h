// What the window and its install run take from the launch options; the
// program (app/) fills it from the command line and the file name.
#pragma once
#include <string>

#include "net/transfer_policy.h"

struct InstallOptions {
  std::wstring installPath;   // the folder to start with ("" = the default)
  bool autoStart = false;     // start the install at once
  bool autoInstall = false;   // likewise
  bool silent = false;        // no window; close by itself when finished
  std::wstring channelId;     // "5" once ApplyWindowDefaults has run on an empty one
  std::wstring seoSourceId;
  std::wstring platformId;
  std::wstring aid;
  std::wstring thirdType;
  std::wstring forwardedArgs;  // handed on to the full installer
  std::wstring pipeName;       // a progress pipe to open as a client, or ""
  bool test = false;           // the test directory endpoint
  bool launchedByChannel = false;  // no install reports
  TransferPolicy transfer;     // how every transfer reaches the network
};

// The window's copy of the options: an empty channel id becomes "5".
inline void ApplyWindowDefaults(InstallOptions& options) {
  if (options.channelId.empty()) options.channelId = L"5";
}

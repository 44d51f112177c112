// The install run's view of the channel controller: one configuration value
// before the run, the routine it runs on its own thread, and the attempt
// records for the reports. The controller reports only through the
// InstallEvents it was configured with.
#pragma once
#include <string>

#include "channel/install_events.h"
#include "download/cdn_attempt_stats.h"
#include "net/transfer_policy.h"

struct ChannelSettings {
  bool test = false;                // ask the test directory endpoint
  std::wstring forwardedArgs;       // handed on to the full installer
  std::string userAgentLine;        // the complete identification header line
  std::string installPath;          // ANSI code page
  TransferPolicy transfer;          // every transfer of the run
  // The localized "tt_failed" text: a pipe message containing it is the full
  // installer's failure message. Empty recognises none.
  std::wstring installerFailedText;
  // Receives the run's events; outlives Run.
  InstallEvents* events = nullptr;
};

class ChannelController {
 public:
  virtual ~ChannelController() = default;
  // UI thread, before Run.
  virtual void Configure(const ChannelSettings& settings) = 0;
  // The channel thread; blocks it until the install has finished or failed.
  virtual void Run() = 0;
  // A copy of the attempt records (before the download has ended, the id
  // alone); any thread.
  virtual CdnAttemptStats AttemptStats() = 0;
};

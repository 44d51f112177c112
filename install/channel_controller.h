// The install run's view of the channel controller: what it configures before
// the run, the routine it runs on its own thread, and what it reads after a
// failure. The controller reports only by posting WM_CHANNEL_PROGRESS and
// WM_CHANNEL_FAILED to `window`.
#pragma once
#include <string>

#include "download/cdn_attempt_stats.h"
#include "net/transfer_policy.h"

struct ChannelSettings {
  bool test = false;
  std::wstring forwardedArgs;
  std::string userAgentLine;
  void* window = nullptr;    // HWND that receives the posted messages
  std::string installPath;   // ANSI code page
  TransferPolicy transfer;   // every transfer of the run
};

class ChannelController {
 public:
  virtual ~ChannelController() = default;
  // UI thread, before Run.
  virtual void Configure(const ChannelSettings& settings) = 0;
  // The channel thread.
  virtual void Run() = 0;
  // UI thread, after WM_CHANNEL_FAILED.
  virtual std::wstring StatusText() = 0;
  // A copy of the attempt records; any thread once the run has ended.
  virtual CdnAttemptStats AttemptStats() = 0;
};

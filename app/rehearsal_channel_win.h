// A stand-in for the channel controller that rehearses an install without the
// network: it posts the progress sequence 0..70..99, 100, 101 — or, when the
// forwarded arguments hold "-rehearse-failure", fails with a status text. It
// exists so the install run can be driven end to end before the real
// controller is wired in, and is replaced by it.
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>

#include "install/channel_controller.h"

class RehearsalChannel : public ChannelController {
 public:
  void Configure(const ChannelSettings& settings) override;
  void Run() override;
  std::wstring StatusText() override;
  CdnAttemptStats AttemptStats() override;

 private:
  std::mutex lock;
  ChannelSettings settings;
  std::wstring statusText;
};

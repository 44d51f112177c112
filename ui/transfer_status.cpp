#include "ui/transfer_status.h"

StatusRowStep TransferStatus::Downloading(uint64_t bytes, uint64_t length, uint64_t nowMs,
                                          const std::wstring& languageCode) {
  if (installerRunning) return {};
  received = bytes;
  total = length;
  if (!sampled) {
    sampled = true;
    startMs = nowMs;
  }
  rate.Add(static_cast<double>(nowMs - startMs) / 1000.0, received);
  return Render(nowMs, languageCode);
}

StatusRowStep TransferStatus::InstallerRunning() {
  StatusRowStep step;
  if (installerRunning) return step;
  installerRunning = true;
  step.show = true;
  step.text = InstallerRunningText(text);
  return step;
}

StatusRowStep TransferStatus::Due(uint64_t nowMs, const std::wstring& languageCode) {
  if (installerRunning) return {};
  return Render(nowMs, languageCode);
}

StatusRowStep TransferStatus::Render(uint64_t nowMs, const std::wstring& languageCode) {
  StatusRowStep step;
  if (shownOnce && nowMs - shownMs < kIntervalMs) {
    step.waitMs = kIntervalMs - (nowMs - shownMs);
    return step;
  }
  shownOnce = true;
  shownMs = nowMs;
  std::wstring now = DownloadStatusText(received, total, rate, languageCode, text);
  if (now == shown) return step;
  shown = now;
  step.show = true;
  step.downloadText = true;
  step.text = std::move(now);
  return step;
}

#include "ui/transfer_status.h"

#include <gtest/gtest.h>

#include <map>

namespace {

std::wstring English(const std::wstring& id) {
  static const std::map<std::wstring, std::wstring> t = {
      {L"tt_size_b", L"%1 B"},
      {L"tt_size_kb", L"%1 KB"},
      {L"tt_size_mb", L"%1 MB"},
      {L"tt_size_gb", L"%1 GB"},
      {L"tt_rate", L"%1/s"},
      {L"tt_time_s", L"%1 s"},
      {L"tt_download_of", L"%1 of %2"},
      {L"tt_download_of_rate", L"%1 of %2 at %3"},
      {L"tt_download_of_rate_left", L"%1 of %2 at %3, %4 left"},
      {L"tt_install_running", L"Running the installer…"}};
  auto it = t.find(id);
  return it == t.end() ? id : it->second;
}

constexpr uint64_t KiB = 1024, MiB = 1024 * 1024;

// One run of the row, step by step: 1 MiB/s sampled every half second of a
// 48 MiB file, with the window's timer calls and the installer's start.
TEST(TransferStatus, RowFollowsTheSnapshotsAtMostOncePerInterval) {
  enum Event { kDownload, kDue, kInstaller };
  struct Step {
    const char* name;
    Event event;
    uint64_t ms;
    uint64_t received;
    const wchar_t* shown;  // nullptr: the row is left as it is
    uint64_t waitMs;
  };
  const Step steps[] = {
      {"the first snapshot shows at once, no rate yet", kDownload, 0, 0, L"0 B of 48.0 MB", 0},
      {"a second one inside the interval is held", kDownload, 100, 100 * KiB, nullptr, 200},
      {"the held one shows when due, still no rate (samples merged)", kDue, 300, 0, L"100 KB of 48.0 MB", 0},
      {"a rate from two samples half a second apart, held", kDownload, 500, 512 * KiB, nullptr, 100},
      {"shown when due, with the rate", kDue, 600, 0, L"512 KB of 48.0 MB at 1.0 MB/s", 0},
      {"past the interval: at once", kDownload, 1000, 1 * MiB, L"1.0 MB of 48.0 MB at 1.0 MB/s", 0},
      {"three samples", kDownload, 1500, 3 * MiB / 2, L"1.5 MB of 48.0 MB at 1.0 MB/s", 0},
      {"four samples, two seconds: no time left", kDownload, 2000, 2 * MiB, L"2.0 MB of 48.0 MB at 1.0 MB/s",
       0},
      {"under three seconds: no time left", kDownload, 2500, 5 * MiB / 2, L"2.5 MB of 48.0 MB at 1.0 MB/s",
       0},
      {"steady: the time left", kDownload, 3000, 3 * MiB, L"3.0 MB of 48.0 MB at 1.0 MB/s, 45 s left", 0},
      {"held again", kDownload, 3100, 3 * MiB + 100 * KiB, nullptr, 200},
      {"a timer too early waits the rest", kDue, 3200, 0, nullptr, 100},
      {"shown when due, rounded up", kDue, 3300, 0, L"3.1 MB of 48.0 MB at 1.0 MB/s, 45 s left", 0},
      {"an unchanged text is not set again", kDue, 3700, 0, nullptr, 0},
      {"the installer's line", kInstaller, 3800, 0, L"Running the installer…", 0},
      {"its line once", kInstaller, 3900, 0, nullptr, 0},
      {"no download text after it", kDownload, 4200, 4 * MiB, nullptr, 0},
      {"nor from a timer", kDue, 4300, 0, nullptr, 0},
  };
  TransferStatus status(English);
  for (const Step& s : steps) {
    StatusRowStep got;
    if (s.event == kDownload) got = status.Downloading(s.received, 48 * MiB, s.ms, L"en");
    if (s.event == kDue) got = status.Due(s.ms, L"en");
    if (s.event == kInstaller) got = status.InstallerRunning();
    EXPECT_EQ(got.show, s.shown != nullptr) << s.name;
    EXPECT_EQ(got.text, s.shown ? s.shown : L"") << s.name;
    EXPECT_EQ(got.downloadText, s.shown && s.event != kInstaller) << s.name;
    EXPECT_EQ(got.waitMs, s.waitMs) << s.name;
  }
}

}  // namespace

#include "ui/progress_text.h"

#include <gtest/gtest.h>

#include <map>

namespace {

// The English patterns and a few of other languages, as the text table has them.
std::wstring English(const std::wstring& id) {
  static const std::map<std::wstring, std::wstring> t = {
      {L"tt_size_b", L"%1 B"},           {L"tt_size_kb", L"%1 KB"},
      {L"tt_size_mb", L"%1 MB"},         {L"tt_size_gb", L"%1 GB"},
      {L"tt_rate", L"%1/s"},             {L"tt_time_s", L"%1 s"},
      {L"tt_time_min_s", L"%1 min %2 s"}, {L"tt_time_h_min", L"%1 h %2 min"},
      {L"tt_download_received", L"%1 received"}, {L"tt_download_received_rate", L"%1 received at %2"},
      {L"tt_download_of", L"%1 of %2"},  {L"tt_download_of_rate", L"%1 of %2 at %3"},
      {L"tt_download_of_rate_left", L"%1 of %2 at %3, %4 left"},
      {L"tt_install_running", L"Running the installer…"}};
  auto it = t.find(id);
  return it == t.end() ? id : it->second;
}

TEST(ProgressText, NumbersInEachLanguagesFormat) {
  struct Case {
    const wchar_t* lang;
    double value;
    int decimals;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {L"en", 1234567.891, 2, L"1,234,567.89"},
      {L"de", 1234567.891, 2, L"1.234.567,89"},
      {L"fr", 1234.5, 1, L"1\u00A0234,5"},
      {L"ru", 999.96, 1, L"1\u00A0000,0"},  // rounding carries into a new group
      {L"ja", 1023, 0, L"1,023"},
      {L"arabic", 4.75, 1, L"4.8"},
      {L"pt-br", 0.05, 2, L"0,05"},
      {L"xx", 1000, 0, L"1,000"},            // an unknown code: English
      {L"en", -3, 1, L"0.0"},                // never negative
  };
  for (const Case& c : cases)
    EXPECT_EQ(FormatNumber(c.value, c.decimals, NumberFormatFor(c.lang)), c.expected) << c.lang << " " << c.value;
}

TEST(ProgressText, SizesRatesAndTimeLeft) {
  struct SizeCase {
    uint64_t bytes;
    const wchar_t* lang;
    const wchar_t* expected;
  };
  const SizeCase sizes[] = {
      {0, L"en", L"0 B"},
      {1023, L"en", L"1,023 B"},
      {1024, L"en", L"1 KB"},
      {1023 * 1024 + 600, L"de", L"1.024 KB"},
      {1024 * 1024, L"en", L"1.0 MB"},
      {50 * 1024 * 1024 + 300 * 1024, L"de", L"50,3 MB"},
      {5ull * 1024 * 1024 * 1024 / 4, L"fr", L"1,25 GB"},
  };
  for (const SizeCase& c : sizes) EXPECT_EQ(FormatSize(c.bytes, c.lang, English), c.expected) << c.bytes;
  EXPECT_EQ(FormatRate(1.5 * 1024 * 1024, L"en", English), L"1.5 MB/s");

  struct TimeCase {
    double seconds;
    const wchar_t* expected;
  };
  const TimeCase times[] = {{0, L"0 s"},           {0.2, L"1 s"},        {59.4, L"1 min 00 s"},
                            {65, L"1 min 05 s"},   {3599, L"59 min 59 s"}, {3601, L"1 h 01 min"},
                            {7200, L"2 h 00 min"}, {1e12, L"99 h 59 min"}, {-5, L"0 s"}};
  for (const TimeCase& c : times) EXPECT_EQ(FormatTimeLeft(c.seconds, English), c.expected) << c.seconds;
}

TEST(ProgressText, TheRateSettlesBeforeATimeLeftShows) {
  TransferRate r;
  const uint64_t total = 48ull * 1024 * 1024;
  EXPECT_EQ(DownloadStatusText(0, total, r, L"en", English), L"0 B of 48.0 MB");
  // 1 MiB/s, sampled every half second.
  uint64_t got = 0;
  r.Add(0, 0);
  r.Add(0.1, 50000);  // too close to the last sample: merged into the next
  EXPECT_FALSE(r.HasRate());
  for (int i = 1; i <= 4; ++i) {
    got = static_cast<uint64_t>(i) * 512 * 1024;
    r.Add(i * 0.5, got);
  }
  EXPECT_TRUE(r.HasRate());
  EXPECT_NEAR(r.BytesPerSecond(), 1024 * 1024, 1);
  EXPECT_FALSE(r.IsSteady()) << "two seconds are too few";
  EXPECT_EQ(DownloadStatusText(got, total, r, L"en", English), L"2.0 MB of 48.0 MB at 1.0 MB/s");
  for (int i = 5; i <= 8; ++i) {
    got = static_cast<uint64_t>(i) * 512 * 1024;
    r.Add(i * 0.5, got);
  }
  ASSERT_TRUE(r.IsSteady());
  EXPECT_EQ(DownloadStatusText(got, total, r, L"en", English), L"4.0 MB of 48.0 MB at 1.0 MB/s, 44 s left");
  // A burst moves the average only part of the way.
  r.Add(4.5, got + 4 * 1024 * 1024);
  EXPECT_NEAR(r.BytesPerSecond(), 0.3 * 8 * 1024 * 1024 + 0.7 * 1024 * 1024, 1);
  // A stall brings it down towards zero but the text stays sane.
  TransferRate stalled = r;
  for (int i = 0; i < 40; ++i) stalled.Add(5 + i, got + 4 * 1024 * 1024);
  EXPECT_LT(stalled.BytesPerSecond(), 1024);
  EXPECT_NE(DownloadStatusText(got + 4 * 1024 * 1024, total, stalled, L"en", English).find(L"h "),
            std::wstring::npos);
  // A restarted download starts the average over.
  r.Add(6, 1000);
  EXPECT_FALSE(r.HasRate());
  // Done, or no total known.
  EXPECT_EQ(DownloadStatusText(total, total, stalled, L"en", English).find(L"left"), std::wstring::npos);
  EXPECT_EQ(DownloadStatusText(2048, 0, TransferRate(), L"de", English), L"2 KB received");
  EXPECT_EQ(InstallerRunningText(English), L"Running the installer…");
}

TEST(ProgressText, FillPatternPlacesArgumentsInAnyOrder) {
  EXPECT_EQ(FillPattern(L"%2 / %1", {L"a", L"b"}), L"b / a");
  EXPECT_EQ(FillPattern(L"%1 %3 100%", {L"x"}), L"x  100%");
}

}  // namespace

#include "base/run_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "base/debug_output.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {
fs::path FreshFolder(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / ("qv_run_log_" + name + "_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}
// The calling thread's id as the log writes it: the id a debugger shows.
std::string ThisThreadId() {
#ifdef _WIN32
  return std::to_string(GetCurrentThreadId());
#else
  std::ostringstream s;
  s << std::this_thread::get_id();
  return s.str();
#endif
}
std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}
}  // namespace

// Every debugger line of the process lands in the log, stamped with the id of
// the thread that wrote it, in the order each thread wrote it, and all of it
// is on disk once the log stops.
TEST(RunLog, StampsEveryLineInOrderAndFlushesOnStop) {
  const fs::path dir = FreshFolder("order");
  const std::string path = StartRunLog(dir.string(), "QuorvaneSetup", 4242);
  ASSERT_EQ(path, (dir / "QuorvaneSetup_4242.log").string());
  std::string otherId;
  std::thread other([&otherId] {
    otherId = ThisThreadId();
    for (int i = 0; i < 200; ++i) DebugOut("other " + std::to_string(i));
  });
  for (int i = 0; i < 200; ++i) DebugOutW(L"main " + std::to_wstring(i));
  other.join();
  DebugOut("the end\n");
  StopRunLog();
  DebugOut("after the log stopped");

  const auto lines = Lines(path);
  ASSERT_EQ(lines.size(), 401u);
  const std::regex stamped(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} \[([^\]]+)\] (main|other) (\d+))");
  const std::string mainId = ThisThreadId();
  ASSERT_NE(mainId, otherId);
  int next[2] = {0, 0};
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, stamped)) << lines[i];
    ASSERT_EQ(m[1], m[2] == "main" ? mainId : otherId) << lines[i];
    int& expected = next[m[2] == "main" ? 0 : 1];
    EXPECT_EQ(std::stoi(m[3]), expected) << lines[i];
    expected = std::stoi(m[3]) + 1;
  }
  EXPECT_EQ(next[0], 200);
  EXPECT_EQ(next[1], 200);
  EXPECT_NE(lines.back().find("] the end"), std::string::npos) << lines.back();
  fs::remove_all(dir);
}

// A run keeps the newest logs of its program only; other files stay.
TEST(RunLog, KeepsTheNewestLogsOfTheProgram) {
  const fs::path dir = FreshFolder("prune");
  const auto now = fs::file_time_type::clock::now();
  for (int i = 0; i < 7; ++i) {
    const fs::path p = dir / ("QuorvaneSetup_" + std::to_string(100 + i) + ".log");
    std::ofstream(p) << i;
    fs::last_write_time(p, now - std::chrono::hours(10 - i));
  }
  std::ofstream(dir / "Other_1.log") << "x";
  std::ofstream(dir / "QuorvaneSetup_notes.txt") << "x";
  const std::string path = StartRunLog(dir.string(), "QuorvaneSetup", 999, 5);
  ASSERT_FALSE(path.empty());
  StopRunLog();
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Other_1.log", "QuorvaneSetup_103.log", "QuorvaneSetup_104.log",
                                             "QuorvaneSetup_105.log", "QuorvaneSetup_106.log",
                                             "QuorvaneSetup_999.log", "QuorvaneSetup_notes.txt"}));
  // A process id that comes again appends to its old log, which counts as
  // this run's: still five kept, none of the others taken for it.
  std::ofstream(dir / "QuorvaneSetup_103.log") << "older";
  fs::last_write_time(dir / "QuorvaneSetup_103.log", now - std::chrono::hours(20));
  ASSERT_FALSE(StartRunLog(dir.string(), "QuorvaneSetup", 105, 5).empty());
  StopRunLog();
  names.clear();
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Other_1.log", "QuorvaneSetup_103.log", "QuorvaneSetup_104.log",
                                             "QuorvaneSetup_105.log", "QuorvaneSetup_106.log",
                                             "QuorvaneSetup_999.log", "QuorvaneSetup_notes.txt"}));
  fs::remove_all(dir);
}

// A folder that cannot take the log means no log; debugger output goes on.
TEST(RunLog, UnwritableFolderMeansNoLog) {
  const fs::path dir = FreshFolder("unwritable");
  const fs::path notAFolder = dir / "file";
  std::ofstream(notAFolder) << "x";
  std::vector<std::string> seen;
  SetDebugSink([&](const std::string& l) { seen.push_back(l); });
  EXPECT_EQ(StartRunLog(notAFolder.string(), "QuorvaneSetup", 1), "");
  EXPECT_EQ(StartRunLog("", "QuorvaneSetup", 1), "");
  DebugOut("still written");
  StopRunLog();
  SetDebugSink(nullptr);
  EXPECT_EQ(seen, std::vector<std::string>{"still written"});
  fs::remove_all(dir);
}

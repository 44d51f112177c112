#include "base/run_log.h"

#include <gtest/gtest.h>

#include <cstdio>
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

// The folder is the user's and the process may run elevated: what someone
// planted there under the log's names changes nothing outside the log. A
// hard link or an old file at the log's own name loses that name (the file
// it shares stays as it was) and the log is a new file; a link or a folder
// there means no log; pruning passes over links and folders of the pattern.
TEST(RunLog, PlantedNamesChangeNothing) {
  const fs::path dir = FreshFolder("planted");
  auto write = [](const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; };
  auto read = [](const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  // Symbolic links need a privilege on Windows and may not be made by Wine.
  auto symlink = [](const fs::path& target, const fs::path& link) {
    std::error_code e;
    fs::create_symlink(target, link, e);
    return !e;
  };
  write(dir / "victim", "victim");

  struct Case {
    const char* name;
    unsigned long pid;
    bool logged;  // a new log is made
  };
  bool symlinks = false;
  {
    std::error_code e;
    fs::create_hard_link(dir / "victim", dir / "QuorvaneSetup_1.log", e);
    ASSERT_FALSE(e) << e.message();
    write(dir / "QuorvaneSetup_2.log", "an older run");
    fs::create_directory(dir / "QuorvaneSetup_3.log");
    symlinks = symlink(dir / "victim", dir / "QuorvaneSetup_4.log");
    symlink(dir / "missing", dir / "QuorvaneSetup_5.log");
  }
  const Case cases[] = {
      {"a hard link to another file", 1, true},
      {"a file of an older run", 2, true},
      {"a folder", 3, false},
      {"a link to another file", 4, false},
      {"a link to nowhere", 5, false},
  };
  for (const Case& c : cases) {
    if (c.pid >= 4 && !symlinks) {
      std::printf("no symbolic links here: case \"%s\" not run\n", c.name);
      continue;
    }
    const std::string path = StartRunLog(dir.string(), "QuorvaneSetup", c.pid, 100);
    DebugOut("this run's line");
    StopRunLog();
    if (c.logged) {
      ASSERT_EQ(path, (dir / ("QuorvaneSetup_" + std::to_string(c.pid) + ".log")).string()) << c.name;
      const std::string text = read(path);
      EXPECT_NE(text.find("this run's line"), std::string::npos) << c.name;
      EXPECT_EQ(text.find("an older run"), std::string::npos) << c.name;
    } else {
      EXPECT_EQ(path, "") << c.name;
    }
    EXPECT_EQ(read(dir / "victim"), "victim") << c.name;
  }
  EXPECT_TRUE(fs::is_directory(dir / "QuorvaneSetup_3.log"));
  if (symlinks) EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "QuorvaneSetup_4.log")));

  // Pruning to one log: the regular logs go, the folder and the links stay,
  // and so does what they point to.
  ASSERT_FALSE(StartRunLog(dir.string(), "QuorvaneSetup", 6, 1).empty());
  StopRunLog();
  EXPECT_FALSE(fs::exists(dir / "QuorvaneSetup_1.log"));
  EXPECT_FALSE(fs::exists(dir / "QuorvaneSetup_2.log"));
  EXPECT_TRUE(fs::is_directory(dir / "QuorvaneSetup_3.log"));
  if (symlinks) {
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "QuorvaneSetup_4.log")));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "QuorvaneSetup_5.log")));
  }
  EXPECT_EQ(read(dir / "victim"), "victim");
  fs::remove_all(dir);
}

// Under Wine: real processes started from copies of a small stand-in client
// (qv_mark_client.exe, built beside this test) under the client's name.
#include "install/client_launch.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "testing/wine/wine_test_support.h"

using namespace testsupport;

namespace {

// Bounded waits: only to prove that something happens, never how fast.
constexpr DWORD kEndWaitMs = 20 * 1000;

class ClientLaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    folder_ = MakeTempFolder(L"client launch");
  }

  void TearDown() override {
    // End whatever this test started and left running, by its own handle.
    for (PROCESS_INFORMATION& p : started_) {
      UniqueHandle thread(p.hThread), process(p.hProcess);
      if (WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.get(), 9);
        WaitForSingleObject(process.get(), kEndWaitMs);
      }
    }
    RemoveTree(folder_);
    CoUninitialize();
  }

  // Copies the stand-in client into the test folder under `fileName`.
  std::wstring PlaceClient(const std::wstring& fileName) {
    std::wstring path = folder_ + L"\\" + fileName;
    EXPECT_TRUE(CopyFileW((OwnFolder() + L"qv_mark_client.exe").c_str(), path.c_str(), FALSE));
    return path;
  }

  // Starts a copy of the stand-in that keeps running; returns its index.
  size_t StartWaiting(const std::wstring& path) {
    std::wstring line = L"\"" + path + L"\" -stay";
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    EXPECT_TRUE(CreateProcessW(path.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    started_.push_back(process);
    return started_.size() - 1;
  }

  bool Running(size_t index) { return WaitForSingleObject(started_[index].hProcess, 0) == WAIT_TIMEOUT; }
  DWORD Pid(size_t index) { return started_[index].dwProcessId; }

  // Waits (bounded) for the process to end and gives its exit code, or -1.
  long EndCode(size_t index) {
    if (WaitForSingleObject(started_[index].hProcess, kEndWaitMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(started_[index].hProcess, &code);
    return static_cast<long>(code);
  }

  std::wstring folder_;
  std::vector<PROCESS_INFORMATION> started_;
};

std::wstring OwnExeName() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text = path;
  return text.substr(text.find_last_of(L'\\') + 1);
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& ch : text) ch = static_cast<wchar_t>(towupper(ch));
  return text;
}

TEST(FindProcessIdTest, MatchesWholeNameWithoutRegardToCase) {
  const std::wstring own = OwnExeName();
  const DWORD self = GetCurrentProcessId();
  struct Case {
    const char* name;
    std::wstring exeName;
    DWORD expected;
  } cases[] = {
      {"empty name", L"", 0},
      {"no such process", L"no-such-client.exe", 0},
      {"own name", own, self},
      {"own name in capitals", Upper(own), self},
      {"name without extension", own.substr(0, own.size() - 4), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(FindProcessId(c.exeName), c.expected) << c.name;
}

TEST_F(ClientLaunchTest, OnlyTheFirstOfTwoClientsIsTerminated) {
  std::wstring client = PlaceClient(L"Quorvane.exe");
  size_t a = StartWaiting(client);
  size_t b = StartWaiting(client);
  ASSERT_TRUE(Running(a) && Running(b));
  DWORD first = FindProcessId(L"Quorvane.exe");
  ASSERT_TRUE(first == Pid(a) || first == Pid(b));
  size_t stopped = first == Pid(a) ? a : b;
  size_t other = stopped == a ? b : a;

  StopRunningClient();

  EXPECT_EQ(EndCode(stopped), 0);  // terminated with exit code 0
  EXPECT_TRUE(Running(other));
  EXPECT_EQ(FindProcessId(L"Quorvane.exe"), Pid(other));
}

TEST_F(ClientLaunchTest, NameDifferingOnlyInCaseIsTerminatedSimilarNamesAreNot) {
  size_t similar1 = StartWaiting(PlaceClient(L"Quorvane-old.exe"));
  size_t similar2 = StartWaiting(PlaceClient(L"xQuorvane.exe"));
  size_t client = StartWaiting(PlaceClient(L"qUORVANE.EXE"));
  ASSERT_TRUE(Running(similar1) && Running(similar2) && Running(client));

  StopRunningClient();

  EXPECT_EQ(EndCode(client), 0);
  EXPECT_TRUE(Running(similar1));
  EXPECT_TRUE(Running(similar2));
}

TEST_F(ClientLaunchTest, NoClientRunningChangesNothing) {
  size_t similar = StartWaiting(PlaceClient(L"Quorvane.exe.bak"));
  ASSERT_EQ(FindProcessId(L"Quorvane.exe"), 0u);
  StopRunningClient();
  EXPECT_TRUE(Running(similar));
}

TEST_F(ClientLaunchTest, StartClientRunsThePresentClientWithoutArguments) {
  std::wstring client = PlaceClient(L"Quorvane.exe");
  std::wstring mark = folder_ + L"\\started.mark";
  ASSERT_TRUE(StartClient(folder_));

  for (int i = 0; i < 200 && !FileExists(mark); ++i) Sleep(100);
  ASSERT_TRUE(FileExists(mark));
  // Let the started client end before its folder is removed.
  if (DWORD pid = FindProcessId(L"Quorvane.exe")) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (process) WaitForSingleObject(process.get(), kEndWaitMs);
  }
  UniqueHandle file(
      CreateFileW(mark.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file);
  wchar_t line[2048] = {};
  DWORD got = 0;
  ReadFile(file.get(), line, sizeof(line) - sizeof(wchar_t), &got, nullptr);
  file.reset();
  // The command line is the client's path, possibly quoted, and nothing else.
  std::wstring text(line, got / sizeof(wchar_t));
  std::wstring rest =
      text.find(client) == std::wstring::npos ? text : text.substr(text.find(client) + client.size());
  EXPECT_NE(text.find(client), std::wstring::npos)
      << "command line: " << std::string(text.begin(), text.end());
  EXPECT_TRUE(rest.find_first_not_of(L"\" ") == std::wstring::npos)
      << "command line: " << std::string(text.begin(), text.end());
}

TEST_F(ClientLaunchTest, StartClientWithMissingOrUnfittingClientStartsNothing) {
  EXPECT_FALSE(StartClient(folder_));
  EXPECT_FALSE(FileExists(folder_ + L"\\started.mark"));
  // A folder whose client path cannot fit 512 characters is not started.
  EXPECT_FALSE(StartClient(folder_ + L"\\" + std::wstring(600, L'x')));
}

TEST(ClientExecutablePathTest, FitsFiveHundredElevenCharacters) {
  struct Case {
    const char* name;
    std::wstring folder;
    std::wstring expected;
  } cases[] = {
      {"usual folder", L"C:\\Program Files (x86)\\Quorvane",
       L"C:\\Program Files (x86)\\Quorvane\\Quorvane.exe"},
      {"path of 511 characters", std::wstring(498, L'a'), std::wstring(498, L'a') + L"\\Quorvane.exe"},
      {"path of 512 characters", std::wstring(499, L'a'), L""},
      {"far too long", std::wstring(5000, L'a'), L""},
  };
  for (const Case& c : cases) EXPECT_EQ(ClientExecutablePath(c.folder), c.expected) << c.name;
}

}  // namespace

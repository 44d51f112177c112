#include "channel/process_ops_win.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string OwnPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

std::string TempFile(const std::string& name) { return TemporaryFolder() + "qv_channel_test_" + name; }

TEST(ProcessOps, TemporaryFolderEndsInBackslash) {
  std::string folder = TemporaryFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_NE(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(ProcessOps, HeldFileCanBeReadButNotChanged) {
  std::string path = TempFile("held.bin");
  std::string moved = TempFile("moved.bin");
  DeleteFileA(moved.c_str());
  {
    UniqueHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(f.valid());
  }
  UniqueHandle held = HoldFileAgainstChanges(path);
  ASSERT_TRUE(held.valid());
  const struct {
    const char* name;
    DWORD access;
    DWORD share;
    bool opens;
  } opens[] = {
      {"read, sharing everything", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, true},
      {"read and execute", GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ | FILE_SHARE_DELETE, true},
      {"write", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
      {"delete access", DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
  };
  for (const auto& o : opens) {
    UniqueHandle h(CreateFileA(path.c_str(), o.access, o.share, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(h.valid(), o.opens) << o.name;
  }
  EXPECT_FALSE(DeleteFileA(path.c_str()));
  EXPECT_FALSE(MoveFileA(path.c_str(), moved.c_str()));
  held.reset();
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

TEST(ProcessOps, NoHoldWhileSomeoneCanWrite) {
  std::string path = TempFile("busy.bin");
  UniqueHandle writer(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(writer.valid());
  EXPECT_FALSE(HoldFileAgainstChanges(path).valid());
  writer.reset();
  EXPECT_TRUE(HoldFileAgainstChanges(path).valid());
  EXPECT_FALSE(HoldFileAgainstChanges(TempFile("missing.bin")).valid());
  DeleteFileA(path.c_str());
}

TEST(ProcessOps, RunsAHeldProgramAndReleasesIt) {
  std::string copy = TempFile("child.exe");
  ASSERT_TRUE(CopyFileA(OwnPath().c_str(), copy.c_str(), FALSE));
  UniqueHandle held = HoldFileAgainstChanges(copy);
  ASSERT_TRUE(held.valid());
  // The child runs no test and ends with 0; the command line has no program name.
  ProcessRun run = RunProcessAndWait(copy, " --gtest_filter=NoSuchSuite.NoSuchTest ", std::move(held));
  EXPECT_TRUE(run.started) << run.error;
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(DeleteFileA(copy.c_str()));
}

TEST(ProcessOps, ExitCodeAndFailedStart) {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, MAX_PATH);
  ProcessRun run = RunProcessAndWait(std::string(system) + "\\cmd.exe", " /c exit 3", UniqueHandle());
  EXPECT_TRUE(run.started);
  EXPECT_EQ(run.exitCode, 3u);

  std::string path = TempFile("not_a_program.exe");
  {
    UniqueHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD n = 0;
    WriteFile(f.get(), "text", 4, &n, nullptr);
  }
  run = RunProcessAndWait(path, " x", HoldFileAgainstChanges(path));
  EXPECT_FALSE(run.started);
  EXPECT_NE(run.error, 0u);
  EXPECT_TRUE(DeleteFileA(path.c_str()));  // the hold ended with the failed start

  run = RunProcessAndWait(TempFile("missing.exe"), " x", UniqueHandle());
  EXPECT_FALSE(run.started);
  EXPECT_EQ(run.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// Run only as the child of KillsTheRunningInstallerByName.
TEST(ProcessOps, DISABLED_WaitLong) { Sleep(120000); }

TEST(ProcessOps, KillsTheRunningInstallerByName) {
  std::string copy = TemporaryFolder() + "ChannelIstaller.exe";
  DeleteFileA(copy.c_str());
  ASSERT_TRUE(CopyFileA(OwnPath().c_str(), copy.c_str(), FALSE));
  std::string line = " --gtest_also_run_disabled_tests --gtest_filter=ProcessOps.DISABLED_WaitLong";
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(copy.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  UniqueHandle process(pi.hProcess), thread(pi.hThread);
  EXPECT_TRUE(KillProcessByName(L"channelistaller.EXE"));
  ASSERT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  EXPECT_EQ(code, 0u);
  // Gone before KillProcessByName returned, so its file can be replaced at once.
  EXPECT_TRUE(DeleteFileA(copy.c_str()));
  EXPECT_FALSE(KillProcessByName(L"ChannelIstaller.exe"));  // none running: nothing happens
}

}  // namespace

// The reader against a real named pipe: a client in this process writes as
// the full installer would, and the percentages it relays are recorded.
#include "channel/pipe_reader_win.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/debug_output.h"
#include "testing/fixtures/recording_install_events.h"

namespace {

class PipeReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shared = std::make_unique<PipeReaderShared>();
    failureText.clear();
    shared->failedText = L"Failed to install";
    shared->events = &events;
    shared->event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    static int serial = 0;
    name = L"\\\\.\\pipe\\qv_channel_reader_test_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
           std::to_wstring(++serial);
    pipe = CreateProgressPipe(name);
    ASSERT_TRUE(pipe.valid());
    SetDebugSink([this](const std::string& line) {
      std::lock_guard<std::mutex> l(linesLock);
      lines.push_back(line);
    });
  }
  void TearDown() override {
    Stop();
    SetDebugSink(nullptr);
    events.Clear();
  }

  void StartReader() {
    done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HANDLE doneEvent = done.get();
    reader = std::thread([this, doneEvent] {
      failureText = PipeReaderLoop(*shared, pipe.get());
      SetEvent(doneEvent);
    });
  }
  void Connect() {
    client.reset(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(client.valid()) << GetLastError();
  }
  bool Write(const std::wstring& text) {
    DWORD written = 0;
    return WriteFile(client.get(), text.data(), static_cast<DWORD>(text.size() * 2), &written, nullptr) &&
           written == text.size() * 2;
  }
  // The next relayed percentage; -1 when none comes within the bound (which
  // only proves that nothing hangs).
  long NextProgress() { return events.NextInstallerProgress(10000); }
  std::vector<long> PendingProgress() { return events.TakeInstallerProgress(); }
  // True when the reader ended by itself (bounded wait).
  bool ReaderEnds() { return WaitForSingleObject(done.get(), 10000) == WAIT_OBJECT_0; }
  void Stop() {
    shared->stopped = true;
    SetEvent(shared->event.get());
    if (reader.joinable()) reader.join();
  }
  // Waits (bounded) until the debugger line has been written.
  bool WaitForLine(const std::string& line) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 10000; Sleep(10))
      if (SawLine(line)) return true;
    return false;
  }
  bool SawLine(const std::string& line) {
    std::lock_guard<std::mutex> l(linesLock);
    for (const auto& s : lines)
      if (s == line) return true;
    return false;
  }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> l(linesLock);
    return lines;
  }

  RecordingInstallEvents events;
  std::unique_ptr<PipeReaderShared> shared;
  std::wstring failureText;  // what the reader returned, read once it has ended
  std::wstring name;
  UniqueHandle pipe, client, done;
  std::thread reader;
  std::mutex linesLock;
  std::vector<std::string> lines;
};

TEST_F(PipeReaderTest, RelaysProgressAndEndsAtHundred) {
  StartReader();
  Connect();
  const struct {
    std::wstring text;
    long relayed;
  } steps[] = {{L"5", 5}, {L"6", 6}, {L"100", 100}};
  for (const auto& s : steps) {
    ASSERT_TRUE(Write(s.text));
    EXPECT_EQ(NextProgress(), s.relayed) << "after writing " << std::string(s.text.begin(), s.text.end());
  }
  EXPECT_TRUE(ReaderEnds());
  EXPECT_TRUE(PendingProgress().empty());
  for (const char* line : {"__update  ReadFile 5", "__update  ReadFile 6", "__update  ReadFile 100"})
    EXPECT_TRUE(SawLine(line)) << line;
  // The reader disconnected: the installer's further writes fail.
  EXPECT_FALSE(Write(L"7"));
  EXPECT_TRUE(failureText.empty());
}

TEST_F(PipeReaderTest, FailureTextBecomesTheStatusText) {
  const struct {
    const char* name;
    std::wstring message;
    std::wstring status;
  } cases[] = {
      {"with detail", L"Failed to install: disk full", L"Failed to install: disk full"},
      {"longer than one read", L"Failed to install: " + std::wstring(400, L'x'),
       (L"Failed to install: " + std::wstring(400, L'x')).substr(0, 256)},
  };
  for (const auto& c : cases) {
    TearDown();
    SetUp();
    StartReader();
    Connect();
    std::thread writer([&] { Write(c.message); });  // a long write waits for the reader
    EXPECT_TRUE(ReaderEnds()) << c.name;
    writer.join();
    EXPECT_EQ(failureText, c.status) << c.name;
    EXPECT_TRUE(PendingProgress().empty()) << c.name;
    for (const auto& line : Lines()) EXPECT_EQ(line.find("__update  ReadFile"), std::string::npos) << c.name;
  }
}

TEST_F(PipeReaderTest, ClientFirstJoinedWritesAndForeignFailureText) {
  // The client connects and writes before the reader runs: the connection is
  // reported as an error but reading goes on, and the two writes come as one
  // read, 5758, which is out of range.
  Connect();
  ASSERT_TRUE(Write(L"57"));
  ASSERT_TRUE(Write(L"58"));
  StartReader();
  ASSERT_TRUE(WaitForLine("__update  ReadFile 5758"));
  ASSERT_TRUE(Write(L"Installation fehlgeschlagen"));  // another language: read as 0
  EXPECT_EQ(NextProgress(), 0);
  ASSERT_TRUE(Write(L"100"));
  EXPECT_EQ(NextProgress(), 100);
  EXPECT_TRUE(ReaderEnds());
  EXPECT_TRUE(SawLine("Client connection error " + std::to_string(ERROR_PIPE_CONNECTED)));
  EXPECT_TRUE(failureText.empty());
}

TEST_F(PipeReaderTest, ClosedClientEndsTheReader) {
  StartReader();
  Connect();
  ASSERT_TRUE(Write(L"30"));
  EXPECT_EQ(NextProgress(), 30);
  client.reset();
  EXPECT_TRUE(ReaderEnds());
  // The failed read may be taken once as 0; nothing else follows.
  for (long v : PendingProgress()) EXPECT_EQ(v, 0);
}

TEST_F(PipeReaderTest, StoppedReleasesTheReader) {
  const struct {
    const char* name;
    bool connect;
  } cases[] = {{"installer never connects", false}, {"installer connected but silent", true}};
  for (const auto& c : cases) {
    TearDown();
    SetUp();
    StartReader();
    if (c.connect) {
      Connect();
      ASSERT_TRUE(Write(L"1"));
      EXPECT_EQ(NextProgress(), 1) << c.name;
    }
    shared->stopped = true;
    SetEvent(shared->event.get());
    EXPECT_TRUE(ReaderEnds()) << c.name;
    reader.join();
    EXPECT_TRUE(PendingProgress().empty()) << c.name;
    // No operation is left pending on the pipe: closing it now is safe.
    pipe.reset();
  }
}

TEST(ProgressPipe, OnlyTheFirstInstanceOfTheName) {
  const std::wstring base = L"\\\\.\\pipe\\qv_channel_first_" + std::to_wstring(GetCurrentProcessId());
  // The stub's own second attempt.
  UniqueHandle first = CreateProgressPipe(base + L"_a");
  ASSERT_TRUE(first.valid());
  EXPECT_FALSE(CreateProgressPipe(base + L"_a").valid());
  // Someone else created the name first, alike but allowing more instances.
  UniqueHandle squatter(CreateNamedPipeW((base + L"_b").c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr));
  ASSERT_TRUE(squatter.valid());
  EXPECT_FALSE(CreateProgressPipe(base + L"_b").valid());
  // The name is free again once its owner has closed it.
  squatter.reset();
  EXPECT_TRUE(CreateProgressPipe(base + L"_b").valid());
}

}  // namespace

// Threads from StartGuardedThread: named, a failing body written and
// contained, the owner waiting, a thread that cannot start reported.
#include "base/guarded_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/debug_output.h"
#include "base/manual_reset_event.h"

#ifdef _WIN32
#include <windows.h>

#include "base/text_convert.h"
#else
#include <pthread.h>
#endif

namespace {

// The calling thread's name as a debugger sees it; "?" where the system
// cannot tell (Windows before 10 1607).
std::string CurrentThreadName() {
#ifdef _WIN32
  using GetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  auto get = reinterpret_cast<GetDescriptionFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  PWSTR text = nullptr;
  if (!get || FAILED(get(GetCurrentThread(), &text))) return "?";
  std::string name = WideToUtf8(text);
  LocalFree(text);
  return name;
#else
  char name[16] = {};
  pthread_getname_np(pthread_self(), name, sizeof name);
  return name;
#endif
}

class CapturedLines {
 public:
  CapturedLines() {
    SetDebugSink([this](const std::string& line) {
      std::lock_guard<std::mutex> guard(lock);
      lines.push_back(line);
    });
  }
  ~CapturedLines() { SetDebugSink(nullptr); }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> guard(lock);
    return lines;
  }

 private:
  std::mutex lock;
  std::vector<std::string> lines;
};

TEST(GuardedThread, RunsTheBodyOnANamedThreadAndTheOwnerWaitsForIt) {
  std::atomic<bool> ended{false};
  std::string name;
  {
    ThreadStart start = StartGuardedThread("report sender", [&] {
      name = CurrentThreadName();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      ended = true;
    });
    ASSERT_TRUE(start.started);
    EXPECT_TRUE(start.failure.empty());
    EXPECT_TRUE(start.thread.Running());
    GuardedThread owner = std::move(start.thread);
    EXPECT_FALSE(owner.IsCurrent());
  }
  EXPECT_TRUE(ended);
  if (name != "?") {
    EXPECT_EQ(name, "report sender");
  }
}

TEST(GuardedThread, AFailingBodyIsWrittenAndEndsOnlyItsThreadThenItsEndRuns) {
  struct Case {
    const char* name;
    std::function<void()> body;
    std::string line;
  } cases[] = {
      {"std::exception", [] { throw std::runtime_error("disk gone"); }, "probe ended by an exception: disk gone"},
      {"anything else", [] { throw 7; }, "probe ended by an exception"},
  };
  for (const Case& c : cases) {
    CapturedLines captured;
    {
      ThreadStart start = StartGuardedThread("probe", c.body, [] { DebugOut("outcome left"); });
      ASSERT_TRUE(start.started) << c.name;
    }
    EXPECT_EQ(captured.Lines(), (std::vector<std::string>{c.line, "outcome left"})) << c.name;
  }
}

TEST(GuardedThread, AnOwnerDroppedOnItsOwnThreadLetsItGoAndSaysSo) {
  CapturedLines captured;
  auto owner = std::make_shared<GuardedThread>();
  ManualResetEvent go, done;
  ThreadStart start = StartGuardedThread("merge", [&, owner] {
    go.Wait();
    owner->Join();
    done.Set();
  });
  ASSERT_TRUE(start.started);
  *owner = std::move(start.thread);
  go.Set();
  ASSERT_TRUE(done.WaitFor(std::chrono::seconds(10)));
  EXPECT_FALSE(owner->Running());
  EXPECT_EQ(captured.Lines(), std::vector<std::string>{"merge is let go: its owner ended on the thread itself"});
  // The body's copy of `owner` keeps it alive until the thread has ended.
  while (owner.use_count() > 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

#ifdef __GLIBC__
TEST(GuardedThread, AThreadThatCannotStartIsReportedAndItsBodyNeverRuns) {
  // No system can give a thread a stack of half the address space.
  pthread_attr_t saved;
  ASSERT_EQ(pthread_getattr_default_np(&saved), 0);
  pthread_attr_t huge;
  pthread_attr_init(&huge);
  ASSERT_EQ(pthread_attr_setstacksize(&huge, static_cast<size_t>(1) << 62), 0);
  ASSERT_EQ(pthread_setattr_default_np(&huge), 0);
  bool ran = false;
  ThreadStart start = StartGuardedThread("activation", [&] { ran = true; });
  pthread_setattr_default_np(&saved);
  pthread_attr_destroy(&huge);
  pthread_attr_destroy(&saved);

  EXPECT_FALSE(start.started);
  EXPECT_FALSE(start.thread.Running());
  EXPECT_FALSE(start.failure.empty());
  start.thread.Join();  // holds nothing: returns at once
  EXPECT_FALSE(ran);
}
#endif

}  // namespace

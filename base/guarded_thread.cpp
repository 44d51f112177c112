#include "base/guarded_thread.h"

#include <exception>
#include <utility>

#include "base/debug_output.h"

#ifdef _WIN32
#include <windows.h>

#include "base/text_convert.h"
#else
#include <pthread.h>
#endif

namespace {

void NameThisThread(const std::string& name) {
#ifdef _WIN32
  // Windows 10 1607 and later; older systems (and older Wine) lack it, so it
  // is looked up rather than imported.
  using SetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  static const SetDescriptionFn setDescription = [] {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC proc = kernel ? GetProcAddress(kernel, "SetThreadDescription") : nullptr;
    return reinterpret_cast<SetDescriptionFn>(reinterpret_cast<void (*)()>(proc));
  }();
  if (setDescription) setDescription(GetCurrentThread(), Utf8ToWide(name).c_str());
#else
  // Linux takes at most 15 bytes and refuses a longer name as a whole.
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
#endif
}

void RunGuarded(const std::string& name, const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& e) {
    DebugOut(name + " ended by an exception: " + e.what());
  } catch (...) {
    DebugOut(name + " ended by an exception");
  }
}

}  // namespace

GuardedThread& GuardedThread::operator=(GuardedThread&& o) noexcept {
  if (this != &o) {
    Join();
    name_ = std::move(o.name_);
    thread_ = std::move(o.thread_);
  }
  return *this;
}

void GuardedThread::Join() {
  if (!thread_.joinable()) return;
  if (IsCurrent()) {
    DebugOut(name_ + " is let go: its owner ended on the thread itself");
    thread_.detach();
    return;
  }
  thread_.join();
}

void GuardedThread::Detach() {
  if (thread_.joinable()) thread_.detach();
}

ThreadStart StartGuardedThread(std::string name, std::function<void()> body) {
  return StartGuardedThread(std::move(name), std::move(body), nullptr);
}

ThreadStart StartGuardedThread(std::string name, std::function<void()> body,
                               std::function<void()> afterBody) {
  ThreadStart start;
  try {
    start.thread.thread_ = std::thread([name, body = std::move(body), afterBody = std::move(afterBody)] {
      RunGuarded(name, [&] {
        NameThisThread(name);
        body();
      });
      if (afterBody) RunGuarded(name, afterBody);
    });
    start.thread.name_ = std::move(name);
    start.started = true;
  } catch (const std::exception& e) {
    // No thread (std::system_error), or no memory for the body's copy.
    start.failure = e.what();
  }
  return start;
}

// Threads that are named, whose body cannot take the process down, and that
// are waited for. The installer's threads are started with
// StartGuardedThread, not with std::thread:
//
//   ThreadStart start = StartGuardedThread("install report", [=] { Send(request); });
//   if (!start.started) DebugOut("report thread could not be started: " + start.failure);
//   else reportThreads.push_back(std::move(start.thread));
//
// The owner joins the thread when it goes, so a body may use what its
// starter owns as long as the owner is declared after it.
#pragma once
#include <functional>
#include <string>
#include <thread>

struct ThreadStart;

// Runs `body` on a new thread named `name` (what a debugger shows; the
// native build keeps its first 15 bytes). An exception leaving `body` is
// caught and written to the debugger output as "<name> ended by an
// exception: <what>" (without ": <what>" for one that is no std::exception);
// the thread then ends. May be called from any thread.
[[nodiscard]] ThreadStart StartGuardedThread(std::string name, std::function<void()> body);
// The same, and `afterBody` runs on the thread once `body` has ended however
// it ended (after the line for an exception), guarded the same way: for a
// thread that must always leave word of its end.
[[nodiscard]] ThreadStart StartGuardedThread(std::string name, std::function<void()> body,
                                             std::function<void()> afterBody);

class GuardedThread {
 public:
  GuardedThread() = default;
  ~GuardedThread() { Join(); }
  GuardedThread(const GuardedThread&) = delete;
  GuardedThread& operator=(const GuardedThread&) = delete;
  GuardedThread(GuardedThread&&) noexcept = default;
  // Joins the thread held before taking `o`'s.
  GuardedThread& operator=(GuardedThread&& o) noexcept;

  // Whether a thread is held: started, and neither joined nor let go.
  bool Running() const { return thread_.joinable(); }
  // True when called on the held thread itself.
  bool IsCurrent() const { return thread_.joinable() && thread_.get_id() == std::this_thread::get_id(); }
  // Waits until the body has ended. Called on the thread itself (its body
  // dropped the last owner, or stops its own group), waiting could never
  // end: the thread is let go instead and a line says so. Nothing held:
  // returns at once.
  void Join();
  // Lets the thread run on unowned. Only for a body that owns (or shares)
  // everything it touches; nobody can wait for it afterwards.
  void Detach();
  const std::string& Name() const { return name_; }

 private:
  friend ThreadStart StartGuardedThread(std::string name, std::function<void()> body,
                                        std::function<void()> afterBody);
  std::string name_;
  std::thread thread_;
};

// What StartGuardedThread gives back. A failure to start must be handled by
// the caller: the body has not run and never will.
struct [[nodiscard]] ThreadStart {
  GuardedThread thread;  // holds no thread when it could not start
  bool started = false;
  std::string failure;  // why not (the system's message); empty when started
};

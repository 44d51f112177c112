#include "base/system_info.h"

#ifdef _WIN32
#include <windows.h>

int ProcessorCount() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return static_cast<int>(info.dwNumberOfProcessors);
}
int AllocationGranularity() {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return static_cast<int>(info.dwAllocationGranularity);
}
uint64_t TickCount64() { return GetTickCount64(); }

#else
#include <unistd.h>

#include <chrono>

int ProcessorCount() {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}
// Windows reserves address space in 64 KiB steps; keep the same read-back chunk
// size natively so both builds behave alike.
int AllocationGranularity() { return 65536; }
uint64_t TickCount64() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
#endif

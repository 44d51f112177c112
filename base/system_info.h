// Facts about the machine and the clock, from the system.
#pragma once
#include <cstdint>

int ProcessorCount();               // GetSystemInfo on Windows
int AllocationGranularity();        // 64 KiB on Windows; the page size elsewhere, at least 64 KiB
uint64_t TickCount64();             // milliseconds since an arbitrary start, monotonic

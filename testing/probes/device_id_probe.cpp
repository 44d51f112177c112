// Prints this machine's device identifier: run twice by a test to show that
// it stays the same from one process to the next.
#include <cstdio>

#include "telemetry/device_identity.h"

int wmain() {
  char buffer[100] = {};
  GetDeviceId(buffer, sizeof buffer);
  std::printf("%s\n", buffer);
  return 0;
}

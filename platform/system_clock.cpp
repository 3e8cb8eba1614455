// The OS's monotonic millisecond clock and sleeping, without any window system.
#include <chrono>
#include <thread>

#include "platform/platform.h"

uint32_t SystemTicks() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  // Truncating to 32 bits wraps the counter the way a 32-bit tick count does.
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

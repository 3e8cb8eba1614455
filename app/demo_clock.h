// The demo clock: show time in seconds since StartShow, from a 32-bit millisecond tick
// counter. The tick source is injected (the OS counter live, a virtual one headless and in
// tests); the difference is taken unsigned, so a wrapping counter does no harm.
#pragma once

#include <cstdint>
#include <functional>

class DemoClock {
 public:
  using TickSource = std::function<uint32_t()>;
  explicit DemoClock(TickSource ticks) : ticks_(std::move(ticks)) {}

  // The clock start becomes the tick count now.
  void Start() { start_ = ticks_(); }
  // Starts the clock as if it had been started `elapsedMs` milliseconds ago.
  void StartAgo(uint32_t elapsedMs) { start_ = ticks_() - elapsedMs; }
  // Seconds since Start: the unsigned tick difference times the float constant 0.001.
  float Seconds() const;
  uint32_t StartTicks() const { return start_; }

 private:
  TickSource ticks_;
  uint32_t start_ = 0;
};

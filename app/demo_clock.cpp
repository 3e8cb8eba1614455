#include "app/demo_clock.h"

float DemoClock::Seconds() const {
  uint32_t elapsed = ticks_() - start_;
  return static_cast<float>(static_cast<double>(elapsed) * static_cast<double>(0.001f));
}

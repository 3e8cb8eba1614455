#include "app/main_loop.h"

#include "show/show_clock.h"

int32_t AdvancePart(const std::vector<PartEntry>& timeline, int32_t index, float t) {
  const int32_t last = static_cast<int32_t>(timeline.size()) - 1;
  while (index < last && static_cast<double>(timeline[static_cast<size_t>(index)].time) * 0.001 <
                             static_cast<double>(t)) {
    ++index;
  }
  return index;
}

int RunTimeline(const std::vector<PartEntry>& timeline, bool loop, const DemoClock& clock, FrameHooks& hooks,
                TimelineState* state) {
  const int32_t count = static_cast<int32_t>(timeline.size());
  if (count < 2) return 0;
  TimelineState begin = state ? *state : TimelineState();
  int32_t part = begin.part < 0 ? 0 : begin.part;
  float partFrames = begin.partFrames;
  float previous = begin.previous;
  while (!hooks.StopRequested() && part < count - 1) {
    hooks.PumpMessages();
    float t = clock.Seconds();
    float dt = t - previous;
    previous = t;
    hooks.RenderPart(part, partFrames, t, dt * kOpacityStepPerSecond);
    partFrames += dt * kFramesPerSecond;
    if (static_cast<double>(timeline[static_cast<size_t>(part)].time) * 0.001 < static_cast<double>(t)) {
      partFrames = 0.0f;
      part = AdvancePart(timeline, part + 1, t);
    }
    hooks.SwapBuffers();
  }
  if (state) *state = {part, partFrames, previous};
  return (part >= count - 1 && loop) ? 1 : 0;
}

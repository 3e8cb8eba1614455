// The main loop: turns show time into the current timeline part and the frames spent in it,
// draws one frame of that part per iteration and swaps. It ends at Escape, when the window is
// closed, or when the timeline reaches its last entry (which is never drawn).
//
//   RunTimeline(tables.timeline, loopDemo, clock, hooks) -> 1: play again, 0: finish.
#pragma once

#include <cstdint>
#include <vector>

#include "app/demo_clock.h"
#include "show/show_tables.h"

// What one iteration of the loop calls out to: window events, drawing, presenting.
class FrameHooks {
 public:
  virtual ~FrameHooks() = default;
  // True when the loop must end now (Escape held, window closed, frame budget spent).
  virtual bool StopRequested() = 0;
  virtual void PumpMessages() = 0;
  virtual void RenderPart(int32_t partIndex, float partFrames, float showTime, float opacityStep) = 0;
  virtual void SwapBuffers() = 0;
};

// Where the loop stands: the current part, the frames spent in it, the previous frame's time.
struct TimelineState {
  int32_t part = 0;
  float partFrames = 0.0f;
  float previous = 0.0f;
};

// Runs the timeline from part 0, or from *state when given (which then receives where the loop
// stopped, so a run can be continued). Returns 1 when the timeline ran out and loop is set,
// else 0. A timeline of fewer than two entries has nothing to draw and returns 0 at once, so
// looping cannot spin on it.
int RunTimeline(const std::vector<PartEntry>& timeline, bool loop, const DemoClock& clock, FrameHooks& hooks,
                TimelineState* state = nullptr);

// The part that is current at show time t after leaving part `index`: advances while the
// current entry's end time has passed, never past the last entry.
int32_t AdvancePart(const std::vector<PartEntry>& timeline, int32_t index, float t);

#include "app/seek.h"

#include <cmath>

#include "app/demo_clock.h"

namespace {

class ReplayHooks final : public FrameHooks {
 public:
  ReplayHooks(ShowSession& session, long frames, double fps, uint32_t* ticks)
      : session_(session), frames_(frames), fps_(fps), ticks_(ticks) {}
  bool StopRequested() override { return frame_ >= frames_; }
  void PumpMessages() override {}
  void RenderPart(int32_t part, float partFrames, float showTime, float opacityStep) override {
    session_.DrawPart(part, partFrames, showTime, opacityStep, false);
  }
  void SwapBuffers() override {
    ++frame_;
    *ticks_ = static_cast<uint32_t>(std::llround(static_cast<double>(frame_) * 1000.0 / fps_));
  }

 private:
  ShowSession& session_;
  long frames_;
  double fps_;
  uint32_t* ticks_;
  long frame_ = 0;
};

}  // namespace

TimelineState ReplayTimeline(ShowSession& session, double seconds, double fps) {
  TimelineState state;
  if (seconds <= 0.0 || fps <= 0.0) return state;
  uint32_t ticks = 0;
  DemoClock clock([&ticks] { return ticks; });
  clock.Start();
  long frames = static_cast<long>(std::ceil(seconds * fps - 1e-9));
  ReplayHooks hooks(session, frames, fps, &ticks);
  RunTimeline(session.tables.timeline, false, clock, hooks, &state);
  return state;
}

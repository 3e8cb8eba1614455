#include "app/show_run.h"

#include <cmath>
#include <cstdio>

#include "app/demo_clock.h"
#include "platform/log.h"

namespace {

// The loop's hooks for a stepped run: the plan picks the frames to draw, the clock moves on by
// one frame at every swap.
class SteppedHooks final : public FrameHooks {
 public:
  SteppedHooks(ShowSession& session, Display* display, FramePlan& plan, double fps, uint32_t startMs)
      : session_(session), display_(display), plan_(plan), fps_(fps), startMs_(startMs) {}

  uint32_t ticks() const { return ticks_; }
  void Begin() { ticks_ = startMs_; }

  bool StopRequested() override { return plan_.Done(frame_); }
  void PumpMessages() override {}
  void RenderPart(int32_t part, float partFrames, float showTime, float opacityStep) override {
    drawing_ = display_ && session_.hasGl && plan_.Draw(frame_, part);
    part_ = part;
    session_.DrawPart(part, partFrames, showTime, opacityStep, drawing_);
  }
  void SwapBuffers() override {
    if (drawing_) {
      display_->SwapBuffers();
      plan_.Drawn(frame_, part_);
    }
    ++frame_;
    ticks_ = startMs_ + static_cast<uint32_t>(std::llround(static_cast<double>(frame_) * 1000.0 / fps_));
  }

 private:
  ShowSession& session_;
  Display* display_;
  FramePlan& plan_;
  double fps_;
  uint32_t startMs_;
  uint32_t ticks_ = 0;
  long frame_ = 0;
  int32_t part_ = 0;
  bool drawing_ = false;
};

}  // namespace

void PlayStepped(ShowSession& session, Display* display, FramePlan& plan, double fps,
                 TimelineState* state, uint32_t startMs) {
  SteppedHooks hooks(session, display, plan, fps, startMs);
  DemoClock clock([&hooks] { return hooks.ticks(); });
  // Show time 0 is tick 0; the first frame is shown startMs later.
  clock.Start();
  hooks.Begin();
  RunTimeline(session.tables.timeline, false, clock, hooks, state);
}

TimelineState ReplayTimeline(ShowSession& session, double seconds, double fps) {
  TimelineState state;
  if (seconds <= 0.0 || fps <= 0.0) return state;
  struct ReplayOnly final : FramePlan {
    long frames = 0;
    bool Done(long index) override { return index >= frames; }
    bool Draw(long, int32_t) override { return false; }
  } plan;
  plan.frames = static_cast<long>(std::ceil(seconds * fps - 1e-9));
  PlayStepped(session, nullptr, plan, fps, &state);
  return state;
}

double ShowLength(const ShowTables& tables) {
  if (tables.timeline.size() < 2) return 0.0;
  return static_cast<double>(tables.timeline[tables.timeline.size() - 2].time) * 0.001;
}

ShowRun::ShowRun() = default;
ShowRun::~ShowRun() = default;

bool ShowRun::Open(const DemoOptions& options, const WindowRequest& request, Display* display) {
  SetLogSink(options.verbose ? &LogToStderr : nullptr);
  if (!display) {
    owned_ = CreateHeadlessDisplay();
    display = owned_.get();
  }
  display_ = display;
  session_.Prepare(options, *display_, request);
  if (!session_.tables.scriptError.empty()) {
    std::fprintf(stderr, "quillon: %s\n", session_.tables.scriptError.c_str());
    return false;
  }
  return session_.hasGl;
}

bool ShowRun::DrawFrameAt(double seconds, TimelineState state, std::vector<uint8_t>* rgba, int* width, int* height) {
  struct OneFrame final : FramePlan {
    Display* display = nullptr;
    std::vector<uint8_t>* rgba = nullptr;
    int width = 0, height = 0;
    bool drawn = false;
    bool Done(long index) override { return index >= 1; }
    bool Draw(long, int32_t) override { return true; }
    void Drawn(long, int32_t) override {
      drawn = true;
      if (rgba) display->ReadPixels(rgba, &width, &height);
    }
  } plan;
  plan.display = display_;
  plan.rgba = rgba;
  if (rgba) rgba->clear();
  Play(plan, 60.0, &state, static_cast<uint32_t>(std::llround(seconds * 1000.0)));
  if (width) *width = plan.width;
  if (height) *height = plan.height;
  return plan.drawn && (!rgba || !rgba->empty());
}

void ShowRun::Close() {
  session_.Close();
  if (display_) display_->Close();
}

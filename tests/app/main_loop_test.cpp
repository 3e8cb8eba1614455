#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "app/demo_clock.h"
#include "app/main_loop.h"

namespace {

std::vector<PartEntry> PartsEndingAt(std::vector<float> ends) {
  std::vector<PartEntry> timeline;
  for (float end : ends) {
    PartEntry e;
    e.time = end;
    timeline.push_back(e);
  }
  return timeline;
}

struct Frame {
  int32_t part;
  float partFrames;
  float showTime;
  float opacityStep;
};

// Drives the loop on a scripted tick sequence: each swap moves the clock to the next tick.
class ScriptedHooks : public FrameHooks {
 public:
  ScriptedHooks(std::vector<uint32_t> ticks, uint32_t* now) : ticks_(std::move(ticks)), now_(now) {}
  bool StopRequested() override { return escapeAt_ >= 0 && static_cast<int>(frames.size()) >= escapeAt_; }
  void PumpMessages() override {
    if (next_ < ticks_.size()) *now_ = ticks_[next_++];
  }
  void RenderPart(int32_t part, float partFrames, float t, float step) override {
    frames.push_back({part, partFrames, t, step});
  }
  void SwapBuffers() override { ++swaps; }

  std::vector<Frame> frames;
  int swaps = 0;
  int escapeAt_ = -1;

 private:
  std::vector<uint32_t> ticks_;
  size_t next_ = 0;
  uint32_t* now_;
};

TEST(DemoClock, SecondsFromUnsignedTickDifferenceAcrossWrap) {
  uint32_t now = 0xFFFFFC18u;  // 1000 ms before the counter wraps
  DemoClock clock([&] { return now; });
  clock.Start();
  EXPECT_EQ(clock.Seconds(), 0.0f);
  now += 1500;  // wraps to 500
  EXPECT_FLOAT_EQ(clock.Seconds(), 1.5f);
  now = clock.StartTicks() + 1;
  // One tick is the float constant 0.001 (0.0010000000474974513), not the double 0.001.
  EXPECT_EQ(clock.Seconds(), static_cast<float>(static_cast<double>(0.001f)));
}

TEST(MainLoop, ThreePartsShowTwoAndEndBeforeTheLast) {
  uint32_t now = 0;
  DemoClock clock([&] { return now; });
  clock.Start();
  auto timeline = PartsEndingAt({1000, 2000, 3000});
  ScriptedHooks hooks({0, 500, 1000, 1001, 1500, 2000, 2001, 2500, 3000}, &now);
  EXPECT_EQ(RunTimeline(timeline, false, clock, hooks), 0);
  // 1.0 s is not past the end of part 0 (the comparison is strict); 1.001 s is.
  std::vector<int32_t> parts;
  for (const Frame& f : hooks.frames) parts.push_back(f.part);
  EXPECT_EQ(parts, (std::vector<int32_t>{0, 0, 0, 0, 1, 1, 1}));
  // Every frame is swapped, including the one whose switch ends the show.
  EXPECT_EQ(hooks.swaps, 7);
  // The first frame of a part is drawn at part frames exactly 0; frames advance 30 per second.
  EXPECT_EQ(hooks.frames[0].partFrames, 0.0f);
  EXPECT_FLOAT_EQ(hooks.frames[1].partFrames, 0.0f);
  EXPECT_FLOAT_EQ(hooks.frames[2].partFrames, 15.0f);
  EXPECT_EQ(hooks.frames[4].partFrames, 0.0f);
  EXPECT_NEAR(hooks.frames[5].partFrames, 14.97f, 1e-3);
  // The opacity step is 0.055 times the frame's duration.
  EXPECT_FLOAT_EQ(hooks.frames[2].opacityStep, 0.5f * 0.055f);
}

TEST(MainLoop, LateFrameSkipsPartsWhoseEndsHavePassed) {
  uint32_t now = 0;
  DemoClock clock([&] { return now; });
  clock.Start();
  auto timeline = PartsEndingAt({1000, 2000, 3000, 4000, 5000});
  ScriptedHooks hooks({0, 2500, 2600, 4200}, &now);
  EXPECT_EQ(RunTimeline(timeline, true, clock, hooks), 1);
  ASSERT_EQ(hooks.frames.size(), 4u);
  EXPECT_EQ(hooks.frames[1].part, 0);  // drawn late, then parts 1 is skipped
  EXPECT_EQ(hooks.frames[2].part, 2);
  EXPECT_EQ(hooks.frames[2].partFrames, 0.0f);
  EXPECT_EQ(hooks.frames[3].part, 2);
}

TEST(MainLoop, EscapeEndsTheShowEvenWhenLooping) {
  uint32_t now = 0;
  DemoClock clock([&] { return now; });
  clock.Start();
  auto timeline = PartsEndingAt({1000, 2000, 3000});
  ScriptedHooks hooks({0, 100, 200, 300}, &now);
  hooks.escapeAt_ = 2;
  EXPECT_EQ(RunTimeline(timeline, true, clock, hooks), 0);
  EXPECT_EQ(hooks.frames.size(), 2u);
}

TEST(MainLoop, RanOutWithoutLoopReturnsZeroAndShortTimelinesNeverLoop) {
  uint32_t now = 0;
  DemoClock clock([&] { return now; });
  clock.Start();
  auto timeline = PartsEndingAt({10, 20});
  ScriptedHooks hooks({0, 100}, &now);
  EXPECT_EQ(RunTimeline(timeline, false, clock, hooks), 0);
  EXPECT_EQ(hooks.frames.size(), 2u);

  for (size_t n : {0u, 1u}) {
    ScriptedHooks none({0}, &now);
    auto tiny = PartsEndingAt(std::vector<float>(n, 1000.0f));
    EXPECT_EQ(RunTimeline(tiny, true, clock, none), 0) << n;
    EXPECT_TRUE(none.frames.empty());
  }
}

TEST(MainLoop, AdvancePartStopsAtTheLastEntry) {
  auto timeline = PartsEndingAt({1000, 2000, 3000});
  EXPECT_EQ(AdvancePart(timeline, 1, 99.0f), 2);
  EXPECT_EQ(AdvancePart(timeline, 1, 1.5f), 1);
}

}  // namespace

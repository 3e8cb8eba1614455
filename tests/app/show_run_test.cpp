#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "app/show_run.h"
#include "tests/show/test_show.h"

namespace {

namespace fs = std::filesystem;

DemoOptions LooseShow(const std::string& dir) {
  DemoOptions options;
  options.noArchive = true;
  options.noSound = true;
  options.dataDir = dir;
  return options;
}

WindowRequest Small() {
  WindowRequest request;
  request.width = 64;
  request.height = 48;
  return request;
}

// A script of three parts with nothing to load, ending at 1, 2 and 3 seconds.
std::string ThreePartScript(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / ("quillon_" + name + "_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream script(dir / "script.txt", std::ios::binary);
  for (int end : {1000, 2000, 3000}) {
    script << "[part]\r\nnone.scx\r\n" << end << "\r\n0\r\ncam\r\nstandard\r\nstandard\r\n";
  }
  return dir.string();
}

// Draws every frame until `limit` and notes which part each one showed.
struct RecordingPlan final : FramePlan {
  long limit = 1000;
  std::vector<std::pair<long, int32_t>> drawn;
  bool Done(long index) override { return index >= limit; }
  bool Draw(long, int32_t) override { return true; }
  void Drawn(long index, int32_t part) override { drawn.emplace_back(index, part); }
};

// Draws the one frame `wanted` and keeps its picture.
struct OneFramePlan final : FramePlan {
  explicit OneFramePlan(Display& d, long frame) : display(d), wanted(frame) {}
  Display& display;
  long wanted;
  std::vector<uint8_t> rgba;
  bool Done(long index) override { return index > wanted; }
  bool Draw(long index, int32_t) override { return index == wanted; }
  void Drawn(long, int32_t) override {
    int w, h;
    display.ReadPixels(&rgba, &w, &h);
  }
};

TEST(ShowRun, FramesFollowTheVirtualClockFromTheGivenStart) {
  const std::string dir = ThreePartScript("steps");
  ShowRun run;
  ASSERT_TRUE(run.Open(LooseShow(dir), Small()));
  EXPECT_DOUBLE_EQ(run.Length(), 2.0);

  // At 10 frames a second frame k is at k / 10 s. Part 0 is left once the clock passes 1 s: frame
  // 11 still shows it. The run ends when the last part is reached, after frame 21.
  RecordingPlan all;
  TimelineState state;
  run.Play(all, 10.0, &state);
  ASSERT_EQ(all.drawn.size(), 22u);
  EXPECT_EQ(all.drawn[11], std::make_pair(11L, 0));
  EXPECT_EQ(all.drawn[12], std::make_pair(12L, 1));
  EXPECT_EQ(state.part, 2);

  // Starting half a second in: frame k at 0.5 + k / 10 s.
  RecordingPlan late;
  run.Play(late, 10.0, nullptr, 500);
  ASSERT_EQ(late.drawn.size(), 17u);
  EXPECT_EQ(late.drawn[6].second, 0);
  EXPECT_EQ(late.drawn[7].second, 1);

  RecordingPlan few;
  few.limit = 5;
  run.Play(few, 10.0);
  EXPECT_EQ(few.drawn.size(), 5u);
  run.Close();
  fs::remove_all(dir);
}

TEST(ShowRun, SeekReplaysEveryFrameBeforeTheGivenTime) {
  const std::string dir = ThreePartScript("seek");
  ShowRun run;
  run.Open(LooseShow(dir), Small());
  TimelineState start = run.Seek(0.0);
  EXPECT_EQ(start.part, 0);
  EXPECT_EQ(start.previous, 0.0f);
  // Frames 0 to 89 at 60 a second: the last is at 1.483 s, in part 1, which began at frame 61
  // (1.017 s) and has run for about 30 * 0.466 frames since.
  TimelineState at = run.Seek(1.5);
  EXPECT_EQ(at.part, 1);
  EXPECT_FLOAT_EQ(at.previous, 1483 * 0.001f);
  EXPECT_NEAR(at.partFrames, 30 * (1.483 - 1.017), 0.01);
  run.Close();
  fs::remove_all(dir);
}

// --frame's seek and single frame give exactly the picture a full stepped run draws at that time.
TEST(ShowRun, FrameAtATimeEqualsTheFrameAFullRunDrawsThere) {
  const std::string dir = testshow::WriteShow("show_run");
  std::vector<uint8_t> full, later, single;
  {
    ShowRun run;
    ASSERT_TRUE(run.Open(LooseShow(dir), Small()));
    OneFramePlan at150(run.display(), 150);  // 2.5 s
    run.Play(at150, 60.0);
    full = at150.rgba;
    OneFramePlan at156(run.display(), 156);  // 2.6 s: the box has moved on
    run.Play(at156, 60.0);
    later = at156.rgba;
    run.Close();
  }
  {
    ShowRun run;
    ASSERT_TRUE(run.Open(LooseShow(dir), Small()));
    int w = 0, h = 0;
    ASSERT_TRUE(run.DrawFrameAt(2.5, run.Seek(2.5), &single, &w, &h));
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);
    // Past the end of the show there is no frame to draw.
    std::vector<uint8_t> none;
    EXPECT_FALSE(run.DrawFrameAt(9.0, run.Seek(9.0), &none));
    EXPECT_TRUE(none.empty());
    run.Close();
  }
  ASSERT_EQ(full.size(), 64u * 48u * 4u);
  EXPECT_NE(full, later);
  EXPECT_EQ(single, full);
  fs::remove_all(dir);
}

}  // namespace

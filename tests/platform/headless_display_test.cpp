#include <GL/gl.h>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace {

TEST(HeadlessDisplay, ClearsToAColourAndReadsItBack) {
  auto display = CreateHeadlessDisplay();
  std::string error;
  ASSERT_TRUE(display->Open({64, 32, false, "test"}, &error)) << error;
  int w = 0, h = 0;
  display->DrawableSize(&w, &h);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 32);

  glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  // A square in the top-left quarter checks that read-back rows come top first.
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 16, 32, 16);
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);

  std::vector<uint8_t> rgba;
  ASSERT_TRUE(display->ReadPixels(&rgba, &w, &h));
  ASSERT_EQ(rgba.size(), 64u * 32u * 4u);
  auto px = [&](int x, int y) { return &rgba[(static_cast<size_t>(y) * 64 + x) * 4]; };
  EXPECT_EQ(px(0, 0)[2], 255);   // top-left: blue
  EXPECT_EQ(px(0, 0)[0], 0);
  EXPECT_EQ(px(63, 31)[0], 255);  // bottom-right: orange
  EXPECT_NEAR(px(63, 31)[1], 128, 1);
  EXPECT_EQ(px(63, 31)[2], 0);
  display->Close();
  display->Close();  // twice is harmless
}

// Offscreen frames are drawn as the player's window draws them: 8 bits a colour channel and no
// alpha, whatever deeper formats the driver also offers, so they are the same on every system.
TEST(HeadlessDisplay, DrawsWithEightBitsAChannelAndNoAlpha) {
  auto display = CreateHeadlessDisplay();
  std::string error;
  ASSERT_TRUE(display->Open({16, 16, false, "test"}, &error)) << error;
  GLint red = 0, green = 0, blue = 0, alpha = -1, depth = 0;
  glGetIntegerv(GL_RED_BITS, &red);
  glGetIntegerv(GL_GREEN_BITS, &green);
  glGetIntegerv(GL_BLUE_BITS, &blue);
  glGetIntegerv(GL_ALPHA_BITS, &alpha);
  glGetIntegerv(GL_DEPTH_BITS, &depth);
  EXPECT_EQ(red, 8);
  EXPECT_EQ(green, 8);
  EXPECT_EQ(blue, 8);
  EXPECT_EQ(alpha, 0);
  EXPECT_GE(depth, 24);
  display->Close();
}

TEST(HeadlessDisplay, VirtualClockOnlyMovesWhenAdvancedAndWraps) {
  auto display = CreateHeadlessDisplay();
  EXPECT_EQ(display->Ticks(), 0u);
  display->AdvanceTicks(16);
  display->AdvanceTicks(17);
  EXPECT_EQ(display->Ticks(), 33u);
  display->SetTicks(0xFFFFFFF0u);
  display->AdvanceTicks(0x20);
  EXPECT_EQ(display->Ticks(), 0x10u);
}

TEST(HeadlessDisplay, TwoDisplaysOneAfterAnother) {
  for (int i = 0; i < 2; ++i) {
    auto display = CreateHeadlessDisplay();
    std::string error;
    ASSERT_TRUE(display->Open({16, 16, false, "again"}, &error)) << error;
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<uint8_t> rgba;
    int w, h;
    ASSERT_TRUE(display->ReadPixels(&rgba, &w, &h));
    EXPECT_EQ(rgba[1], 255);
  }
}

}  // namespace

namespace {

struct Recorder final : WindowEvents {
  std::vector<std::pair<int, bool>> keys;
  int closes = 0;
  void OnKey(int key, bool down) override { keys.emplace_back(key, down); }
  void OnResize(int, int) override {}
  void OnClose() override { ++closes; }
};

TEST(HeadlessDisplay, InjectedKeysArriveInOrderAtTheNextPump) {
  auto display = CreateHeadlessDisplay();
  Recorder events;
  display->InjectKey(kKeyShift, true);
  display->InjectTap(kKeyRight);
  display->InjectClose();
  display->PumpEvents(events);
  const std::vector<std::pair<int, bool>> expected = {
      {kKeyShift, true}, {kKeyRight, true}, {kKeyRight, false}};
  EXPECT_EQ(events.keys, expected);
  EXPECT_EQ(events.closes, 1);
  display->PumpEvents(events);  // delivered once only
  EXPECT_EQ(events.keys.size(), 3u);
  EXPECT_EQ(events.closes, 1);
}

}  // namespace

// The offscreen display on Windows draws like the player's window: no alpha bits, so what
// blending leaves in alpha never reaches a captured frame.
#include <windows.h>
#include <GL/gl.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"

namespace {

TEST(Win32Offscreen, FramesHaveNoAlphaLikeTheWindowAndNoWindowIsShown) {
  auto display = CreateHeadlessDisplay();
  std::string error;
  ASSERT_TRUE(display->Open({64, 48, false, "Quillon"}, &error)) << error;
  glClearColor(0.0f, 1.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  // A half-transparent quad blended over it: on a framebuffer with alpha bits this would leave
  // alpha below 1.
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ZERO);
  glColor4f(1.0f, 0.0f, 0.0f, 0.25f);
  glBegin(GL_QUADS);
  glVertex2f(-1, -1);
  glVertex2f(0, -1);
  glVertex2f(0, 1);
  glVertex2f(-1, 1);
  glEnd();
  glDisable(GL_BLEND);
  display->SwapBuffers();
  std::vector<uint8_t> rgba;
  int w = 0, h = 0;
  ASSERT_TRUE(display->ReadPixels(&rgba, &w, &h));
  ASSERT_EQ(w, 64);
  ASSERT_EQ(h, 48);
  const uint8_t* left = &rgba[(24 * 64 + 8) * 4];
  const uint8_t* right = &rgba[(24 * 64 + 56) * 4];
  EXPECT_EQ(left[0], 255);
  EXPECT_EQ(left[3], 255);
  EXPECT_EQ(right[1], 255);
  EXPECT_EQ(right[3], 255);
  EXPECT_EQ(FindWindowA("OpenGL WinClass", nullptr), nullptr);
  HWND hidden = FindWindowA("Quillon Offscreen", nullptr);
  ASSERT_NE(hidden, nullptr);
  EXPECT_FALSE(IsWindowVisible(hidden));
  display->Close();
  EXPECT_EQ(FindWindowA("Quillon Offscreen", nullptr), nullptr);
}

}  // namespace

// A small offscreen GL context set up as the player sets up its window, with helpers to read
// pixels back. Tests that draw derive from GlTest.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "show/viewport.h"

class GlTest : public ::testing::Test {
 protected:
  static constexpr int kWidth = 64;
  static constexpr int kHeight = 64;

  void SetUp() override {
    display_ = CreateHeadlessDisplay();
    std::string error;
    ASSERT_TRUE(display_->Open({kWidth, kHeight, false, "test"}, &error)) << error;
    InitGl(kWidth, kHeight);
  }
  void TearDown() override {
    if (display_) display_->Close();
  }

  void ClearTo(float r, float g, float b) {
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

  // Re-reads the frame; x, y count from the top-left corner.
  void Grab() {
    int w = 0, h = 0;
    ASSERT_TRUE(display_->ReadPixels(&frame_, &w, &h));
  }
  std::array<int, 3> At(int x, int y) const {
    const uint8_t* p = &frame_[(static_cast<size_t>(y) * kWidth + x) * 4];
    return {p[0], p[1], p[2]};
  }
  const std::vector<uint8_t>& Frame() const { return frame_; }

  std::unique_ptr<HeadlessDisplay> display_;
  std::vector<uint8_t> frame_;
};

// Compares a pixel with an expected colour, channel by channel, within tol.
#define EXPECT_RGB_NEAR(px, r, g, b, tol)   \
  do {                                      \
    auto _p = (px);                         \
    EXPECT_NEAR(_p[0], (r), (tol)) << "red";   \
    EXPECT_NEAR(_p[1], (g), (tol)) << "green"; \
    EXPECT_NEAR(_p[2], (b), (tol)) << "blue";  \
  } while (0)

// The bytes the C library's heap has handed out (0 where it cannot say).
inline size_t HeapBytesInUse() {
#if defined(__GLIBC__)
  return mallinfo2().uordblks;
#else
  return 0;
#endif
}

// What one run of draw adds to what the driver holds until its frame is done. It runs twice in
// one frame and the second run is measured: the driver lets go of earlier frames when a frame
// begins, so across frames the figure would mix in what they give back.
template <class Draw>
size_t DriverFrameGrowth(Draw draw) {
  draw();
  const size_t before = HeapBytesInUse();
  draw();
  const size_t after = HeapBytesInUse();
  glFinish();
  return after > before ? after - before : 0;
}

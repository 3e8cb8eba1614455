#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"

namespace {
int Choose(const std::vector<DisplayModeInfo>& modes, int w, int h) {
  return ChooseDisplayMode(modes.data(), static_cast<int>(modes.size()), w, h);
}

TEST(ChooseDisplayMode, NeedsExactWidthAndHeight) {
  const std::vector<DisplayModeInfo> modes = {
      {1024, 768, 32}, {800, 600, 32}, {640, 400, 32}, {640, 480, 16}, {648, 480, 32}};
  EXPECT_EQ(Choose(modes, 640, 480), 3);
  EXPECT_EQ(Choose(modes, 800, 600), 1);
  EXPECT_EQ(Choose(modes, 1024, 768), 0);
  EXPECT_EQ(Choose(modes, 600, 800), -1);  // width and height are not interchangeable
  EXPECT_EQ(Choose(modes, 1280, 1024), -1);
}

TEST(ChooseDisplayMode, DeepestBitsPerPixelAndEarliestOnTies) {
  // Several 800 x 600 modes (different refresh rates) at 16 and 32 bits: the first 32-bit one.
  const std::vector<DisplayModeInfo> modes = {{800, 600, 16}, {800, 600, 32}, {800, 600, 16},
                                              {800, 600, 32}, {800, 600, 24}, {640, 480, 32}};
  EXPECT_EQ(Choose(modes, 800, 600), 1);
  const std::vector<DisplayModeInfo> rising = {{640, 480, 8}, {640, 480, 16}, {640, 480, 24},
                                               {640, 480, 32}};
  EXPECT_EQ(Choose(rising, 640, 480), 3);
  const std::vector<DisplayModeInfo> same = {{640, 480, 32}, {640, 480, 32}};
  EXPECT_EQ(Choose(same, 640, 480), 0);
}

TEST(ChooseDisplayMode, EmptyOrMissingListFindsNothing) {
  const DisplayModeInfo one{640, 480, 32};
  EXPECT_EQ(ChooseDisplayMode(nullptr, 5, 640, 480), -1);
  EXPECT_EQ(ChooseDisplayMode(&one, 0, 640, 480), -1);
  EXPECT_EQ(ChooseDisplayMode(&one, -3, 640, 480), -1);
  EXPECT_EQ(ChooseDisplayMode(&one, 1, 640, 480), 0);
}

TEST(ChooseDisplayMode, LooksAtNoMoreThan4999Modes) {
  std::vector<DisplayModeInfo> modes(6000, DisplayModeInfo{320, 200, 8});
  modes[4999] = {640, 480, 32};  // the 5000th mode is beyond the scan
  EXPECT_EQ(Choose(modes, 640, 480), -1);
  modes[4998] = {640, 480, 16};  // the 4999th is still looked at
  EXPECT_EQ(Choose(modes, 640, 480), 4998);
}

}  // namespace

namespace {

// A fullscreen request that found no mode of its size keeps its shape on the desktop's mode.
TEST(LetterboxArea, LargestCentredAreaOfTheRequestedShape) {
  int x = -1, y = -1, w = 0, h = 0;
  LetterboxArea(1280, 1024, 640, 480, &x, &y, &w, &h);  // bars above and below
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 32);
  EXPECT_EQ(w, 1280);
  EXPECT_EQ(h, 960);
  LetterboxArea(1920, 1080, 640, 480, &x, &y, &w, &h);  // bars left and right
  EXPECT_EQ(x, 240);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(w, 1440);
  EXPECT_EQ(h, 1080);
  LetterboxArea(800, 600, 1024, 768, &x, &y, &w, &h);  // the same shape: all of it
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 600);
  LetterboxArea(3, 1000, 640, 480, &x, &y, &w, &h);  // never empty
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
}

}  // namespace

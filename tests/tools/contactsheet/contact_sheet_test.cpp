#include <gtest/gtest.h>

#include "tools/contactsheet/contact_sheet.h"

namespace {

std::vector<uint8_t> Solid(int n, uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> px;
  for (int i = 0; i < n; ++i) px.insert(px.end(), {r, g, b, 255});
  return px;
}

TEST(ContactSheet, MeasuresLumaMeanAndContrast) {
  double mean, contrast;
  MeasureFrame(Solid(100, 255, 255, 255), &mean, &contrast);
  EXPECT_NEAR(mean, 255.0, 1e-9);
  EXPECT_NEAR(contrast, 0.0, 1e-4);
  // Half black, half white: mean 127.5, standard deviation 127.5.
  std::vector<uint8_t> half = Solid(50, 0, 0, 0);
  std::vector<uint8_t> white = Solid(50, 255, 255, 255);
  half.insert(half.end(), white.begin(), white.end());
  MeasureFrame(half, &mean, &contrast);
  EXPECT_NEAR(mean, 127.5, 1e-9);
  EXPECT_NEAR(contrast, 127.5, 1e-6);
  // Green weighs most in luma.
  MeasureFrame(Solid(4, 0, 255, 0), &mean, &contrast);
  EXPECT_NEAR(mean, 0.7152 * 255, 1e-9);
  MeasureFrame({}, &mean, &contrast);
  EXPECT_EQ(mean, 0.0);
}

TEST(ContactSheet, FlagsBlackAndFlatButKnowsTheIntendedFades) {
  PartFrameStats black{3, 10.0, 1.0, 0.5};
  JudgeFrame(&black);
  EXPECT_TRUE(black.black);
  EXPECT_FALSE(black.fadeIntended);
  PartFrameStats flat{4, 12.0, 90.0, 1.0};
  JudgeFrame(&flat);
  EXPECT_TRUE(flat.flat);
  EXPECT_FALSE(flat.black);
  PartFrameStats fine{5, 14.0, 90.0, 40.0};
  JudgeFrame(&fine);
  EXPECT_FALSE(fine.black || fine.flat);
  for (int part : {57, 58, 92}) {
    PartFrameStats fade{part, 200.0, 0.0, 0.0};
    JudgeFrame(&fade);
    EXPECT_TRUE(fade.black && fade.fadeIntended) << part;
  }
}

TEST(ContactSheet, NumbersAreDrawnInsideTheImageOnly) {
  const int w = 20, h = 12;
  std::vector<uint8_t> img(w * h * 4, 128);
  // Drawn partly off the right and bottom edges: nothing is written out of bounds.
  DrawNumber(&img, w, h, 12, 6, 90, 2);
  ASSERT_EQ(img.size(), static_cast<size_t>(w * h * 4));
  // The backing box is black and the first dot of the 9 is white.
  EXPECT_EQ(img[(6 * w + 12) * 4], 0);
  EXPECT_EQ(img[((6 + 2) * w + 12 + 2) * 4], 255);
  // Untouched pixels keep their value.
  EXPECT_EQ(img[0], 128);
}

}  // namespace

TEST(ContactSheet, ShotsSpreadEvenlyInsideTheirPart) {
  std::vector<double> one = ShotTimes(10.0, 12.0, 1);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_DOUBLE_EQ(one[0], 11.0);
  std::vector<double> three = ShotTimes(10.0, 13.0, 3);
  ASSERT_EQ(three.size(), 3u);
  EXPECT_DOUBLE_EQ(three[0], 10.5);
  EXPECT_DOUBLE_EQ(three[1], 11.5);
  EXPECT_DOUBLE_EQ(three[2], 12.5);
  // A part of no length still gets its shots, all at its one moment.
  for (double t : ShotTimes(5.0, 5.0, 3)) EXPECT_DOUBLE_EQ(t, 5.0);
}

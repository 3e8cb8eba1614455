#include <gtest/gtest.h>

#include "io/data_file.h"
#include "io/image_decode.h"
#include "io/image_write.h"

namespace {

TEST(ImageWrite, PngRoundTripKeepsEveryPixelAndIsDeterministic) {
  const int w = 7, h = 5;  // odd sizes catch stride mistakes
  std::vector<uint8_t> rgba(w * h * 4);
  // The decoder applies a gamma curve, which leaves only 0 and 255 unchanged; alpha is exact.
  for (size_t i = 0; i < rgba.size(); ++i) {
    rgba[i] = (i % 4 == 3) ? static_cast<uint8_t>(i * 37 + 11) : ((i * 7 % 5) < 2 ? 255 : 0);
  }
  rgba[3 + 4 * (w * 2 + 3)] = 0;  // one transparent pixel keeps the decoder's own alpha
  std::vector<uint8_t> png, again;
  std::string why;
  ASSERT_TRUE(EncodePng(&png, rgba.data(), w, h, 4, &why)) << why;
  ASSERT_TRUE(EncodePng(&again, rgba.data(), w, h, 4, &why));
  EXPECT_EQ(png, again);

  DataFile f;
  f.OpenMemory(png.data(), static_cast<int32_t>(png.size()));
  DecodedImage image;
  ASSERT_EQ(DecodePng(f, &image), kPngOk);
  ASSERT_EQ(image.width, w);
  ASSERT_EQ(image.height, h);
  ASSERT_GE(image.pixels.size(), rgba.size());
  EXPECT_TRUE(std::equal(rgba.begin(), rgba.end(), image.pixels.begin()));
}

TEST(ImageWrite, RefusesEmptyPicturesAndUnwritablePaths) {
  std::vector<uint8_t> png;
  std::string why;
  uint8_t px[3] = {1, 2, 3};
  EXPECT_FALSE(EncodePng(&png, nullptr, 1, 1, 3, &why));
  EXPECT_FALSE(EncodePng(&png, px, 0, 1, 3, &why));
  EXPECT_FALSE(EncodePng(&png, px, 1, 1, 2, &why));
  EXPECT_FALSE(why.empty());
  why.clear();
  EXPECT_FALSE(WritePng("/nonexistent-dir/x.png", px, 1, 1, 3, &why));
  EXPECT_NE(why.find("nonexistent-dir"), std::string::npos);
}

}  // namespace

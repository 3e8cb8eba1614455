#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

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
  // Both settings: the default and the quick one the renderer uses.
  for (bool quick : {false, true}) {
    std::vector<uint8_t> png, again;
    std::string why;
    auto encode = [&](std::vector<uint8_t>* out) {
      return quick ? EncodePngQuick(out, rgba.data(), w, h, 4, &why) : EncodePng(out, rgba.data(), w, h, 4, &why);
    };
    ASSERT_TRUE(encode(&png)) << why;
    ASSERT_TRUE(encode(&again));
    EXPECT_EQ(png, again);

    DataFile f;
    f.OpenMemory(png.data(), static_cast<int32_t>(png.size()));
    DecodedImage image;
    ASSERT_EQ(DecodePng(f, &image), kPngOk) << "quick " << quick;
    ASSERT_EQ(image.width, w);
    ASSERT_EQ(image.height, h);
    ASSERT_GE(image.pixels.size(), rgba.size());
    EXPECT_TRUE(std::equal(rgba.begin(), rgba.end(), image.pixels.begin())) << "quick " << quick;
  }
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

// Columns alternating between red and blue, one pixel wide.
std::vector<uint8_t> StripedRgb(int w, int h) {
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = x % 2 ? 0 : 255;
      p[2] = x % 2 ? 255 : 0;
    }
  return rgb;
}

DecodedImage DecodeJpegVector(const std::vector<uint8_t>& bytes) {
  DataFile f;
  f.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  DecodedImage image;
  EXPECT_EQ(DecodeJpeg(f, &image), kJpegOk);
  return image;
}

// Largest difference in red between the picture and its decoding (packed RGB rows).
int WorstRed(const std::vector<uint8_t>& rgb, const DecodedImage& image) {
  int worst = 0;
  for (size_t i = 0; i < rgb.size() && i < image.pixels.size(); i += 3) {
    worst = std::max(worst, std::abs(rgb[i] - image.pixels[i]));
  }
  return worst;
}

TEST(ImageWrite, JpegKeepsFullColourOnlyWhenAskedAndOptimisingChangesNoPixel) {
  const int w = 16, h = 8;
  const std::vector<uint8_t> rgb = StripedRgb(w, h);
  std::string why;
  JpegOptions full;
  full.quality = 100;
  full.fullChroma = true;
  std::vector<uint8_t> sharp, sharpAgain, blurred, optimised;
  ASSERT_TRUE(EncodeJpeg(&sharp, rgb.data(), w, h, 3, full, &why)) << why;
  ASSERT_TRUE(EncodeJpeg(&sharpAgain, rgb.data(), w, h, 3, full, &why));
  EXPECT_EQ(sharp, sharpAgain);
  DecodedImage sharpImage = DecodeJpegVector(sharp);
  ASSERT_EQ(sharpImage.width, w);
  ASSERT_EQ(sharpImage.height, h);
  EXPECT_LE(WorstRed(rgb, sharpImage), 8);

  // libjpeg's default halves the colour resolution: one-pixel stripes run together.
  JpegOptions subsampled = full;
  subsampled.fullChroma = false;
  ASSERT_TRUE(EncodeJpeg(&blurred, rgb.data(), w, h, 3, subsampled, &why));
  EXPECT_GE(WorstRed(rgb, DecodeJpegVector(blurred)), 60);

  // Optimised Huffman tables code the same coefficients in fewer bytes.
  JpegOptions smaller = full;
  smaller.optimize = true;
  ASSERT_TRUE(EncodeJpeg(&optimised, rgb.data(), w, h, 3, smaller, &why));
  EXPECT_LT(optimised.size(), sharp.size());
  EXPECT_EQ(DecodeJpegVector(optimised).pixels, sharpImage.pixels);
}

TEST(ImageWrite, JpegGrayRoundTripAndRefusals) {
  const int w = 9, h = 3;  // not a multiple of the 8-pixel block
  std::vector<uint8_t> gray(w * h);
  for (size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<uint8_t>(i * 9);
  JpegOptions options;
  options.quality = 100;
  std::vector<uint8_t> jpg;
  std::string why;
  ASSERT_TRUE(EncodeJpeg(&jpg, gray.data(), w, h, 1, options, &why)) << why;
  DecodedImage image = DecodeJpegVector(jpg);
  ASSERT_EQ(image.width, w);
  ASSERT_EQ(image.height, h);
  for (size_t i = 0; i < gray.size(); ++i) {
    ASSERT_NEAR(image.pixels[i * 3], gray[i], 3) << i;  // gray comes back as equal R, G and B
    ASSERT_EQ(image.pixels[i * 3], image.pixels[i * 3 + 2]) << i;
  }

  for (int components : {0, 2, 4}) EXPECT_FALSE(EncodeJpeg(&jpg, gray.data(), w, h, components, options, &why));
  EXPECT_TRUE(jpg.empty());
  EXPECT_FALSE(EncodeJpeg(&jpg, nullptr, w, h, 1, options, &why));
  EXPECT_FALSE(EncodeJpeg(&jpg, gray.data(), 0, h, 1, options, &why));
  EXPECT_FALSE(EncodeJpeg(&jpg, gray.data(), 70000, 1, 1, options, &why));
  for (int quality : {0, 101}) {
    options.quality = quality;
    EXPECT_FALSE(EncodeJpeg(&jpg, gray.data(), w, h, 1, options, &why)) << quality;
  }
  EXPECT_FALSE(why.empty());
}

}  // namespace

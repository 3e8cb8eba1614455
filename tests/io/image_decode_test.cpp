#include "io/image_decode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <zlib.h>

#include "io/data_file.h"
#include "tests/io/image_writer.h"

namespace {

using testimg::EncodeJpeg;
using testimg::EncodePng;

int DecodeJpegBytes(const std::vector<uint8_t>& bytes, DecodedImage* image) {
  DataFile file;
  file.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  return DecodeJpeg(file, image);
}

int DecodePngBytes(const std::vector<uint8_t>& bytes, DecodedImage* image) {
  DataFile file;
  file.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  return DecodePng(file, image);
}

const uint8_t* Px(const DecodedImage& image, int x, int y, int bytesPerPixel) {
  return &image.pixels[(static_cast<size_t>(y) * image.width + x) * bytesPerPixel];
}

// 8 x 8 blocks make JPEG exact enough to compare colours within a few levels.
std::vector<uint8_t> TwoBandRgb(int w, int h) {
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      bool top = y < h / 2;
      p[0] = top ? 250 : 10;
      p[1] = top ? 20 : 200;
      p[2] = top ? 30 : 40;
    }
  return rgb;
}

TEST(LoadJpeg, SmallPictureIsPackedRgbTopRowFirst) {
  std::vector<uint8_t> rgb = {255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  DecodedImage image;
  ASSERT_EQ(DecodeJpegBytes(EncodeJpeg(3, 2, rgb), &image), kJpegOk);
  EXPECT_EQ(image.width, 3);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.pixels.size(), 24u);  // width x height x 4, the first 18 written
  for (int x = 0; x < 3; ++x) {
    EXPECT_GT(Px(image, x, 0, 3)[0], 200) << x;
    EXPECT_LT(Px(image, x, 1, 3)[0], 60) << x;
  }
}

TEST(LoadJpeg, ColoursAndRowOrderOfALargerPicture) {
  DecodedImage image;
  ASSERT_EQ(DecodeJpegBytes(EncodeJpeg(16, 16, TwoBandRgb(16, 16)), &image), kJpegOk);
  const uint8_t* top = Px(image, 5, 2, 3);
  const uint8_t* bottom = Px(image, 5, 13, 3);
  EXPECT_NEAR(top[0], 250, 4);
  EXPECT_NEAR(top[1], 20, 4);
  EXPECT_NEAR(bottom[1], 200, 4);
}

TEST(LoadJpeg, GrayFileIsWidenedToRgb) {
  std::vector<uint8_t> gray(8 * 8, 100);
  DecodedImage image;
  ASSERT_EQ(DecodeJpegBytes(EncodeJpeg(8, 8, gray, 1), &image), kJpegOk);
  EXPECT_EQ(image.width, 8);
  EXPECT_EQ(image.height, 8);
  const uint8_t* p = Px(image, 7, 7, 3);
  EXPECT_NEAR(p[0], 100, 2);
  EXPECT_EQ(p[0], p[1]);
  EXPECT_EQ(p[1], p[2]);
}

TEST(LoadJpeg, MissingEmptyCorruptAndTruncatedFiles) {
  DecodedImage image;
  {
    DataSourceScope scope(DataSource{nullptr, testimg::FreshDir("jpeg-missing")});
    EXPECT_EQ(LoadJpeg("data\\nothing.jpg", &image), kJpegNoFile);
  }
  EXPECT_EQ(DecodeJpegBytes({}, &image), kJpegNoHeader);
  EXPECT_EQ(DecodeJpegBytes({'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'}, &image), kJpegNoHeader);
  EXPECT_TRUE(image.pixels.empty());

  // Busy enough that the scan data, not the tables, make up most of the file.
  std::vector<uint8_t> busy = TwoBandRgb(128, 128);
  for (size_t i = 0; i < busy.size(); i += 3) busy[i + 2] = static_cast<uint8_t>((i * 2654435761u) >> 24);
  std::vector<uint8_t> good = EncodeJpeg(128, 128, busy);
  // Scan data overwritten with garbage: the program goes on and the result is either a
  // picture or a failure with nothing handed back.
  std::vector<uint8_t> corrupt = good;
  for (size_t i = corrupt.size() / 2; i < corrupt.size() - 2; ++i) corrupt[i] = static_cast<uint8_t>(i * 37);
  int result = DecodeJpegBytes(corrupt, &image);
  EXPECT_TRUE(result == kJpegOk || (result == kJpegBadData && image.pixels.empty())) << result;

  // A header marker cut short is a header failure, not an abort.
  std::vector<uint8_t> badHeader(good.begin(), good.begin() + 30);
  badHeader[4] = 0xFF;
  badHeader[5] = 0xFF;
  EXPECT_NE(DecodeJpegBytes(badHeader, &image), kJpegOk);

  // A file cut off inside the image data ends as if complete, with the top rows decoded.
  std::vector<uint8_t> truncated(good.begin(), good.begin() + static_cast<long>(good.size() * 2 / 3));
  ASSERT_EQ(DecodeJpegBytes(truncated, &image), kJpegOk);
  EXPECT_EQ(image.width, 128);
  EXPECT_NEAR(Px(image, 3, 1, 3)[0], 250, 6);
}

// Sets the width in a JPEG's frame header (SOF0) to `width`.
std::vector<uint8_t> WithJpegWidth(std::vector<uint8_t> bytes, int width) {
  for (size_t i = 0; i + 9 < bytes.size(); ++i) {
    if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
      bytes[i + 7] = static_cast<uint8_t>(width >> 8);
      bytes[i + 8] = static_cast<uint8_t>(width & 0xFF);
      break;
    }
  }
  return bytes;
}

TEST(LoadJpeg, ReasonsNameTheProblem) {
  DecodedImage image;
  std::string why = "stale";
  std::string dir = testimg::FreshDir("jpeg-why");
  ASSERT_TRUE(testimg::WriteFile(dir + "/data/empty.jpg", {}));
  DataSourceScope scope(DataSource{nullptr, dir});
  EXPECT_EQ(LoadJpeg("data\\nothing.jpg", &image, &why), kJpegNoFile);
  EXPECT_EQ(why, "not found");
  EXPECT_EQ(LoadJpeg("data\\empty.jpg", &image, &why), kJpegNoFile);
  EXPECT_EQ(why, "empty (0 bytes)");

  // Busy enough that the scan data, not the tables, make up most of the file.
  std::vector<uint8_t> busy = TwoBandRgb(64, 64);
  for (size_t i = 0; i < busy.size(); i += 3) busy[i + 2] = static_cast<uint8_t>((i * 2654435761u) >> 24);
  std::vector<uint8_t> good = EncodeJpeg(64, 64, busy);
  DataFile file;
  file.OpenMemory(good.data(), static_cast<int32_t>(good.size()));
  EXPECT_EQ(DecodeJpeg(file, &image, &why), kJpegOk);
  EXPECT_EQ(why, "");

  // Too large: the reason is the size, not a decoding failure.
  std::vector<uint8_t> wide = WithJpegWidth(good, 20000);
  file.OpenMemory(wide.data(), static_cast<int32_t>(wide.size()));
  EXPECT_EQ(DecodeJpeg(file, &image, &why), kJpegBadData);
  EXPECT_EQ(why.rfind("picture is 20000x64 pixels, more than", 0), 0u) << why;

  // Cut off in the scan: a picture comes back, and the reason says it is only part of one.
  std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(good.size() * 2 / 3));
  file.OpenMemory(cut.data(), static_cast<int32_t>(cut.size()));
  EXPECT_EQ(DecodeJpeg(file, &image, &why), kJpegOk);
  EXPECT_EQ(why.rfind("only partly decoded", 0), 0u) << why;

  std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'};
  file.OpenMemory(text.data(), static_cast<int32_t>(text.size()));
  EXPECT_EQ(DecodeJpeg(file, &image, &why), kJpegNoHeader);
  EXPECT_EQ(why.rfind("JPEG header unreadable", 0), 0u) << why;
}

TEST(LoadJpeg, ReadsThroughTheDataDirectory) {
  std::string dir = testimg::FreshDir("jpeg-disk");
  ASSERT_TRUE(testimg::WriteFile(dir + "/data/rock.jpg", EncodeJpeg(8, 8, TwoBandRgb(8, 8))));
  DataSourceScope scope(DataSource{nullptr, dir});
  DecodedImage image;
  ASSERT_EQ(LoadJpeg("data\\rock.jpg", &image), kJpegOk);
  EXPECT_EQ(image.width, 8);
}

TEST(LoadPng, PaletteWithoutTransparencyGetsBrightnessAlpha) {
  testimg::PngOptions options;
  options.palette = {{255, 0, 0}, {255, 255, 255}, {0, 0, 0}};
  std::vector<uint8_t> indices = {0, 1, 2, 0, 1, 2, 0, 1, 2};
  DecodedImage image;
  ASSERT_EQ(DecodePngBytes(EncodePng(3, 3, PNG_COLOR_TYPE_PALETTE, 8, indices, options), &image), kPngOk);
  ASSERT_EQ(image.pixels.size(), 36u);
  const uint8_t* red = Px(image, 0, 1, 4);
  EXPECT_EQ(red[0], 255);
  EXPECT_EQ(red[1], 0);
  EXPECT_EQ(red[3], 85);
  EXPECT_EQ(Px(image, 1, 1, 4)[3], 255);
  EXPECT_EQ(Px(image, 2, 2, 4)[3], 0);
}

TEST(LoadPng, TransparencyOnlyInFirstRowOrColumnCountsAsOpaque) {
  auto rgba = [](int seeThroughX, int seeThroughY) {
    std::vector<uint8_t> px(4 * 4 * 4, 255);
    for (size_t i = 0; i < px.size(); i += 4) px[i] = 0, px[i + 1] = 0, px[i + 2] = 255;  // average 85 (gamma keeps 0 and 255)
    px[(static_cast<size_t>(seeThroughY) * 4 + seeThroughX) * 4 + 3] = 7;
    return EncodePng(4, 4, PNG_COLOR_TYPE_RGBA, 8, px);
  };
  DecodedImage image;
  ASSERT_EQ(DecodePngBytes(rgba(0, 2), &image), kPngOk);  // column 0: ignored
  EXPECT_EQ(Px(image, 0, 2, 4)[3], 85);
  EXPECT_EQ(Px(image, 3, 3, 4)[3], 85);
  ASSERT_EQ(DecodePngBytes(rgba(2, 0), &image), kPngOk);  // row 0: ignored
  EXPECT_EQ(Px(image, 2, 0, 4)[3], 85);
  ASSERT_EQ(DecodePngBytes(rgba(1, 1), &image), kPngOk);  // real transparency: alpha kept
  EXPECT_EQ(Px(image, 1, 1, 4)[3], 7);
  EXPECT_EQ(Px(image, 3, 3, 4)[3], 255);
}

TEST(LoadPng, ColourSamplesGetTheFixedGammaCurve) {
  std::vector<uint8_t> rgb(2 * 2 * 3, 128);
  rgb[0] = 255;
  rgb[1] = 0;
  DecodedImage image;
  ASSERT_EQ(DecodePngBytes(EncodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, rgb), &image), kPngOk);
  // 255 x (128 / 255) ^ (1 / 1.1) whatever the file declares; 0 and 255 stay.
  double expected = 255.0 * std::pow(128.0 / 255.0, 1.0 / (2.2000000476837158 * 0.5));
  EXPECT_NEAR(Px(image, 1, 1, 4)[0], expected, 1.0);
  EXPECT_EQ(Px(image, 0, 0, 4)[0], 255);
  EXPECT_EQ(Px(image, 0, 0, 4)[1], 0);
}

TEST(LoadPng, GrayGrayAlphaSixteenBitAndLowDepthFilesAllComeOutRgba) {
  DecodedImage image;
  // Gray: widened to RGB, brightness alpha.
  ASSERT_EQ(DecodePngBytes(EncodePng(2, 2, PNG_COLOR_TYPE_GRAY, 8, {0, 255, 255, 255}), &image), kPngOk);
  EXPECT_EQ(image.pixels.size(), 16u);
  EXPECT_EQ(Px(image, 1, 1, 4)[0], 255);
  EXPECT_EQ(Px(image, 1, 1, 4)[2], 255);
  EXPECT_EQ(Px(image, 0, 0, 4)[3], 0);

  // Gray + alpha with real transparency at (1, 1): alpha kept, gray spread over R, G, B.
  ASSERT_EQ(DecodePngBytes(EncodePng(2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {255, 255, 255, 255, 255, 255, 255, 40}),
                           &image),
            kPngOk);
  EXPECT_EQ(Px(image, 1, 1, 4)[1], 255);
  EXPECT_EQ(Px(image, 1, 1, 4)[3], 40);

  // 16-bit RGB: stripped to the high byte.
  std::vector<uint8_t> wide(2 * 2 * 6, 0xFF);
  ASSERT_EQ(DecodePngBytes(EncodePng(2, 2, PNG_COLOR_TYPE_RGB, 16, wide), &image), kPngOk);
  EXPECT_EQ(Px(image, 1, 0, 4)[0], 255);

  // 2-bit palette, pixels 0, 1, 2, 3 in one byte: order must survive unpacking.
  testimg::PngOptions options;
  options.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  ASSERT_EQ(DecodePngBytes(EncodePng(4, 1, PNG_COLOR_TYPE_PALETTE, 2, {0x1B}, options), &image), kPngOk);
  EXPECT_EQ(Px(image, 0, 0, 4)[0], 0);
  EXPECT_EQ(Px(image, 1, 0, 4)[0], 255);
  EXPECT_EQ(Px(image, 2, 0, 4)[1], 255);
  EXPECT_EQ(Px(image, 3, 0, 4)[2], 255);

  // 1-bit gray.
  ASSERT_EQ(DecodePngBytes(EncodePng(8, 1, PNG_COLOR_TYPE_GRAY, 1, {0x80}), &image), kPngOk);
  EXPECT_EQ(Px(image, 0, 0, 4)[0], 255);
  EXPECT_EQ(Px(image, 1, 0, 4)[0], 0);
}

TEST(LoadPng, InterlacedFileDecodesLikeTheStraightOne) {
  const int w = 13, h = 11;
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 7 + i / 13);
  testimg::PngOptions interlaced;
  interlaced.interlace = true;
  DecodedImage plain, adam7;
  ASSERT_EQ(DecodePngBytes(EncodePng(w, h, PNG_COLOR_TYPE_RGBA, 8, rgba), &plain), kPngOk);
  ASSERT_EQ(DecodePngBytes(EncodePng(w, h, PNG_COLOR_TYPE_RGBA, 8, rgba, interlaced), &adam7), kPngOk);
  EXPECT_EQ(plain.pixels, adam7.pixels);
}

TEST(LoadPng, BadFilesFailWithNothingHandedBack) {
  DecodedImage image;
  {
    DataSourceScope scope(DataSource{nullptr, testimg::FreshDir("png-missing")});
    EXPECT_EQ(LoadPng("data\\nothing.png", &image), kPngFailed);
  }
  EXPECT_EQ(DecodePngBytes({}, &image), kPngFailed);
  std::vector<uint8_t> good = EncodePng(8, 8, PNG_COLOR_TYPE_RGB, 8, std::vector<uint8_t>(8 * 8 * 3, 9));
  std::vector<uint8_t> truncated(good.begin(), good.end() - 30);
  EXPECT_EQ(DecodePngBytes(truncated, &image), kPngFailed);
  EXPECT_TRUE(image.pixels.empty());
  EXPECT_EQ(image.width, 0);

  // A header claiming an enormous picture is refused before anything is allocated.
  std::vector<uint8_t> huge = good;
  huge[16] = 0x00, huge[17] = 0x01, huge[18] = 0x00, huge[19] = 0x00;  // width 65536
  EXPECT_EQ(DecodePngBytes(huge, &image), kPngFailed);
}

TEST(LoadPng, TooLargeSaysItsSize) {
  std::vector<uint8_t> rgb(8 * 8 * 3, 90);
  std::vector<uint8_t> bytes = EncodePng(8, 8, PNG_COLOR_TYPE_RGB, 8, rgb);
  ASSERT_GT(bytes.size(), 33u);
  // IHDR's width (bytes 16 to 19) set to 20000, its CRC (29 to 32) made to match.
  bytes[16] = 0;
  bytes[17] = 0;
  bytes[18] = 20000 >> 8;
  bytes[19] = 20000 & 0xFF;
  const uLong crc = crc32(0, bytes.data() + 12, 17);
  for (int i = 0; i < 4; ++i) bytes[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  DecodedImage image;
  std::string why;
  DataFile file;
  file.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(DecodePng(file, &image, &why), kPngFailed);
  EXPECT_EQ(why.rfind("picture is 20000x8 pixels, more than", 0), 0u) << why;

  std::vector<uint8_t> broken = {0x89, 'P', 'N', 'G', 1, 2, 3};
  file.OpenMemory(broken.data(), static_cast<int32_t>(broken.size()));
  EXPECT_EQ(DecodePng(file, &image, &why), kPngFailed);
  EXPECT_EQ(why.rfind("PNG not decodable: ", 0), 0u) << why;
}

TEST(LoadPng, ReadsThroughTheDataDirectory) {
  std::string dir = testimg::FreshDir("png-disk");
  ASSERT_TRUE(testimg::WriteFile(dir + "/data/leaf.png",
                                 EncodePng(3, 2, PNG_COLOR_TYPE_RGB, 8, std::vector<uint8_t>(18, 255))));
  DataSourceScope scope(DataSource{nullptr, dir});
  DecodedImage image;
  ASSERT_EQ(LoadPng("data\\leaf.png", &image), kPngOk);
  EXPECT_EQ(image.width, 3);
  EXPECT_EQ(image.height, 2);
}

}  // namespace

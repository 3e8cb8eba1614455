// PNG files assembled chunk by chunk with valid CRCs: a header claiming more pixels than the
// decoder takes reaches the decoder's own size check (not libpng's CRC or limit checks), and a
// file's own gAMA chunk changes nothing about the fixed gamma curve.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "io/data_file.h"
#include "io/image_decode.h"
#include "platform/log.h"
#include "tests/io/image_writer.h"

namespace {

std::vector<std::string> gLines;
void Capture(const char* line) { gLines.push_back(line); }

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(v >> shift));
}

// One chunk: length, type, data, CRC over type and data.
void Chunk(std::vector<uint8_t>* out, const char* type, const std::vector<uint8_t>& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  const size_t typeAt = out->size();
  out->insert(out->end(), type, type + 4);
  out->insert(out->end(), data.begin(), data.end());
  const uLong crc = crc32(0L, out->data() + typeAt, static_cast<uInt>(4 + data.size()));
  Put32(out, static_cast<uint32_t>(crc));
}

std::vector<uint8_t> Ihdr(uint32_t width, uint32_t height) {
  std::vector<uint8_t> d;
  Put32(&d, width);
  Put32(&d, height);
  d.insert(d.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
  return d;
}

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

int Decode(const std::vector<uint8_t>& bytes, DecodedImage* image) {
  DataFile file;
  file.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  return DecodePng(file, image);
}

// A PNG made by libpng with a gAMA chunk of the given value (times 100000) put in after IHDR.
std::vector<uint8_t> WithGamma(const std::vector<uint8_t>& png, uint32_t gamma) {
  // Signature (8) + IHDR chunk (4 + 4 + 13 + 4).
  const size_t afterHeader = 8 + 25;
  std::vector<uint8_t> out(png.begin(), png.begin() + afterHeader);
  std::vector<uint8_t> value;
  Put32(&value, gamma);
  Chunk(&out, "gAMA", value);
  out.insert(out.end(), png.begin() + afterHeader, png.end());
  return out;
}

}  // namespace

TEST(PngChunks, OversizedPictureIsRefusedByTheSizeCheckItself) {
  // 8193 x 4097: each side within libpng's limits, the whole above the decoder's pixel limit.
  ASSERT_LE(8193, kMaxImageSide);
  ASSERT_GT(int64_t{8193} * 4097, kMaxImagePixels);
  std::vector<uint8_t> png(kSignature, kSignature + 8);
  Chunk(&png, "IHDR", Ihdr(8193, 4097));
  Chunk(&png, "IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
  Chunk(&png, "IEND", {});

  gLines.clear();
  SetLogSink(&Capture);
  DecodedImage image;
  const int result = Decode(png, &image);
  SetLogSink(nullptr);
  EXPECT_EQ(result, kPngFailed);
  EXPECT_TRUE(image.pixels.empty());
  bool refused = false;
  for (const std::string& line : gLines) refused = refused || line.find("8193x4097 is too large") != std::string::npos;
  EXPECT_TRUE(refused) << "the header's CRC is valid, so the size check must be what refuses it";
  for (const std::string& line : gLines) EXPECT_EQ(line.find("CRC"), std::string::npos) << line;
}

TEST(PngChunks, AFilesOwnGammaChunkIsIgnored) {
  std::vector<uint8_t> rgb(2 * 2 * 3, 128);
  rgb[0] = 255;
  rgb[1] = 0;
  const std::vector<uint8_t> plain = testimg::EncodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, rgb);
  DecodedImage reference;
  ASSERT_EQ(Decode(plain, &reference), kPngOk);
  const double expected = 255.0 * std::pow(128.0 / 255.0, 1.0 / (2.2000000476837158 * 0.5));
  EXPECT_NEAR(reference.pixels[(1 * 2 + 1) * 4], expected, 1.0);
  for (uint32_t gamma : {45455u, 100000u, 220000u}) {
    DecodedImage image;
    ASSERT_EQ(Decode(WithGamma(plain, gamma), &image), kPngOk) << gamma;
    EXPECT_EQ(image.pixels, reference.pixels) << "gAMA " << gamma;
  }
}

// End to end: the show the player carries, rendered headless at a low resolution over a short
// range, against small stored reference frames (within a PSNR tolerance), and its soundtrack
// against mp3dec's decoding of the same samples. tests/e2e/make_references.sh renews the frames
// after an intended change to the show.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "io/data_file.h"
#include "io/image_decode.h"

namespace {

namespace fs = std::filesystem;

const std::string kBin = QUILLON_BINARY_DIR;
const std::string kRefs = std::string(QUILLON_SOURCE_DIR) + "/tests/e2e/reference";
// The range and size the reference frames were made with (make_references.sh uses the same).
const char* kRenderArgs = "--from 20 --to 20.5 --fps 8 --size 96x72";
constexpr int kFrames = 4;

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool Decode(const fs::path& p, DecodedImage* image) {
  std::vector<uint8_t> bytes = ReadAll(p);
  if (bytes.empty()) return false;
  DataFile f;
  f.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  return DecodePng(f, image) == kPngOk;
}

double Psnr(const DecodedImage& a, const DecodedImage& b) {
  double sum = 0.0;
  size_t n = 0;
  for (size_t i = 0; i + 3 < a.pixels.size() && i + 3 < b.pixels.size(); i += 4) {
    for (int c = 0; c < 3; ++c) {
      double d = static_cast<double>(a.pixels[i + c]) - b.pixels[i + c];
      sum += d * d;
      ++n;
    }
  }
  if (n == 0) return 0.0;
  double mse = sum / static_cast<double>(n);
  return mse == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// PCM samples of a 16-bit WAV written by our tools (44-byte header).
std::vector<int16_t> WavSamples(const fs::path& p) {
  std::vector<uint8_t> bytes = ReadAll(p);
  std::vector<int16_t> samples;
  if (bytes.size() < 44) return samples;
  samples.resize((bytes.size() - 44) / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(bytes[44 + 2 * i] | (bytes[45 + 2 * i] << 8));
  }
  return samples;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kBin + "/content/show.ace") || !fs::exists(kBin + "/content/soundtrack.mp3")) {
      GTEST_SKIP() << "this build carries no show (content or soundtrack not built)";
    }
    dir_ = fs::temp_directory_path() / ("quillon_e2e_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  int Run(const std::string& command) {
    return std::system((command + " > " + (dir_ / "log.txt").string() + " 2>&1").c_str());
  }
  fs::path dir_;
};

TEST_F(EndToEnd, ShortRangeMatchesTheReferenceFramesAndIsRepeatable) {
  ASSERT_EQ(Run(kBin + "/quillon --render " + (dir_ / "a").string() + " " + kRenderArgs), 0);
  ASSERT_EQ(Run(kBin + "/quillon --render " + (dir_ / "b").string() + " " + kRenderArgs), 0);
  for (int i = 1; i <= kFrames; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%06d.png", i);
    ASSERT_TRUE(fs::exists(dir_ / "a" / name)) << name;
    EXPECT_EQ(ReadAll(dir_ / "a" / name), ReadAll(dir_ / "b" / name)) << name << " differs between two runs";
    DecodedImage got, want;
    ASSERT_TRUE(Decode(dir_ / "a" / name, &got)) << name;
    ASSERT_TRUE(Decode(fs::path(kRefs) / name, &want)) << "reference " << name << " missing";
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    EXPECT_GE(Psnr(got, want), 30.0) << name;
  }
  char extra[32];
  std::snprintf(extra, sizeof extra, "frame_%06d.png", kFrames + 1);
  EXPECT_FALSE(fs::exists(dir_ / "a" / extra));
  EXPECT_EQ(ReadAll(dir_ / "a" / "soundtrack.wav"), ReadAll(dir_ / "b" / "soundtrack.wav"));
}

TEST_F(EndToEnd, RenderedSoundtrackIsTheDecodersOutputForThatRange) {
  ASSERT_EQ(Run(kBin + "/quillon --render " + (dir_ / "a").string() + " " + kRenderArgs), 0);
  ASSERT_EQ(Run(kBin + "/mp3dec " + kBin + "/content/soundtrack.mp3 " + (dir_ / "full.wav").string()), 0);
  std::vector<int16_t> range = WavSamples(dir_ / "a" / "soundtrack.wav");
  std::vector<int16_t> full = WavSamples(dir_ / "full.wav");
  const size_t first = 20 * 44100 * 2, count = 22050 * 2;
  ASSERT_EQ(range.size(), count);
  ASSERT_GE(full.size(), first + count);
  size_t mismatches = 0;
  for (size_t i = 0; i < count; ++i) mismatches += range[i] != full[first + i];
  EXPECT_EQ(mismatches, 0u);
  // Not silence: the range lies in the middle of the music.
  int peak = 0;
  for (int16_t s : range) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_GT(peak, 1000);
}

}  // namespace

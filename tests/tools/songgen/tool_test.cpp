// The songgen command line, its WAV files and the encoded soundtrack.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/songgen/wav.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::path TempDir() {
  fs::path d = fs::temp_directory_path() / ("songgen_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::create_directories(d);
  return d;
}

int Shell(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()); }

TEST(SongWav, RoundTripsAndRejectsDamage) {
  std::vector<int16_t> s = {0, 1, -1, 32767, -32768, 1234};
  std::vector<uint8_t> bytes = EncodeWav(44100, 2, s);
  ASSERT_EQ(bytes.size(), 44u + 12u);
  WavData w;
  std::string error;
  ASSERT_TRUE(DecodeWav(bytes, w, &error)) << error;
  EXPECT_EQ(w.sampleRate, 44100);
  EXPECT_EQ(w.channels, 2);
  EXPECT_EQ(w.samples, s);
  // Byte rate and block align.
  EXPECT_EQ(bytes[28] | bytes[29] << 8 | bytes[30] << 16, 44100 * 4);
  EXPECT_EQ(bytes[32], 4);
  for (size_t cut = 0; cut < bytes.size() - 2; ++cut) {
    std::vector<uint8_t> t(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_FALSE(DecodeWav(t, w, &error)) << cut;
  }
  std::vector<uint8_t> big = bytes;
  big[40] = 0xff;  // data size far past the end
  big[43] = 0x7f;
  EXPECT_FALSE(DecodeWav(big, w, &error));
}

TEST(SongTool, WritesAnExcerptAndFailsClearly) {
  const fs::path tool = fs::path(QUILLON_BINARY_DIR) / "songgen";
  if (!fs::exists(tool)) GTEST_SKIP() << "songgen is not built";
  const fs::path dir = TempDir();
  const fs::path out = dir / "a.wav";
  ASSERT_EQ(Shell(tool.string() + " " + out.string() + " --seconds 1.5"), 0);
  WavData w;
  std::string error;
  ASSERT_TRUE(ReadWav(out.string(), w, &error)) << error;
  EXPECT_EQ(w.sampleRate, 44100);
  EXPECT_EQ(w.channels, 2);
  EXPECT_EQ(w.samples.size(), static_cast<size_t>(2 * 66150));
  EXPECT_FALSE(fs::exists(dir / "a.wav.part"));

  EXPECT_NE(Shell(tool.string()), 0);
  EXPECT_NE(Shell(tool.string() + " " + out.string() + " --seconds -3"), 0);
  EXPECT_NE(Shell(tool.string() + " " + out.string() + " --score " + (dir / "missing.score").string()), 0);
  {
    std::ofstream bad(dir / "bad.score");
    bad << "tempo 120\nend 8\nwhat is this\n";
  }
  const fs::path fail = dir / "b.wav";
  EXPECT_NE(Shell(tool.string() + " " + fail.string() + " --score " + (dir / "bad.score").string()), 0);
  EXPECT_FALSE(fs::exists(fail));
  fs::remove_all(dir);
}

// LAME with the soundtrack's options gives the same bytes every time: no tag carries a date,
// a version-dependent info frame or a replay-gain value.
TEST(SongTool, LameEncodingIsRepeatable) {
  const fs::path tool = fs::path(QUILLON_BINARY_DIR) / "songgen";
  if (!fs::exists(tool)) GTEST_SKIP() << "songgen is not built";
  if (Shell("lame --version") != 0) GTEST_SKIP() << "lame is not installed";
  const fs::path dir = TempDir();
  const std::string wav = (dir / "c.wav").string();
  ASSERT_EQ(Shell(tool.string() + " " + wav + " --seconds 3"), 0);
  const std::string opts =
      "lame --quiet --nohist -b 128 --cbr -m j -q 2 --resample 44.1 --noreplaygain -t --id3v1-only "
      "--tt Quillon --ta Quillon ";
  ASSERT_EQ(Shell(opts + wav + " " + (dir / "1.mp3").string()), 0);
  ASSERT_EQ(Shell(opts + wav + " " + (dir / "2.mp3").string()), 0);
  const std::vector<uint8_t> a = ReadBytes(dir / "1.mp3"), b = ReadBytes(dir / "2.mp3");
  ASSERT_GT(a.size(), 1000u);
  EXPECT_TRUE(a == b);
  fs::remove_all(dir);
}

// The soundtrack the build made (when LAME was there): MPEG-1 Layer III, 128 kbit/s, 44.1 kHz,
// joint stereo, no info frame in front, an ID3v1 tag behind, about 285 s long.
TEST(SongTool, BuiltSoundtrackHasTheAgreedFormat) {
  const fs::path mp3 = fs::path(QUILLON_BINARY_DIR) / "content" / "soundtrack.mp3";
  if (!fs::exists(mp3)) GTEST_SKIP() << "the soundtrack has not been built";
  const std::vector<uint8_t> b = ReadBytes(mp3);
  ASSERT_GT(b.size(), 4000u);
  EXPECT_EQ(b[0], 0xff);
  EXPECT_EQ(b[1], 0xfb);           // MPEG-1, Layer III, no CRC
  EXPECT_EQ(b[2] & 0xf0, 0x90);    // 128 kbit/s
  EXPECT_EQ(b[2] & 0x0c, 0x00);    // 44.1 kHz
  EXPECT_EQ(b[3] & 0xc0, 0x40);    // joint stereo
  const std::string head(b.begin(), b.begin() + 400);
  EXPECT_EQ(head.find("Xing"), std::string::npos);
  EXPECT_EQ(head.find("Info"), std::string::npos);
  EXPECT_EQ(std::string(b.end() - 128, b.end() - 125), "TAG");
  // 128 kbit/s for 285 s is 4,560,000 bytes; LAME adds about one frame of delay and padding.
  const double seconds = static_cast<double>(b.size() - 128) * 8 / 128000.0;
  EXPECT_NEAR(seconds, 285.0, 0.3);
}

}  // namespace

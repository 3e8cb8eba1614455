// The mp3dec tool: WAV, raw and float output against the decoder, and its errors.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audio_test_util.h"

namespace {

std::string Tool() { return std::string(QUILLON_BINARY_DIR) + "/mp3dec"; }

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(b[at + i]) << (8 * i);
  return v;
}

class Mp3decTool : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!audiotest::HaveProgram(Tool().c_str())) GTEST_SKIP() << "mp3dec not built";
    dir_ = audiotest::TempDir("mp3dec_tool");
  }
  std::string dir_;
};

TEST_F(Mp3decTool, WritesWavRawAndFloatOfTheStream) {
  if (!audiotest::HaveProgram("lame")) GTEST_SKIP() << "lame not installed";
  std::vector<int16_t> pcm(24000);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(7000 * std::sin(i * 0.05));
  ASSERT_TRUE(audiotest::WriteBytes(dir_ + "/in.wav", audiotest::MakeWav(pcm, 24000, 1)));
  ASSERT_TRUE(audiotest::Run("lame --quiet -t -b 32 -m m '" + dir_ + "/in.wav' '" + dir_ + "/a.mp3'"));
  std::vector<uint8_t> mp3;
  ASSERT_TRUE(audiotest::ReadBytes(dir_ + "/a.mp3", &mp3));
  audiotest::Decoded ref = audiotest::DecodeStream(mp3);

  ASSERT_TRUE(audiotest::Run("'" + Tool() + "' '" + dir_ + "/a.mp3' '" + dir_ + "/a.wav'"));
  std::vector<uint8_t> wav;
  ASSERT_TRUE(audiotest::ReadBytes(dir_ + "/a.wav", &wav));
  ASSERT_GE(wav.size(), 44u);
  EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
  EXPECT_EQ(Le(wav, 22, 2), 1u);      // channels: the stream's own
  EXPECT_EQ(Le(wav, 24, 4), static_cast<uint32_t>(ref.rate));  // rate: the stream's own
  EXPECT_EQ(Le(wav, 34, 2), 16u);
  EXPECT_EQ(Le(wav, 40, 4), ref.pcm.size() * 2);
  ASSERT_EQ(wav.size(), 44 + ref.pcm.size() * 2);
  EXPECT_EQ(std::memcmp(wav.data() + 44, ref.pcm.data(), ref.pcm.size() * 2), 0);

  ASSERT_TRUE(audiotest::Run("'" + Tool() + "' --raw '" + dir_ + "/a.mp3' '" + dir_ + "/a.raw'"));
  std::vector<uint8_t> raw;
  ASSERT_TRUE(audiotest::ReadBytes(dir_ + "/a.raw", &raw));
  ASSERT_EQ(raw.size(), ref.pcm.size() * 2);
  EXPECT_EQ(std::memcmp(raw.data(), ref.pcm.data(), raw.size()), 0);

  ASSERT_TRUE(audiotest::Run("'" + Tool() + "' --float '" + dir_ + "/a.mp3' '" + dir_ + "/a.f32'"));
  std::vector<uint8_t> f32;
  ASSERT_TRUE(audiotest::ReadBytes(dir_ + "/a.f32", &f32));
  ASSERT_EQ(f32.size(), ref.floats.size() * 4);
  EXPECT_EQ(std::memcmp(f32.data(), ref.floats.data(), f32.size()), 0);

  EXPECT_TRUE(audiotest::Run("'" + Tool() + "' --bench '" + dir_ + "/a.mp3' >/dev/null"));
}

TEST_F(Mp3decTool, FailsClearlyOnBadInput) {
  const std::string quiet = " 2>'" + dir_ + "/err.txt'";
  EXPECT_FALSE(audiotest::Run("'" + Tool() + "' '" + dir_ + "/missing.mp3' '" + dir_ + "/o.wav'" + quiet));
  std::vector<uint8_t> err;
  ASSERT_TRUE(audiotest::ReadBytes(dir_ + "/err.txt", &err));
  EXPECT_NE(std::string(err.begin(), err.end()).find("cannot read"), std::string::npos);

  ASSERT_TRUE(audiotest::WriteBytes(dir_ + "/text.mp3", std::vector<uint8_t>(5000, 'x')));
  EXPECT_FALSE(audiotest::Run("'" + Tool() + "' '" + dir_ + "/text.mp3' '" + dir_ + "/o.wav'" + quiet));
  ASSERT_TRUE(audiotest::ReadBytes(dir_ + "/err.txt", &err));
  EXPECT_NE(std::string(err.begin(), err.end()).find("no decodable MPEG audio"), std::string::npos);

  EXPECT_FALSE(audiotest::Run("'" + Tool() + "' --nonsense a b" + quiet));
  EXPECT_FALSE(audiotest::Run("'" + Tool() + "' onlyone.mp3" + quiet));
}

}  // namespace

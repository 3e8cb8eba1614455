// The mp3dec tool: WAV, raw and float output against the decoder, and its errors.
#include <gtest/gtest.h>

#include <algorithm>
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

// The output is written as it is decoded: into a pipe the WAV header keeps the largest length
// (it cannot be completed), the samples are the same; /dev/null takes every mode.
TEST_F(Mp3decTool, WritesIntoAPipeAndDevNull) {
  if (!audiotest::HaveProgram("lame")) GTEST_SKIP() << "lame not installed";
  std::vector<int16_t> pcm(2 * 44100 * 3);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(9000 * std::sin(i * 0.013));
  ASSERT_TRUE(audiotest::WriteBytes(dir_ + "/in.wav", audiotest::MakeWav(pcm, 44100, 2)));
  ASSERT_TRUE(audiotest::Run("lame --quiet -t -b 128 '" + dir_ + "/in.wav' '" + dir_ + "/a.mp3'"));
  const std::string tool = "'" + Tool() + "' ";
  ASSERT_TRUE(audiotest::Run(tool + "'" + dir_ + "/a.mp3' '" + dir_ + "/file.wav'"));
  ASSERT_TRUE(audiotest::Run(tool + "'" + dir_ + "/a.mp3' /dev/stdout | cat > '" + dir_ + "/piped.wav'"));
  std::vector<uint8_t> file, piped;
  ASSERT_TRUE(audiotest::ReadBytes(dir_ + "/file.wav", &file));
  ASSERT_TRUE(audiotest::ReadBytes(dir_ + "/piped.wav", &piped));
  ASSERT_EQ(piped.size(), file.size());
  EXPECT_EQ(Le(file, 40, 4), file.size() - 44);
  EXPECT_EQ(Le(piped, 40, 4), 0xFFFFFFFFu - 36 - 3);  // whole 4-byte sample frames
  EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), piped.begin() + 44));
  for (const char* mode : {"", "--raw ", "--float "})
    EXPECT_TRUE(audiotest::Run(tool + mode + "'" + dir_ + "/a.mp3' /dev/null")) << mode;
  EXPECT_FALSE(audiotest::Run(tool + "'" + dir_ + "/a.mp3' '" + dir_ + "/no/such/dir/o.wav' 2>/dev/null"));
}

// A stream that changes from one channel to two and back: the output stays one channel, and
// standard error says where the layout changed.
TEST_F(Mp3decTool, SaysWhereTheChannelLayoutChanges) {
  auto frame = [](uint32_t header) {
    std::vector<uint8_t> f(417, 0);
    for (int i = 0; i < 4; ++i) f[i] = static_cast<uint8_t>(header >> (24 - 8 * i));
    return f;
  };
  std::vector<uint8_t> stream;
  for (int i = 0; i < 9; ++i) {
    const std::vector<uint8_t> f = frame(i >= 3 && i < 6 ? 0xFFFB9064 : 0xFFFB90C4);
    stream.insert(stream.end(), f.begin(), f.end());
  }
  ASSERT_TRUE(audiotest::WriteBytes(dir_ + "/switch.mp3", stream));
  ASSERT_TRUE(audiotest::Run("'" + Tool() + "' '" + dir_ + "/switch.mp3' '" + dir_ + "/o.wav' 2>'" + dir_ +
                             "/err.txt'"));
  std::vector<uint8_t> err, wav;
  ASSERT_TRUE(audiotest::ReadBytes(dir_ + "/err.txt", &err));
  const std::string text(err.begin(), err.end());
  EXPECT_NE(text.find("byte 1251 has 2 channel(s); the output keeps 1"), std::string::npos) << text;
  EXPECT_NE(text.find("byte 2502 has 1 channel(s); the output keeps 1"), std::string::npos) << text;
  ASSERT_TRUE(audiotest::ReadBytes(dir_ + "/o.wav", &wav));
  EXPECT_EQ(Le(wav, 22, 2), 1u);
  EXPECT_EQ(wav.size(), 44u + 9 * 1152 * 2);
}

}  // namespace

// The soundtrack of a run started part-way (--start): what the sound device plays first is the
// stream's sample at that time.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/soundtrack.h"
#include "app/soundtrack_pcm.h"
#include "platform/audio_device.h"

namespace {

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return bytes;
}

// Our soundtrack (4:46 at 128 kbit/s): frames of 417 and 418 bytes, so a start time turned into
// a byte offset by the unpadded frame length lands 0.4 s early at 3:00.
TEST(Soundtrack, StartPlaysTheStreamFromThatTimeSampleForSample) {
  const std::vector<uint8_t> mp3 = ReadAll(std::string(QUILLON_BINARY_DIR) + "/content/soundtrack.mp3");
  if (mp3.empty()) GTEST_SKIP() << "the build made no soundtrack (lame not installed)";
  const ByteBlock block{mp3.data(), mp3.size()};
  SoundtrackPcm whole;
  ASSERT_TRUE(DecodeSoundtrack(block, &whole));
  ASSERT_EQ(whole.rate, 44100);

  for (double start : {180.0, 0.5, 61.2345}) {
    HeadlessAudioDevice* sink = nullptr;
    Soundtrack track([&sink] {
      auto device = CreateWavSinkAudioDevice();
      sink = device.get();
      return std::unique_ptr<AudioDevice>(std::move(device));
    });
    track.Start(block, nullptr, start);
    ASSERT_NE(sink, nullptr);
    sink->AdvanceMs(100);
    const std::vector<uint8_t> heard = sink->Recording();
    track.Stop();
    ASSERT_EQ(heard.size(), 4410u * 4);
    const size_t first = static_cast<size_t>(start * 44100) * 2;
    ASSERT_LE(first + heard.size() / 2, whole.stereo.size());
    EXPECT_EQ(std::memcmp(heard.data(), whole.stereo.data() + first, heard.size()), 0) << "start " << start;
  }
}

TEST(Soundtrack, StartPastTheEndPlaysNothing) {
  const std::vector<uint8_t> mp3 = ReadAll(std::string(QUILLON_BINARY_DIR) + "/content/soundtrack.mp3");
  if (mp3.empty()) GTEST_SKIP() << "the build made no soundtrack (lame not installed)";
  HeadlessAudioDevice* sink = nullptr;
  Soundtrack track([&sink] {
    auto device = CreateWavSinkAudioDevice();
    sink = device.get();
    return std::unique_ptr<AudioDevice>(std::move(device));
  });
  track.Start(ByteBlock{mp3.data(), mp3.size()}, nullptr, 3600.0);
  ASSERT_NE(sink, nullptr);
  sink->AdvanceMs(100);
  EXPECT_TRUE(sink->Recording().empty());
  track.Stop();
  track.Stop();
}

}  // namespace

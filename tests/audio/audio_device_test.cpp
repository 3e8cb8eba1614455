// The headless audio devices: the virtual clock and the recording.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/audio_device.h"

namespace {

TEST(HeadlessAudioDevice, PositionFollowsTheVirtualClockFromPlayLoop) {
  auto dev = CreateWavSinkAudioDevice();
  ASSERT_TRUE(dev->Open(8000, 2));
  std::vector<uint8_t> ring(4 * 100);  // 100 frames = 12.5 ms
  for (size_t i = 0; i < ring.size(); ++i) ring[i] = static_cast<uint8_t>(i);
  dev->AdvanceMs(500);  // before playing: nothing moves
  EXPECT_EQ(dev->PlayedBytes(), 0u);
  dev->PlayLoop(ring.data(), ring.size());
  dev->AdvanceMs(10);  // 80 frames
  EXPECT_EQ(dev->PlayedBytes(), 320u);
  dev->AdvanceMs(10);  // 160 frames: one loop and 60 frames
  EXPECT_EQ(dev->PlayedBytes(), 640u);
  std::vector<uint8_t> rec = dev->Recording();
  ASSERT_EQ(rec.size(), 640u);
  EXPECT_TRUE(std::equal(ring.begin(), ring.end(), rec.begin()));  // the ring, then again
  EXPECT_TRUE(std::equal(rec.begin() + 400, rec.end(), ring.begin()));
  dev->SetTimeMs(dev->TimeMs() + 5);
  EXPECT_EQ(dev->PlayedBytes(), 800u);
  dev->Stop();
  dev->AdvanceMs(100);
  EXPECT_EQ(dev->PlayedBytes(), 800u);  // stopped: no further playing
  dev->Close();
  dev->Close();
}

TEST(HeadlessAudioDevice, WavSinkKeepsItsRecordingAndFormatAfterClose) {
  auto dev = CreateWavSinkAudioDevice();
  EXPECT_EQ(dev->Rate(), 0);
  ASSERT_TRUE(dev->Open(1000, 1));
  std::vector<uint8_t> ring(2 * 50, 7);
  dev->PlayLoop(ring.data(), ring.size());
  dev->AdvanceMs(30);
  dev->Close();
  EXPECT_EQ(dev->Recording(), std::vector<uint8_t>(60, 7));  // 30 frames of 2 bytes
  EXPECT_EQ(dev->Rate(), 1000);
  EXPECT_EQ(dev->Channels(), 1);
  auto null = CreateNullAudioDevice();
  EXPECT_FALSE(null->Open(0, 2));
}

}  // namespace

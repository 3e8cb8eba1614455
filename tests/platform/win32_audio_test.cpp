// The wave-out device: opened at the requested rate, one looping buffer whose played-byte
// count keeps growing across loops, and a silent run when there is no device. The Windows test
// run gives Wine an ALSA null device (it takes samples as fast as they come, so only lower
// bounds of the position are checked).
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/audio_device.h"

namespace {

uint64_t WaitForPlayed(AudioDevice& device, uint64_t atLeast, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  uint64_t played = device.PlayedBytes();
  while (played < atLeast && GetTickCount() - start < timeoutMs) {
    Sleep(10);
    played = device.PlayedBytes();
  }
  return played;
}

TEST(Win32WaveOut, PositionKeepsGrowingAcrossLoopsOfTheRingAndStopsAtStop) {
  if (waveOutGetNumDevs() == 0) GTEST_SKIP() << "no wave-out device here";
  auto device = CreateSystemAudioDevice();
  if (!device->Open(44100, 2)) GTEST_SKIP() << "the wave-out device did not open";
  EXPECT_EQ(device->PlayedBytes(), 0u);
  // A ring of 50 ms: half a second of playing loops it ten times.
  std::vector<uint8_t> ring(44100 / 20 * 4, 0);
  device->PlayLoop(ring.data(), ring.size());
  const uint64_t played = WaitForPlayed(*device, ring.size() * 4, 5000);
  EXPECT_GE(played, ring.size() * 4);
  EXPECT_EQ(played % 4, 0u);
  device->Stop();
  const uint64_t stopped = device->PlayedBytes();
  Sleep(100);
  EXPECT_LE(device->PlayedBytes(), stopped);
  device->Close();
  device->Close();
  EXPECT_EQ(device->PlayedBytes(), 0u);
}

TEST(Win32WaveOut, OpensAtTheStreamsOwnRateAndReopensCleanly) {
  if (waveOutGetNumDevs() == 0) GTEST_SKIP() << "no wave-out device here";
  auto device = CreateSystemAudioDevice();
  for (int rate : {22050, 44100, 48000}) {
    if (!device->Open(rate, 2)) GTEST_SKIP() << "the wave-out device did not open";
    std::vector<uint8_t> ring(static_cast<size_t>(rate) / 10 * 4, 0);
    device->PlayLoop(ring.data(), ring.size());
    // 200 ms at this rate: the position is counted in the opened format's bytes.
    const uint64_t played = WaitForPlayed(*device, static_cast<uint64_t>(rate) / 5 * 4, 5000);
    EXPECT_GE(played, static_cast<uint64_t>(rate) / 5 * 4) << rate;
    device->Stop();
  }
  device->Close();
}

TEST(Win32WaveOut, RefusedFormatsAndCallsWithoutADeviceDoNothing) {
  auto device = CreateSystemAudioDevice();
  EXPECT_FALSE(device->Open(0, 2));
  EXPECT_FALSE(device->Open(44100, 0));
  uint8_t ring[64] = {};
  device->PlayLoop(ring, sizeof ring);
  EXPECT_EQ(device->PlayedBytes(), 0u);
  device->Stop();
  device->Close();
}

TEST(Win32WaveOut, RefillThreadPriorityIsTimeCritical) {
  DWORD priority = 0;
  std::thread([&] {
    EXPECT_TRUE(RaiseCurrentThreadPriority());
    priority = static_cast<DWORD>(GetThreadPriority(GetCurrentThread()));
  }).join();
  EXPECT_EQ(static_cast<int>(priority), THREAD_PRIORITY_TIME_CRITICAL);
}

}  // namespace

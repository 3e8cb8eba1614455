// The SDL audio device's play position on SDL's dummy driver (no sound hardware involved).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/audio_device.h"

namespace {

TEST(SdlAudioDevice, DummyDriverCountsPlayedBytes) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  auto dev = CreateSdlAudioDevice();
  if (!dev->Open(44100, 2)) GTEST_SKIP() << "SDL has no dummy audio driver here";
  std::vector<uint8_t> ring(4 * 4410, 0);
  dev->PlayLoop(ring.data(), ring.size());
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (dev->PlayedBytes() < ring.size() * 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_GE(dev->PlayedBytes(), ring.size() * 2);  // the ring loops on
  dev->Stop();
  dev->Stop();
  dev->Close();
  dev->Close();
}

}  // namespace

// Headless audio devices: play position from a virtual clock; the WAV sink records the ring's
// bytes as the clock passes over them.
#include <atomic>
#include <algorithm>
#include <mutex>

#include "platform/audio_device.h"

namespace {

class VirtualAudioDevice : public HeadlessAudioDevice {
 public:
  explicit VirtualAudioDevice(bool record) : record_(record) {}
  ~VirtualAudioDevice() override { Close(); }

  bool Open(int rate, int channels) override {
    Close();
    std::lock_guard<std::mutex> lock(mutex_);
    if (rate <= 0 || channels <= 0) return false;
    rate_ = rate;
    blockAlign_ = channels * 2;
    channels_ = channels;
    open_ = true;
    recording_.clear();
    return true;
  }

  void PlayLoop(const uint8_t* ring, size_t bytes) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_ || !ring || bytes == 0) return;
    ring_ = ring;
    ringBytes_ = bytes;
    startMs_ = timeMs_;
    played_.store(0, std::memory_order_release);
  }

  uint64_t PlayedBytes() const override { return played_.load(std::memory_order_acquire); }

  void Stop() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ring_ = nullptr;
    ringBytes_ = 0;
  }

  void Close() override {
    std::lock_guard<std::mutex> lock(mutex_);
    ring_ = nullptr;
    ringBytes_ = 0;
    open_ = false;
  }

  void SetTimeMs(uint64_t ms) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (ms < timeMs_) {  // the clock went back: playing restarts from here
      timeMs_ = ms;
      startMs_ = ms;
      return;
    }
    timeMs_ = ms;
    Play();
  }

  void AdvanceMs(uint64_t ms) override {
    std::lock_guard<std::mutex> lock(mutex_);
    timeMs_ += ms;
    Play();
  }

  uint64_t TimeMs() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return timeMs_;
  }

  std::vector<uint8_t> Recording() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return recording_;
  }

  int Rate() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return rate_;
  }

  int Channels() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return channels_;
  }

 private:
  // Moves the position to the clock, recording the ring bytes passed over.
  void Play() {
    if (!ring_ || !open_) return;
    uint64_t frames = (timeMs_ - startMs_) * static_cast<uint64_t>(rate_) / 1000;
    uint64_t target = frames * static_cast<uint64_t>(blockAlign_);
    uint64_t played = played_.load(std::memory_order_relaxed);
    if (record_) {
      for (uint64_t p = played; p < target;) {
        size_t at = static_cast<size_t>(p % ringBytes_);
        size_t n = static_cast<size_t>(std::min<uint64_t>(target - p, ringBytes_ - at));
        recording_.insert(recording_.end(), ring_ + at, ring_ + at + n);
        p += n;
      }
    }
    played_.store(target, std::memory_order_release);
  }

  const bool record_;
  mutable std::mutex mutex_;
  bool open_ = false;
  int rate_ = 0, channels_ = 0, blockAlign_ = 0;
  const uint8_t* ring_ = nullptr;
  size_t ringBytes_ = 0;
  uint64_t timeMs_ = 0, startMs_ = 0;
  std::atomic<uint64_t> played_{0};
  std::vector<uint8_t> recording_;
};

}  // namespace

std::unique_ptr<HeadlessAudioDevice> CreateNullAudioDevice() { return std::make_unique<VirtualAudioDevice>(false); }

std::unique_ptr<HeadlessAudioDevice> CreateWavSinkAudioDevice() { return std::make_unique<VirtualAudioDevice>(true); }

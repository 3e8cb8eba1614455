// SDL2 audio device: the audio callback plays the caller's ring over and over and counts the
// bytes it has handed out; that count is the play position.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/audio_device.h"

namespace {

class SdlAudioDevice : public AudioDevice {
 public:
  ~SdlAudioDevice() override { Close(); }

  bool Open(int rate, int channels) override {
    Close();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    subsystem_ = true;
    SDL_AudioSpec want{};
    SDL_AudioSpec have{};
    want.freq = rate;
    want.format = AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(channels);
    want.samples = 1024;
    want.callback = &SdlAudioDevice::Callback;
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);  // SDL converts if it must
    if (device_ == 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      subsystem_ = false;
      return false;
    }
    return true;
  }

  void PlayLoop(const uint8_t* ring, size_t bytes) override {
    if (device_ == 0 || !ring || bytes == 0) return;
    SDL_LockAudioDevice(device_);
    ring_ = ring;
    ringBytes_ = bytes;
    cursor_ = 0;
    played_.store(0, std::memory_order_release);
    SDL_UnlockAudioDevice(device_);
    SDL_PauseAudioDevice(device_, 0);
  }

  uint64_t PlayedBytes() const override { return played_.load(std::memory_order_acquire); }

  void Stop() override {
    if (device_ == 0) return;
    SDL_PauseAudioDevice(device_, 1);
    SDL_LockAudioDevice(device_);
    ring_ = nullptr;
    ringBytes_ = 0;
    SDL_UnlockAudioDevice(device_);
  }

  void Close() override {
    if (device_ != 0) {
      Stop();
      SDL_CloseAudioDevice(device_);
      device_ = 0;
    }
    if (subsystem_) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      subsystem_ = false;
    }
  }

 private:
  static void SDLCALL Callback(void* user, Uint8* stream, int len) {
    auto* self = static_cast<SdlAudioDevice*>(user);
    if (!self->ring_) {
      std::memset(stream, 0, static_cast<size_t>(len));
      return;
    }
    size_t left = static_cast<size_t>(len);
    while (left > 0) {
      size_t n = std::min(left, self->ringBytes_ - self->cursor_);
      std::memcpy(stream, self->ring_ + self->cursor_, n);
      stream += n;
      left -= n;
      self->cursor_ = (self->cursor_ + n) % self->ringBytes_;
    }
    self->played_.fetch_add(static_cast<uint64_t>(len), std::memory_order_acq_rel);
  }

  SDL_AudioDeviceID device_ = 0;
  bool subsystem_ = false;
  const uint8_t* ring_ = nullptr;  // guarded by the SDL audio lock
  size_t ringBytes_ = 0;
  size_t cursor_ = 0;
  std::atomic<uint64_t> played_{0};
};

}  // namespace

std::unique_ptr<AudioDevice> CreateSdlAudioDevice() { return std::make_unique<SdlAudioDevice>(); }
std::unique_ptr<AudioDevice> CreateSystemAudioDevice() { return CreateSdlAudioDevice(); }

// Wave-out audio on Windows: the wave mapper opened at the stream's rate, one device buffer
// looping over the caller's ring, and the play position from waveOutGetPosition in bytes.
#include <windows.h>
#include <mmsystem.h>

#include <cstring>
#include <mutex>

#include "platform/audio_device.h"
#include "platform/log.h"

namespace {

class WaveOutDevice final : public AudioDevice {
 public:
  ~WaveOutDevice() override { Close(); }

  bool Open(int rate, int channels) override {
    Close();
    if (rate <= 0 || channels <= 0 || channels > 8) return false;
    WAVEFORMATEX format;
    std::memset(&format, 0, sizeof format);
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.wBitsPerSample = 16;
    format.nBlockAlign = static_cast<WORD>(channels * 16 / 8);
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    HWAVEOUT device = nullptr;
    const MMRESULT result = waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR) {
      Log("wave-out: no device for %d Hz, %d channels (result %u)", rate, channels, result);
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    device_ = device;
    blockAlign_ = format.nBlockAlign;
    rate_ = rate;
    return true;
  }

  void PlayLoop(const uint8_t* ring, size_t bytes) override {
    Stop();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!device_ || !ring || bytes == 0 || bytes > 0xFFFFFFFFu) return;
    std::memset(&header_, 0, sizeof header_);
    // The device only reads the ring; the header's pointer is not const in the API.
    header_.lpData = reinterpret_cast<LPSTR>(const_cast<uint8_t*>(ring));
    header_.dwBufferLength = static_cast<DWORD>(bytes);
    header_.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    header_.dwLoops = 0xFFFFFFFFu;
    if (waveOutPrepareHeader(device_, &header_, sizeof header_) != MMSYSERR_NOERROR) return;
    prepared_ = true;
    lastReported_ = 0;
    wraps_ = 0;
    if (waveOutWrite(device_, &header_, sizeof header_) != MMSYSERR_NOERROR) {
      Log("wave-out: the ring could not be queued");
    }
  }

  uint64_t PlayedBytes() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!device_ || !prepared_) return 0;
    MMTIME time;
    std::memset(&time, 0, sizeof time);
    time.wType = TIME_BYTES;
    if (waveOutGetPosition(device_, &time, sizeof time) != MMSYSERR_NOERROR) return Extend(lastReported_);
    uint32_t bytes = 0;
    switch (time.wType) {
      case TIME_BYTES:
        bytes = time.u.cb;
        break;
      case TIME_SAMPLES:  // a device that counts sample frames instead
        bytes = static_cast<uint32_t>(time.u.sample * static_cast<uint32_t>(blockAlign_));
        break;
      case TIME_MS:
        bytes = static_cast<uint32_t>(static_cast<uint64_t>(time.u.ms) * static_cast<uint64_t>(rate_) / 1000u *
                                      static_cast<uint64_t>(blockAlign_));
        break;
      default:
        return Extend(lastReported_);
    }
    return Extend(bytes);
  }

  void Stop() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!device_) return;
    waveOutReset(device_);  // stops playing and hands the buffer back
    if (prepared_) waveOutUnprepareHeader(device_, &header_, sizeof header_);
    prepared_ = false;
  }

  void Close() override {
    Stop();
    std::lock_guard<std::mutex> lock(mutex_);
    if (device_) waveOutClose(device_);
    device_ = nullptr;
  }

 private:
  // The device's counter has 32 bits (about 6.7 hours of 44.1 kHz stereo); the played count
  // keeps growing past that.
  uint64_t Extend(uint32_t bytes) const {
    if (bytes < lastReported_) {
      // A small step back is a device's jitter, not a wrap: the count never goes back.
      if (lastReported_ - bytes < 0x80000000u) return (static_cast<uint64_t>(wraps_) << 32) | lastReported_;
      ++wraps_;
    }
    lastReported_ = bytes;
    return (static_cast<uint64_t>(wraps_) << 32) | bytes;
  }

  mutable std::mutex mutex_;
  HWAVEOUT device_ = nullptr;
  WAVEHDR header_{};
  bool prepared_ = false;
  int blockAlign_ = 4;
  int rate_ = 44100;
  mutable uint32_t lastReported_ = 0;
  mutable uint32_t wraps_ = 0;
};

}  // namespace

std::unique_ptr<AudioDevice> CreateSystemAudioDevice() { return std::make_unique<WaveOutDevice>(); }

bool RaiseCurrentThreadPriority() {
  return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

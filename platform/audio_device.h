// Audio output device with a readable play position: the player hands it one ring of 16-bit
// PCM which the device plays over and over, and polls how many bytes have been played so far
// (the count keeps growing across loops of the ring).
//
//   auto dev = CreateSdlAudioDevice();   // or CreateNullAudioDevice / WavSink
//   if (!dev->Open(44100, 2)) { /* no device: run silent */ }
//   dev->PlayLoop(ring, ringBytes);                 // ring stays the caller's until Stop
//   uint64_t played = dev->PlayedBytes();           // from any thread
//   dev->Stop(); dev->Close();                      // both safe to call twice
//
// Headless devices follow a virtual clock that the application drives (SetTimeMs/AdvanceMs):
// the null device only moves its position; the WAV sink also records the bytes that would have
// been heard (its caller writes them out, e.g. with io/wav_write.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class AudioDevice {
 public:
  virtual ~AudioDevice() = default;
  // Opens for 16-bit signed little-endian PCM at `rate` Hz with `channels` channels, closing any
  // previous opening first. False when no device could be opened; the later calls then do
  // nothing and the position stays 0.
  virtual bool Open(int rate, int channels) = 0;
  // Starts playing `bytes` bytes at `ring` in a loop. The caller keeps the ring alive and writes
  // only the parts already played; the device reads it from its own thread (or the clock's).
  virtual void PlayLoop(const uint8_t* ring, size_t bytes) = 0;
  // Bytes played since PlayLoop, growing across loops. Safe from any thread.
  virtual uint64_t PlayedBytes() const = 0;
  // Stops playing and lets go of the ring.
  virtual void Stop() = 0;
  // Stops and closes the device.
  virtual void Close() = 0;
};

class HeadlessAudioDevice : public AudioDevice {
 public:
  // The virtual clock in milliseconds. Playing advances with it from the moment of PlayLoop.
  virtual void SetTimeMs(uint64_t ms) = 0;
  virtual void AdvanceMs(uint64_t ms) = 0;
  virtual uint64_t TimeMs() const = 0;
  // What has been heard so far (WAV sink: the recorded PCM; null device: empty), and the format
  // it was opened with (0 when never opened).
  virtual std::vector<uint8_t> Recording() const = 0;
  virtual int Rate() const = 0;
  virtual int Channels() const = 0;
};

// SDL2 audio: an audio callback plays the ring and counts the bytes. Open fails (and the run is
// silent) when SDL has no usable audio device.
std::unique_ptr<AudioDevice> CreateSdlAudioDevice();
// The system's own sound output: SDL2 audio on Linux, wave-out on Windows (win32_audio.cpp).
std::unique_ptr<AudioDevice> CreateSystemAudioDevice();
// Headless: position from the virtual clock, nothing recorded.
std::unique_ptr<HeadlessAudioDevice> CreateNullAudioDevice();
// Headless: records what would be heard (16-bit PCM at the opened rate and channel count).
std::unique_ptr<HeadlessAudioDevice> CreateWavSinkAudioDevice();

// Raises the calling thread to the highest scheduling priority the OS grants it (real-time
// when permitted, else the best normal priority); returns false when nothing could be raised.
bool RaiseCurrentThreadPriority();

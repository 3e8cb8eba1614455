// WaveOutPlayer: plays an MP3 stream through a AudioDevice as one looping ring of
// 16-bit stereo PCM, 150 chunks of 20 ms (884 frames at 44100 Hz, about 3 s in all), kept about
// one ring ahead of the play position by a refill thread that polls the device every 10 ms.
//
//   WaveOutPlayer player(device);           // device not owned; must outlive the player
//   player.Open(rate, 2);                   // the stream's own rate
//   player.Start(mp3, mp3Size);             // decodes the whole ring here, then starts playing
//   player.Start(mp3, mp3Size, FindSeekPoint(mp3, mp3Size, 180.0));  // or from 3:00 on
//   ...                                     // the refill thread decodes on demand
//   player.Stop(); player.Close();          // each safe to call twice
//
// The stream is fed to the decoder by an Mp3Feed in 64-byte pieces (its last piece may be
// shorter, and what is still queued is decoded after it). Mono streams are played on both
// channels. Between Start and Stop only the refill thread uses the decoder and writes the ring;
// the flags it shares with the caller's thread are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "audio/mp3_decoder.h"
#include "audio/mp3_feed.h"
#include "audio/mp3_frames.h"
#include "platform/audio_device.h"

class WaveOutPlayer {
 public:
  static constexpr int kPendingBytes = 65536;  // decoded PCM waiting for the ring
  static constexpr int kPieceBytes = 64;       // stream bytes per decoder call
  static constexpr int kDecodeRoom = 5000;     // output room per decoder call
  static constexpr int kPollMs = 10;           // refill thread period
  static constexpr int kBufferMs = 1500;       // the ring is twice this long

  explicit WaveOutPlayer(AudioDevice* device);
  ~WaveOutPlayer();
  WaveOutPlayer(const WaveOutPlayer&) = delete;
  WaveOutPlayer& operator=(const WaveOutPlayer&) = delete;

  // Closes any previous opening, opens the device for 16-bit PCM and sizes the ring for `rate`.
  // Returns whether the device opened; the player works either way (silently without one).
  bool Open(int rate, int channels);
  // Plays `size` bytes of MP3 from `data` (kept by the caller until Stop): decoder set-up, the
  // whole ring decoded on this thread, the refill thread started, playback started. With a
  // seek point, decoding begins at its feedFrom and playing at its time.
  void Start(const uint8_t* data, int size, const SeekPoint& from = SeekPoint());
  // Ends the refill thread, releases the ring and lets the device go of it. Safe twice.
  void Stop();
  // Resets and closes the device. Safe twice.
  void Close();

  int Rate() const { return rate_; }
  int ChunkFrames() const { return chunkFrames_; }
  int RingFrames() const { return ringFrames_; }
  int ChunkCount() const { return chunkFrames_ ? ringFrames_ / chunkFrames_ : 0; }
  int ChunkBytes() const { return chunkFrames_ * 4; }
  bool Running() const { return running_; }
  // Whether the device opened; a player without one runs silently.
  bool DeviceOpen() const { return deviceOpen_; }
  // Chunks written into the ring since Start (the initial fill included); a refill pass for
  // a device position of P bytes brings it to ChunkCount() + P / ChunkBytes().
  uint64_t FilledChunks() const { return filled_.load(std::memory_order_acquire); }
  // Reads the device position and fills the chunks played since the last pass (the refill
  // thread's pass; callable by tests only while no refill thread runs).
  void Refill();

 private:
  void FillChunk();
  // Adds a decoded frame's samples to the pending buffer (both sides for a mono stream), less
  // those before the seek point.
  void TakeFrame(const uint8_t* pcm, int bytes);
  void ThreadMain();

  AudioDevice* device_;
  std::unique_ptr<Mp3Decoder> decoder_;
  std::vector<uint8_t> ring_;
  std::vector<uint8_t> pending_;
  std::vector<uint8_t> scratch_;
  int rate_ = 0;
  int chunkFrames_ = 0;
  int ringFrames_ = 0;
  std::unique_ptr<Mp3Feed> feed_;
  SeekPoint seek_;
  int pendingBytes_ = 0;
  int chunkIndex_ = 0;
  bool running_ = false;
  bool deviceOpen_ = false;
  std::thread thread_;
  std::atomic<bool> stopRequest_{false};
  std::atomic<bool> busy_{false};
  std::atomic<bool> threadDone_{true};
  std::atomic<uint64_t> filled_{0};
};

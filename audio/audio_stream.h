// AudioStream: the soundtrack's front end. Starts the MP3 stream (from memory or from a file
// found through DataFile) on a WaveOutPlayer over the given audio device, and stops it.
//
//   auto device = CreateSystemAudioDevice();
//   AudioStream stream(device.get());
//   stream.Start(mp3, 44100, mp3Size);      // size != 0: bytes in memory, used in place
//   stream.Start("music.mp3", 44100, 0);    // size == 0: a file name (archive, then disk)
//   stream.Start(mp3, 44100, mp3Size, 180.0);  // playing from 3:00 into the stream
//   ...
//   stream.Stop();                          // safe when nothing started, safe twice
//
// The device opens at the stream's own sampling rate (its first frame header); `rate` is used
// only when no header is found. A missing file or a device that cannot be opened means a
// silent run, never a failure.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/wave_out_player.h"
#include "platform/audio_device.h"

class AudioStream {
 public:
  explicit AudioStream(AudioDevice* device) : player_(device) {}
  ~AudioStream() { Stop(); }
  AudioStream(const AudioStream&) = delete;
  AudioStream& operator=(const AudioStream&) = delete;

  // size != 0: `dataOrName` points to `size` bytes of MP3 kept by the caller until Stop.
  // size == 0: `dataOrName` is a zero-terminated file name read whole through DataFile.
  // Playing begins `startSeconds` into the stream (nothing plays when it ends before that).
  void Start(const void* dataOrName, int rate, int size, double startSeconds = 0.0);
  void Stop();

  bool Started() const { return started_; }
  WaveOutPlayer& Player() { return player_; }

 private:
  WaveOutPlayer player_;
  std::vector<uint8_t> owned_;  // the file's bytes for a file start
  bool started_ = false;
};

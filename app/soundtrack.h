// The soundtrack of a run: started with the clock, stopped when the run ends.
#pragma once

#include <functional>
#include <memory>

#include "app/show_bridge.h"
#include "platform/platform.h"

class AudioDevice;

class Soundtrack {
 public:
  using DeviceMaker = std::function<std::unique_ptr<AudioDevice>()>;

  // Plays through the sound card.
  Soundtrack();
  // Plays through the devices `makeDevice` makes, one per start (tests: a headless WAV sink).
  explicit Soundtrack(DeviceMaker makeDevice);
  ~Soundtrack();
  Soundtrack(const Soundtrack&) = delete;
  Soundtrack& operator=(const Soundtrack&) = delete;

  // Plays the MP3 bytes from `startSeconds` on (sample for sample as the whole stream has them
  // there); nothing (a silent run) when there are none, when no device opens, or for a
  // headless run.
  void Start(ByteBlock mp3, HeadlessDisplay* virtualClock, double startSeconds = 0.0);
  // Safe when nothing was started and safe twice.
  void Stop();

 private:
  struct Playback;
  DeviceMaker makeDevice_;
  std::unique_ptr<Playback> playback_;
};

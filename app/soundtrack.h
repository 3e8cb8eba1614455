// The soundtrack of a run: started with the clock, stopped when the run ends.
#pragma once

#include <memory>

#include "app/show_bridge.h"
#include "platform/platform.h"

class Soundtrack {
 public:
  Soundtrack();
  ~Soundtrack();
  Soundtrack(const Soundtrack&) = delete;
  Soundtrack& operator=(const Soundtrack&) = delete;

  // Plays the MP3 bytes from `startSeconds` on through the sound card; nothing (a silent run)
  // when there are none, when no device opens, or for a headless run.
  void Start(ByteBlock mp3, platform::HeadlessDisplay* virtualClock, double startSeconds = 0.0);
  // Safe when nothing was started and safe twice.
  void Stop();

 private:
  struct Playback;
  std::unique_ptr<Playback> playback_;
};

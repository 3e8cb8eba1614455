// The soundtrack of a run: started with the clock, stopped when the run ends. With a headless
// display the sound goes to a null device that follows the virtual clock.
#pragma once

#include "app/show_bridge.h"
#include "platform/platform.h"

class Soundtrack {
 public:
  Soundtrack();
  ~Soundtrack();
  Soundtrack(const Soundtrack&) = delete;
  Soundtrack& operator=(const Soundtrack&) = delete;

  // Plays the MP3 bytes from `startSeconds` on; nothing (a silent run) when there are none or
  // no device opens.
  void Start(ByteBlock mp3, platform::HeadlessDisplay* virtualClock, double startSeconds = 0.0);
  // Safe when nothing was started and safe twice.
  void Stop();

 private:
  bool playing_ = false;
};

#include "app/soundtrack.h"

Soundtrack::Soundtrack() = default;
Soundtrack::~Soundtrack() { Stop(); }

void Soundtrack::Start(ByteBlock mp3, platform::HeadlessDisplay* virtualClock, double startSeconds) {
  (void)virtualClock;
  (void)startSeconds;
  playing_ = mp3.data != nullptr && mp3.size > 0;
}

void Soundtrack::Stop() { playing_ = false; }

#include "app/soundtrack.h"

#include "audio/audio_stream.h"
#include "platform/log.h"
#include "platform/audio_device.h"

struct Soundtrack::Playback {
  std::unique_ptr<AudioDevice> device;
  std::unique_ptr<AudioStream> stream;
};

Soundtrack::Soundtrack() : makeDevice_([] { return CreateSystemAudioDevice(); }) {}
Soundtrack::Soundtrack(DeviceMaker makeDevice) : makeDevice_(std::move(makeDevice)) {}
Soundtrack::~Soundtrack() { Stop(); }

void Soundtrack::Start(ByteBlock mp3, HeadlessDisplay* virtualClock, double startSeconds) {
  Stop();
  // Headless runs have nobody listening; the offline render writes the soundtrack itself.
  if (virtualClock || !mp3.data || mp3.size == 0) return;
  playback_ = std::make_unique<Playback>();
  playback_->device = makeDevice_();
  playback_->stream = std::make_unique<AudioStream>(playback_->device.get());
  playback_->stream->Start(mp3.data, 44100, static_cast<int>(mp3.size), startSeconds);
  if (playback_->stream->Started() && !playback_->stream->Player().DeviceOpen())
    Log("soundtrack: no audio device, the show runs silent");
}

void Soundtrack::Stop() {
  if (!playback_) return;
  playback_->stream->Stop();
  playback_->device->Close();
  playback_.reset();
}

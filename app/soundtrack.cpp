#include "app/soundtrack.h"

#include <cmath>

#include "audio/audio_stream.h"
#include "audio/mp3_decoder.h"
#include "platform/log.h"
#include "platform/audio_device.h"

namespace {

// Byte offset in a constant-bitrate stream that is `seconds` in: frames of the first header's
// size and duration. The decoder finds the next frame from wherever this lands.
size_t OffsetForTime(ByteBlock mp3, double seconds) {
  if (seconds <= 0.0) return 0;
  for (size_t i = 0; i + 4 <= mp3.size && i < 65536; ++i) {
    uint32_t word = (uint32_t{mp3.data[i]} << 24) | (uint32_t{mp3.data[i + 1]} << 16) |
                    (uint32_t{mp3.data[i + 2]} << 8) | mp3.data[i + 3];
    if (!audio::Mp3Decoder::CheckHeader(word, 0)) continue;
    audio::Mp3Decoder::Header h = audio::Mp3Decoder::DecodeHeader(word);
    int rate = audio::Mp3Decoder::SamplingFrequency(h.samplingIndex);
    if (h.frameSize <= 0 || rate <= 0) return 0;
    int samples = h.layer == 1 ? 384 : (h.layer == 3 && h.lsf) ? 576 : 1152;
    double frames = seconds * rate / samples;
    double offset = static_cast<double>(i) + frames * (h.frameSize + 4);
    return offset >= static_cast<double>(mp3.size) ? mp3.size : static_cast<size_t>(offset);
  }
  return 0;
}

}  // namespace

struct Soundtrack::Playback {
  std::unique_ptr<platform::AudioDevice> device;
  std::unique_ptr<audio::AudioStream> stream;
};

Soundtrack::Soundtrack() = default;
Soundtrack::~Soundtrack() { Stop(); }

void Soundtrack::Start(ByteBlock mp3, platform::HeadlessDisplay* virtualClock, double startSeconds) {
  Stop();
  // Headless runs have nobody listening; the offline render writes the soundtrack itself.
  if (virtualClock || !mp3.data || mp3.size == 0) return;
  size_t skip = OffsetForTime(mp3, startSeconds);
  if (skip >= mp3.size) return;
  playback_ = std::make_unique<Playback>();
  playback_->device = platform::CreateSdlAudioDevice();
  playback_->stream = std::make_unique<audio::AudioStream>(playback_->device.get());
  playback_->stream->Start(mp3.data + skip, 44100, static_cast<int>(mp3.size - skip));
  if (!playback_->stream->Player().DeviceOpen()) Log("soundtrack: no audio device, the show runs silent");
}

void Soundtrack::Stop() {
  if (!playback_) return;
  playback_->stream->Stop();
  playback_->device->Close();
  playback_.reset();
}

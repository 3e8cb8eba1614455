// Soundtrack start and stop.
#include "audio/audio_stream.h"

#include "audio/mp3_decoder.h"
#include "io/data_file.h"
#include "platform/log.h"

namespace audio {

int ProbeStreamRate(const uint8_t* data, size_t size) {
  if (!data) return 0;
  int lone = 0;
  for (size_t i = 0; i + 4 <= size; ++i) {
    uint32_t w = (uint32_t(data[i]) << 24) | (uint32_t(data[i + 1]) << 16) |
                 (uint32_t(data[i + 2]) << 8) | data[i + 3];
    if (!Mp3Decoder::CheckHeader(w, 0)) continue;
    Mp3Decoder::Header h = Mp3Decoder::DecodeHeader(w);
    int rate = Mp3Decoder::SamplingFrequency(h.samplingIndex);
    if (!lone) lone = rate;
    size_t next = i + 4 + static_cast<size_t>(h.frameSize);
    if (h.frameSize > 0 && next + 4 <= size) {
      uint32_t w2 = (uint32_t(data[next]) << 24) | (uint32_t(data[next + 1]) << 16) |
                    (uint32_t(data[next + 2]) << 8) | data[next + 3];
      Mp3Decoder::Header h2 = Mp3Decoder::DecodeHeader(w2);
      if (h2.valid && h2.layer == h.layer && h2.samplingIndex == h.samplingIndex) return rate;
    }
  }
  return lone;
}

void AudioStream::Start(const void* dataOrName, int rate, int size) {
  Stop();
  const uint8_t* data = nullptr;
  if (size != 0) {
    data = static_cast<const uint8_t*>(dataOrName);
  } else {
    const char* name = static_cast<const char*>(dataOrName);
    if (!name) return;
    DataFile file;
    file.Open(name, "rb");
    if (file.HasError() || file.GetSize() <= 0) {
      Log("soundtrack '%s' not found: running silent", name);
      return;
    }
    owned_.resize(static_cast<size_t>(file.GetSize()));
    file.Read(owned_.data(), static_cast<uint32_t>(owned_.size()));
    file.Close();
    data = owned_.data();
    size = static_cast<int>(owned_.size());
  }
  if (!data || size <= 0) return;
  int streamRate = ProbeStreamRate(data, static_cast<size_t>(size));
  if (!player_.Open(streamRate > 0 ? streamRate : rate, 2))
    Log("no audio device: running silent");
  player_.Start(data, size);
  started_ = true;
}

void AudioStream::Stop() {
  if (started_) {
    player_.Stop();
    player_.Close();
    started_ = false;
  }
  std::vector<uint8_t>().swap(owned_);
}

}  // namespace audio

// Soundtrack start and stop.
#include "audio/audio_stream.h"

#include "audio/mp3_frames.h"
#include "io/data_file.h"
#include "platform/log.h"

void AudioStream::Start(const void* dataOrName, int rate, int size, double startSeconds) {
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
  SeekPoint from = FindSeekPoint(data, static_cast<size_t>(size), startSeconds);
  if (from.pastEnd) {
    Log("soundtrack: the stream ends before %.3f s: nothing to play", startSeconds);
    std::vector<uint8_t>().swap(owned_);
    return;
  }
  int streamRate = ProbeStreamRate(data, static_cast<size_t>(size));
  if (!player_.Open(streamRate > 0 ? streamRate : rate, 2))
    Log("no audio device: running silent");
  player_.Start(data, size, from);
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

#include "app/soundtrack_pcm.h"

#include <memory>

#include "audio/mp3_decoder.h"
#include "audio/mp3_feed.h"

bool DecodeSoundtrack(ByteBlock mp3, SoundtrackPcm* pcm) {
  pcm->stereo.clear();
  if (!mp3.data || mp3.size == 0) return false;
  auto decoder = std::make_unique<Mp3Decoder>();
  std::vector<uint8_t> out(Mp3Decoder::kMinOutputRoom);
  Mp3Feed feed(mp3.data, mp3.size);
  bool rateKnown = false;
  while (!feed.Done()) {
    int produced = 0;
    const int r = feed.Step(decoder.get(), out.data(), static_cast<int>(out.size()), &produced);
    if (r != Mp3Decoder::kFrameDecoded || produced <= 0) continue;
    if (!rateKnown) {
      pcm->rate = decoder->SampleRate();
      rateKnown = true;
    }
    const int16_t* s = reinterpret_cast<const int16_t*>(out.data());
    const int samples = produced / 2;
    if (decoder->Channels() == 1) {
      for (int i = 0; i < samples; ++i) {
        pcm->stereo.push_back(s[i]);
        pcm->stereo.push_back(s[i]);
      }
    } else {
      pcm->stereo.insert(pcm->stereo.end(), s, s + samples);
    }
  }
  return !pcm->stereo.empty();
}

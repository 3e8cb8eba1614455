#include "app/soundtrack_pcm.h"

#include <memory>

#include "audio/mp3_decoder.h"

bool DecodeSoundtrack(ByteBlock mp3, SoundtrackPcm* pcm) {
  pcm->stereo.clear();
  if (!mp3.data || mp3.size == 0) return false;
  auto decoder = std::make_unique<audio::Mp3Decoder>();
  std::vector<uint8_t> out(8192);
  size_t offset = 0;
  bool rateKnown = false;
  auto take = [&](int produced) {
    int channels = decoder->Channels();
    if (!rateKnown) {
      pcm->rate = decoder->SampleRate();
      rateKnown = true;
    }
    const int16_t* s = reinterpret_cast<const int16_t*>(out.data());
    int samples = produced / 2;
    if (channels == 1) {
      for (int i = 0; i < samples; ++i) {
        pcm->stereo.push_back(s[i]);
        pcm->stereo.push_back(s[i]);
      }
    } else {
      pcm->stereo.insert(pcm->stereo.end(), s, s + samples);
    }
  };
  for (;;) {
    int piece = 0;
    if (offset < mp3.size) piece = static_cast<int>(std::min<size_t>(64, mp3.size - offset));
    int produced = 0;
    int r = decoder->Decode(piece ? mp3.data + offset : nullptr, piece, out.data(), static_cast<int>(out.size()),
                            &produced);
    if (r == audio::Mp3Decoder::kError) {
      // A full queue: drain what is queued before feeding more.
      r = decoder->Decode(nullptr, 0, out.data(), static_cast<int>(out.size()), &produced);
      if (r == audio::Mp3Decoder::kFrameDecoded && produced > 0) take(produced);
      if (r != audio::Mp3Decoder::kFrameDecoded) break;
      continue;
    }
    offset += static_cast<size_t>(piece);
    if (r == audio::Mp3Decoder::kFrameDecoded && produced > 0) take(produced);
    if (piece == 0 && r != audio::Mp3Decoder::kFrameDecoded) break;
  }
  return !pcm->stereo.empty();
}

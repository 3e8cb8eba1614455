// Decoding a whole soundtrack to 16-bit stereo PCM, fed to the decoder in the same 64-byte
// pieces the live player uses (so the samples are the ones the player would play). Mono
// streams are duplicated into both channels.
#pragma once

#include <cstdint>
#include <vector>

#include "app/show_bridge.h"

struct SoundtrackPcm {
  int rate = 44100;
  std::vector<int16_t> stereo;  // interleaved left, right
  size_t Frames() const { return stereo.size() / 2; }
};

// False when the bytes hold no decodable frame.
bool DecodeSoundtrack(ByteBlock mp3, SoundtrackPcm* pcm);

// Fuzz target: arbitrary bytes through Mp3Decoder in the player's 64-byte pieces, then the
// queue drained, with both the 16-bit and the float output in use.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/mp3_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static audio::Mp3Decoder* decoder = new audio::Mp3Decoder();  // tables built once
  static uint8_t out[5000];
  static float fout[2500];
  decoder->Init();
  decoder->SetFloatOutput(fout);
  int produced = 0;
  for (size_t pos = 0; pos < size; pos += 64) {
    int n = static_cast<int>(size - pos < 64 ? size - pos : 64);
    decoder->Decode(data + pos, n, out, sizeof(out), &produced);
    if (produced < 0 || produced > 4608) __builtin_trap();
  }
  for (int i = 0; i < 64; ++i) {
    int before = decoder->Buffered();
    int r = decoder->Decode(nullptr, 0, out, sizeof(out), &produced);
    if (produced < 0 || produced > 4608) __builtin_trap();
    if (r != 0 && decoder->Buffered() == before) break;
  }
  decoder->Exit();
  return 0;
}

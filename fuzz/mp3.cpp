// Fuzz target: arbitrary bytes through Mp3Decoder fed as the player feeds them (Mp3Feed: 64-byte
// pieces, then what is queued), with the 16-bit and float outputs in use; and the frame walk
// that finds a start time and the stream's rate.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "audio/mp3_decoder.h"
#include "audio/mp3_feed.h"
#include "audio/mp3_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Mp3Decoder* decoder = new Mp3Decoder();
  static uint8_t out[5000];
  static float fout[2500];
  decoder->Init();
  decoder->SetFloatOutput(fout);
  Mp3Feed feed(data, size);
  while (!feed.Done()) {
    int produced = 0;
    if (feed.Step(decoder, out, sizeof(out), &produced) == Mp3Decoder::kError) __builtin_trap();
    if (produced < 0 || produced > 4608) __builtin_trap();
  }
  decoder->Exit();
  const SeekPoint at = FindSeekPoint(data, size, 0.01 + static_cast<double>(size % 97) / 10.0);
  if (!at.pastEnd && at.feedFrom + at.targetFrame >= size) __builtin_trap();
  ProbeStreamRate(data, size);
  return 0;
}

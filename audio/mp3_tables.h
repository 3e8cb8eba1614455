// Constant data tables of the MPEG audio decoder, generated from the standard's published
// figures by audio/make_mp3_tables.py (see that script). Used only by audio/mp3_decoder.cpp and
// its tests.
#pragma once

#include <cstdint>

namespace audio::mp3tables {

// Huffman lookup: one array of multi-level tables. Entry with bit 16 clear: a leaf, value in
// bits 0-7 (x << 4 | y, or the count1 quadruple), code bits used at this level in bits 8-15.
// Bit 16 set: a link, lookup width of the next level in bits 0-7, its start in bits 17-31.
struct HuffTableInfo {
  int start;    // root of the table in kHuffLookup; unused when bits is 0
  int bits;     // lookup width of the root level; 0 for the empty tables 0, 4 and 14
  int linbits;
};
extern const uint32_t kHuffLookup[];
extern const HuffTableInfo kHuffTables[34];  // 0..31 pair tables, 32 count1 A, 33 count1 B

// Scale-factor band starts (last entry closes the last band) for the sampling indices
// 44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000 Hz.
extern const int16_t kLongBands[9][23];
extern const int16_t kShortBands[9][14];

// Synthesis window D[0..511].
extern const float kSynthesisWindow[512];

// Layer II allocation tables 0..4 (MPEG-1 tables a to d, then the lower sampling frequencies).
struct AllocEntry {
  uint16_t steps;    // quantisation steps; 0 for "not allocated"
  uint8_t bits;      // bits per sample, or per grouped triple
  uint8_t grouped;   // 1 when three samples share one code
};
struct AllocSubband {
  uint8_t nbal;      // width of the allocation field
  uint16_t first;    // index of this subband's entry 0 in kAllocEntries
};
extern const AllocEntry kAllocEntries[];
extern const int kAllocLimit[5];
extern const AllocSubband kAllocSubbands[5][32];

}  // namespace audio::mp3tables

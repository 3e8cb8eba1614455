// MPEG audio frame arithmetic over a stream held in memory: the header word at a position,
// samples and bytes per frame, the stream's sampling rate, and where to begin decoding to start
// playing at a given time.
//
//   uint32_t word = HeaderWord(p);                  // 4 bytes, big-endian
//   Mp3Decoder::Header h = Mp3Decoder::DecodeHeader(word);
//   int samples = SamplesPerFrame(h);               // per channel: 384, 576 or 1152
//   int bytes = FrameLength(h);                     // header included; 0: free format
//   SeekPoint at = FindSeekPoint(mp3, size, 180.0);
//
// The walk over the frames follows the headers from the first one (confirmed by the header
// that follows it), skipping a leading Xing tag frame as the decoder does, and resynchronising
// on the next header of the same layer and rate where the stream is damaged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/mp3_decoder.h"

inline uint32_t HeaderWord(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Samples per channel that a frame decodes to.
int SamplesPerFrame(const Mp3Decoder::Header& h);
// Bytes of the frame, its 4 header bytes included; 0 for a free-format frame (its length is
// known only from the next header).
int FrameLength(const Mp3Decoder::Header& h);

// The sampling rate of the first frame of a stream (a header followed by another of the same
// layer and rate where the first frame ends, or else the first lone header); 0 if none.
int ProbeStreamRate(const uint8_t* data, size_t size);

// Where to start decoding so that playing begins `seconds` into the stream, sample for sample
// as a decode of the whole stream has it there. Decoding begins a few frames before the frame
// that holds that time, so that the bit reservoir and the filter history are in place; the
// output of those frames, and the first samples of the target frame, are not played.
struct SeekPoint {
  size_t feedFrom = 0;     // byte of the stream where decoding begins
  size_t targetFrame = 0;  // byte offset, counted from feedFrom, of the frame holding the time
  int skipSamples = 0;     // samples (per channel) of that frame that come before the time
  bool pastEnd = false;    // the stream ends before that time
};
SeekPoint FindSeekPoint(const uint8_t* data, size_t size, double seconds);

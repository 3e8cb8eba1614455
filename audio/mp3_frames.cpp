// Frame arithmetic and the walk over a stream's frames.
#include "audio/mp3_frames.h"

#include <cmath>
#include <vector>

namespace {

using Header = Mp3Decoder::Header;

// Bytes of main data a frame brings to the bit reservoir (layer III), or its whole body.
int ReservoirBytes(const Header& h, int length) {
  if (h.layer != 3) return length - 4;
  int sideInfo = h.lsf ? (h.channels == 1 ? 9 : 17) : (h.channels == 1 ? 17 : 32);
  return length - 4 - sideInfo - (h.errorProtection ? 2 : 0);
}

bool SameStream(const Header& a, const Header& b) {
  return a.valid && b.valid && a.layer == b.layer && a.lsf == b.lsf && a.mpeg25 == b.mpeg25 &&
         a.samplingIndex == b.samplingIndex;
}

// The first header at or after `from` that belongs to the stream of `like` (any header when
// `like` is not valid) and is followed by another one where its frame ends; size if none.
size_t NextConfirmedHeader(const uint8_t* data, size_t size, size_t from, const Header& like) {
  for (size_t i = from; i + 4 <= size; ++i) {
    if (data[i] != 0xFF) continue;
    const Header h = Mp3Decoder::DecodeHeader(HeaderWord(data + i));
    if (!h.valid || (like.valid && !SameStream(h, like))) continue;
    const int length = FrameLength(h);
    if (length == 0) {  // free format: the next header of the stream within a frame's reach
      for (size_t j = i + 4; j + 4 <= size && j < i + 4 + Mp3Decoder::kReservoirData; ++j)
        if (data[j] == 0xFF && SameStream(Mp3Decoder::DecodeHeader(HeaderWord(data + j)), h)) return i;
      continue;
    }
    const size_t next = i + static_cast<size_t>(length);
    if (next + 4 > size || SameStream(Mp3Decoder::DecodeHeader(HeaderWord(data + next)), h)) return i;
  }
  return size;
}

struct FrameRef {
  size_t offset;
  int reservoirBytes;
};

}  // namespace

int SamplesPerFrame(const Header& h) {
  if (!h.valid) return 0;
  if (h.layer == 1) return 384;
  if (h.layer == 3 && h.lsf) return 576;
  return 1152;
}

int FrameLength(const Header& h) { return h.valid && h.frameSize > 0 ? h.frameSize + 4 : 0; }

int ProbeStreamRate(const uint8_t* data, size_t size) {
  if (!data) return 0;
  const size_t first = NextConfirmedHeader(data, size, 0, Header());
  if (first < size) return Mp3Decoder::SamplingFrequency(Mp3Decoder::DecodeHeader(HeaderWord(data + first)).samplingIndex);
  for (size_t i = 0; i + 4 <= size; ++i) {
    const Header h = Mp3Decoder::DecodeHeader(HeaderWord(data + i));
    if (h.valid) return Mp3Decoder::SamplingFrequency(h.samplingIndex);
  }
  return 0;
}

SeekPoint FindSeekPoint(const uint8_t* data, size_t size, double seconds) {
  SeekPoint at;
  if (!data || seconds <= 0.0) return at;
  at.pastEnd = true;  // until a frame holding the time is found
  size_t pos = NextConfirmedHeader(data, size, 0, Header());
  if (pos >= size) return at;
  const Header first = Mp3Decoder::DecodeHeader(HeaderWord(data + pos));
  if (Mp3Decoder::HasXingTag(data + pos, size - pos)) pos += static_cast<size_t>(Mp3Decoder::XingFrameLength(first));
  // The sample at that time (the stream keeps one rate; a millionth of a sample forgives the
  // rounding of a time given in seconds).
  const int rate = Mp3Decoder::SamplingFrequency(first.samplingIndex);
  const int64_t target = static_cast<int64_t>(std::floor(seconds * rate + 1e-6));
  // Walk the frames, counting their samples.
  std::vector<FrameRef> frames;
  int64_t samples = 0;
  while (pos + 4 <= size) {
    Header h = Mp3Decoder::DecodeHeader(HeaderWord(data + pos));
    if (!SameStream(h, first)) {  // damage: on to the next header of this stream
      pos = NextConfirmedHeader(data, size, pos + 1, first);
      continue;
    }
    int length = FrameLength(h);
    if (length == 0) {
      size_t next = NextConfirmedHeader(data, size, pos + 4, first);
      length = static_cast<int>(next - pos);
    }
    frames.push_back({pos, ReservoirBytes(h, length)});
    if (samples + SamplesPerFrame(h) > target) {
      at.skipSamples = static_cast<int>(target - samples);
      at.pastEnd = false;
      break;
    }
    samples += SamplesPerFrame(h);
    pos += static_cast<size_t>(length);
  }
  if (at.pastEnd) return at;
  // Lead-in: the frame before the target (whose output primes the overlap and synthesis
  // history), and before it enough frames to hold the largest step back of its main data.
  size_t k = frames.size() - 1;
  size_t begin = k > 0 ? k - 1 : 0;
  int held = 0;
  while (begin > 0 && held < 511) held += frames[--begin].reservoirBytes;
  at.feedFrom = frames[begin].offset;
  at.targetFrame = frames[k].offset - at.feedFrom;
  return at;
}

// MPEG audio decoder: frame layer, layers I to III, hybrid and polyphase synthesis.
#include "audio/mp3_decoder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "audio/mp3_tables.h"

namespace {
const int kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};
const int kFrequencies[9] = {44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000};

// MPEG-1 scale-factor lengths by scalefac_compress
const uint8_t kSlen[2][16] = {{0, 0, 0, 0, 3, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4},
                              {0, 1, 2, 3, 0, 1, 2, 3, 1, 2, 3, 1, 2, 3, 2, 3}};
const uint8_t kPretab[22] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};
// lower sampling frequencies: scale factors per field, by row and block kind (long, short, mixed)
const uint8_t kLsfBandCounts[6][3][4] = {
    {{6, 5, 5, 5}, {9, 9, 9, 9}, {6, 9, 9, 9}},     {{6, 5, 7, 3}, {9, 9, 12, 6}, {6, 9, 12, 6}},
    {{11, 10, 0, 0}, {18, 18, 0, 0}, {15, 18, 0, 0}}, {{7, 7, 7, 0}, {12, 12, 12, 0}, {6, 15, 12, 0}},
    {{6, 6, 6, 3}, {12, 9, 9, 6}, {6, 12, 9, 6}},   {{8, 8, 5, 0}, {15, 12, 9, 0}, {6, 18, 9, 0}},
};

// Four floats in one SSE/NEON register (GCC and Clang vector extension); the hot loops of the
// IMDCT and the synthesis window keep their sums in these.
typedef float V4 __attribute__((vector_size(16)));
typedef int32_t I4 __attribute__((vector_size(16)));
inline V4 Load4(const float* p) {
  V4 v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}
inline void Store4(float* p, V4 v) { std::memcpy(p, &v, sizeof(v)); }

// Lee's fast DCT-II, X[m] = sum_k x[k] cos(pi (2k + 1) m / 2N); c holds the factors
// 1 / (2 cos(pi (2k + 1) / 2N)) for N, then for N / 2, and so on. T is float, or V4 for four
// transforms at once.
template <typename T, int N>
struct FastDct {
  __attribute__((always_inline)) static inline void Run(const T* x, T* X, const float* c) {
    constexpr int H = N / 2;
    T a[H], b[H], A[H], B[H];
    for (int k = 0; k < H; ++k) {
      a[k] = x[k] + x[N - 1 - k];
      b[k] = (x[k] - x[N - 1 - k]) * c[k];
    }
    FastDct<T, H>::Run(a, A, c + H);
    FastDct<T, H>::Run(b, B, c + H);
    for (int m = 0; m < H - 1; ++m) {
      X[2 * m] = A[m];
      X[2 * m + 1] = B[m] + B[m + 1];
    }
    X[N - 2] = A[H - 1];
    X[N - 1] = B[H - 1];
  }
};
template <typename T>
struct FastDct<T, 1> {
  static inline void Run(const T* x, T* X, const float*) { X[0] = x[0]; }
};

// The synthesis vector V[0..63] from the transform's 32 outputs (its symmetries).
template <typename T>
inline void SpreadMatrix(const T* X, T* v) {
  for (int i = 0; i < 16; ++i) v[i] = X[16 + i];
  v[16] = T{};
  for (int i = 17; i < 48; ++i) v[i] = -X[48 - i];
  v[48] = -X[0];
  for (int i = 49; i < 64; ++i) v[i] = -X[i - 48];
}

}  // namespace

Mp3Decoder::Mp3Decoder() { Init(); }

int Mp3Decoder::SamplingFrequency(int samplingIndex) {
  return samplingIndex >= 0 && samplingIndex < 9 ? kFrequencies[samplingIndex] : 0;
}

int Mp3Decoder::SampleRate() const { return hdr_.valid ? kFrequencies[hdr_.samplingIndex] : 0; }

int Mp3Decoder::Bitrate() const {
  return hdr_.valid ? kBitrates[hdr_.lsf][hdr_.layer - 1][hdr_.bitrateIndex] : 0;
}

void Mp3Decoder::BuildTables() {
  // the synthesis window scaled to the output's full scale (an exact product)
  for (int i = 0; i < 512; ++i) window_[i] = kSynthesisWindow[i] * static_cast<float>(kFullScale);
}

void Mp3Decoder::Init() {
  if (!tablesBuilt_) {  // the tables never change: built once per decoder
    BuildTables();
    tablesBuilt_ = true;
  }
  head_ = 0;
  buffered_ = 0;
  consumed_ = 0;
  frameOffset_ = 0;
  outputChannels_ = 0;
  layoutChanges_ = 0;
  hdr_ = Header();
  headerWord_ = 0;
  frameSize_ = 0;
  previousFrameSize_ = -1;
  reservoirAvail_ = 0;
  copiedBack_ = 0;
  previousNoPadding_ = 0;
  sideInfoSize_ = 0;
  mainDataSize_ = 0;
  headerParsed_ = sideInfoParsed_ = dataParsed_ = false;
  freeFormat_ = previousFreeFormat_ = false;
  damaged_ = false;
  xingFound_ = false;
  xingFrames_ = 0;
  std::memset(reservoir_, 0, sizeof(reservoir_));
  reservoirIndex_ = 0;
  bitBuf_ = reservoir_[0];
  bitPos_ = 512 * 8;
  bitEnd_ = (kReservoirSize - 8) * 8;
  std::memset(scaleLong_, 0, sizeof(scaleLong_));
  std::memset(scaleShort_, 0, sizeof(scaleShort_));
  std::memset(overlap_, 0, sizeof(overlap_));
  std::memset(history_, 0, sizeof(history_));
  vpos_ = 0;
}

void Mp3Decoder::Exit() {
  head_ = 0;
  buffered_ = 0;
}

// ---------------------------------------------------------------------------------------------
// input queue

bool Mp3Decoder::Append(const uint8_t* data, int n) {
  if (n > kQueueCapacity - buffered_) return false;
  int tail = (head_ + buffered_) & (kQueueCapacity - 1);
  int first = std::min(n, kQueueCapacity - tail);
  std::memcpy(queue_ + tail, data, first);
  std::memcpy(queue_, data + first, n - first);
  buffered_ += n;
  return true;
}

void Mp3Decoder::Take(uint8_t* dst, int n) {
  int first = std::min(n, kQueueCapacity - head_);
  std::memcpy(dst, queue_ + head_, first);
  std::memcpy(dst + first, queue_, n - first);
  Skip(n);
}

void Mp3Decoder::Skip(int n) {
  head_ = (head_ + n) & (kQueueCapacity - 1);
  buffered_ -= n;
  consumed_ += static_cast<uint64_t>(n);
}

// ---------------------------------------------------------------------------------------------
// headers

bool Mp3Decoder::CheckHeader(uint32_t word, int requiredLayer) {
  if (word < 0xFFE00000u) return false;
  int layerBits = (word >> 17) & 3;
  if (layerBits == 0) return false;
  if (requiredLayer != 0 && 4 - layerBits != requiredLayer) return false;
  if (((word >> 12) & 15) == 15) return false;
  if (((word >> 10) & 3) == 3) return false;
  return true;
}

Mp3Decoder::Header Mp3Decoder::DecodeHeader(uint32_t word) {
  Header h;
  if (!CheckHeader(word, 0)) return h;
  h.valid = true;
  if (word & (1u << 20)) {
    h.lsf = (word & (1u << 19)) ? 0 : 1;
    h.mpeg25 = 0;
  } else {
    h.lsf = 1;
    h.mpeg25 = 1;
  }
  int sampling = (word >> 10) & 3;
  h.samplingIndex = h.mpeg25 ? 6 + sampling : sampling + 3 * h.lsf;
  h.layer = 4 - static_cast<int>((word >> 17) & 3);
  h.errorProtection = ((word >> 16) & 1) ? 0 : 1;
  h.bitrateIndex = (word >> 12) & 15;
  h.padding = (word >> 9) & 1;
  h.extension = (word >> 8) & 1;
  h.mode = (word >> 6) & 3;
  h.modeExtension = (word >> 4) & 3;
  h.copyright = (word >> 3) & 1;
  h.original = (word >> 2) & 1;
  h.emphasis = word & 3;
  h.channels = h.mode == 3 ? 1 : 2;
  int bitrate = kBitrates[h.lsf][h.layer - 1][h.bitrateIndex];
  int f = kFrequencies[h.samplingIndex];
  switch (h.layer) {
    case 1:
      h.frameSize = ((bitrate * 12000 / f) + h.padding) * 4 - 4;
      break;
    case 2:
      h.frameSize = bitrate * 144000 / f + h.padding - 4;
      break;
    default:
      h.frameSize = h.bitrateIndex == 0 ? 0 : bitrate * 144000 / (f << h.lsf) + h.padding - 4;
      break;
  }
  if (h.frameSize < 0) h.frameSize = 0;  // free format in layers I and II: size from the search
  return h;
}

int Mp3Decoder::XingTagOffset(const Header& h) {
  return h.lsf ? (h.channels == 2 ? 21 : 13) : (h.channels == 2 ? 36 : 21);
}

int Mp3Decoder::XingFrameLength(const Header& h) {
  if (!h.valid) return 0;
  const int length = (h.lsf ? 72000 : 144000) * kBitrates[h.lsf][2][h.bitrateIndex] / kFrequencies[h.samplingIndex];
  return length >= 48 ? length : 0;  // a free-format tag frame has no length to skip
}

bool Mp3Decoder::HasXingTag(const uint8_t* frame, size_t size) {
  if (size < 48) return false;
  const Header h = DecodeHeader((uint32_t(frame[0]) << 24) | (uint32_t(frame[1]) << 16) |
                                (uint32_t(frame[2]) << 8) | frame[3]);
  const int offset = XingTagOffset(h);
  return h.valid && XingFrameLength(h) > 0 && std::memcmp(frame + offset, "Xing", 4) == 0;
}

int Mp3Decoder::Search(bool freeMatch, int* pending) const {
  if (pending) *pending = -1;
  if (buffered_ < 4) return -1;
  int required = hdr_.valid ? hdr_.layer : 0;
  uint32_t word = (uint32_t(PeekByte(0)) << 16) | (uint32_t(PeekByte(1)) << 8) | PeekByte(2);
  for (int i = 0; i + 4 <= buffered_; ++i) {
    word = (word << 8) | PeekByte(i + 3);
    if (!CheckHeader(word, required)) continue;
    if (freeMatch && hdr_.valid) {
      Header h = DecodeHeader(word);
      if (h.lsf != hdr_.lsf || h.mpeg25 != hdr_.mpeg25 || h.samplingIndex != hdr_.samplingIndex) continue;
      if (h.channels != hdr_.channels) {
        // Another channel layout: a stray sync pattern, unless the next header of the stream
        // follows where this frame ends. Then the stream has changed its layout.
        if (h.frameSize == 0) continue;  // free format: no length to confirm it by
        const int next = i + 4 + h.frameSize;
        if (next + 4 > buffered_) {
          if (pending) *pending = i;
          return -1;
        }
        const uint32_t following = (uint32_t(PeekByte(next)) << 24) | (uint32_t(PeekByte(next + 1)) << 16) |
                                   (uint32_t(PeekByte(next + 2)) << 8) | PeekByte(next + 3);
        const Header f = DecodeHeader(following);
        if (!CheckHeader(following, h.layer) || f.lsf != h.lsf || f.mpeg25 != h.mpeg25 ||
            f.samplingIndex != h.samplingIndex)
          continue;
      }
    }
    return i;
  }
  return -1;
}

// The n bytes before a header that do not belong to a frame: keep what fits as reservoir data
// behind the previous frame, so that the next frame's main_data_begin can still reach it.
void Mp3Decoder::OutOfSync(int n) {
  previousFreeFormat_ = false;
  if (previousFrameSize_ < 0) {  // nothing before the first frame can be reservoir data
    Skip(n);
    return;
  }
  int used = previousFrameSize_;
  if (used > kReservoirData) used = 0;
  if (used + n > kReservoirData) {
    int drop = used + n - kReservoirData;
    Skip(drop);
    n -= drop;
  }
  Take(reservoir_[reservoirIndex_] + 512 + used, n);
  reservoirAvail_ = used == previousFrameSize_ ? reservoirAvail_ + n : n;
  previousFrameSize_ = used + n;
  reservoirAvail_ = std::min(reservoirAvail_, 512 + previousFrameSize_);
}

// ---------------------------------------------------------------------------------------------
// frame layer

int Mp3Decoder::Decode(const uint8_t* input, int inputSize, uint8_t* output, int outputRoom,
                       int* produced) {
  if (produced) *produced = 0;
  spectrumValues_ = 0;
  if (outputRoom < kMinOutputRoom || !output) return kError;
  if (input && inputSize > 0 && !Append(input, inputSize)) return kError;
  int bytesOut = 0;
  int result = kNeedMore;

  if (!headerParsed_) {
    int n;
    bool first = previousFrameSize_ == -1;
    if (first) {
      n = Search(false);
      if (n < 0) {
        if (buffered_ > 3) Skip(buffered_ - 3);
        return kNeedMore;
      }
      if (buffered_ < n + 48) return kNeedMore;
      uint32_t word = (uint32_t(PeekByte(n)) << 24) | (uint32_t(PeekByte(n + 1)) << 16) |
                      (uint32_t(PeekByte(n + 2)) << 8) | PeekByte(n + 3);
      Header h = DecodeHeader(word);
      int offset = XingTagOffset(h);
      if (PeekByte(n + offset) == 'X' && PeekByte(n + offset + 1) == 'i' &&
          PeekByte(n + offset + 2) == 'n' && PeekByte(n + offset + 3) == 'g') {
        int length = XingFrameLength(h);
        if (length > 0) {
          if (buffered_ < n + length) {
            if (buffered_ + 64 > kQueueCapacity) {  // cannot hold the tag frame: drop its start
              Skip(n + 4);
            }
            return kNeedMore;
          }
          int p = n + offset + 4;
          uint32_t flags = (uint32_t(PeekByte(p)) << 24) | (uint32_t(PeekByte(p + 1)) << 16) |
                           (uint32_t(PeekByte(p + 2)) << 8) | PeekByte(p + 3);
          if (flags & 1) {
            p += 4;
            xingFrames_ = (uint32_t(PeekByte(p)) << 24) | (uint32_t(PeekByte(p + 1)) << 16) |
                          (uint32_t(PeekByte(p + 2)) << 8) | PeekByte(p + 3);
          }
          xingFound_ = true;
          Skip(n + length);
          return kNeedMore;
        }
      }
    } else {
      int pending = -1;
      n = Search(true, &pending);
      if (n < 0) {
        if (pending >= 0) {
          // a header of another layout waits for the bytes that confirm it
          if (pending > 0) OutOfSync(pending);
          return kNeedMore;
        }
        // Nothing that looks like a frame: keep the bytes as reservoir data, all but the last
        // three, which may begin a header.
        if (buffered_ > kReservoirData + 3) OutOfSync(buffered_ - 3);
        return kNeedMore;
      }
    }
    if (n > 0) OutOfSync(n);
    frameOffset_ = consumed_;
    uint8_t hb[4];
    Take(hb, 4);
    headerWord_ = (uint32_t(hb[0]) << 24) | (uint32_t(hb[1]) << 16) | (uint32_t(hb[2]) << 8) | hb[3];
    const int previousChannels = hdr_.valid ? hdr_.channels : 0;
    hdr_ = DecodeHeader(headerWord_);
    if (first) outputChannels_ = hdr_.channels;
    if (previousChannels && hdr_.channels != previousChannels) {
      ++layoutChanges_;
      if (hdr_.channels == 2) {
        // The right channel goes on from the one channel both sides have been playing.
        std::memcpy(overlap_[1], overlap_[0], sizeof(overlap_[0]));
        std::memcpy(history_[1], history_[0], sizeof(history_[0]));
      }
    }
    frameSize_ = hdr_.frameSize;
    headerParsed_ = true;
    freeFormat_ = frameSize_ == 0;
    damaged_ = false;
    if (hdr_.layer == 3) {
      sideInfoSize_ = (hdr_.lsf ? (hdr_.channels == 1 ? 9 : 17) : (hdr_.channels == 1 ? 17 : 32)) +
                      (hdr_.errorProtection ? 2 : 0);
    } else {
      sideInfoSize_ = 0;
    }
    reservoirIndex_ ^= 1;
    bitBuf_ = reservoir_[reservoirIndex_];
    bitPos_ = 512 * 8;
    if (first) return kNeedMore;
  }

  if (!sideInfoParsed_) {
    if (hdr_.layer == 3) {
      if (buffered_ < sideInfoSize_) return kNeedMore;
      Take(reservoir_[reservoirIndex_] + 512, sideInfoSize_);
      bitBuf_ = reservoir_[reservoirIndex_];
      bitPos_ = 512 * 8;
      if (hdr_.errorProtection) Bits(16);
      int bits = 0;
      ReadSideInfo(&bits);
      mainDataSize_ = bits < 0 ? 0 : (bits + 7) / 8;
      int limit = freeFormat_ ? kReservoirData - sideInfoSize_ : frameSize_ - sideInfoSize_;
      if (mainDataSize_ > limit) {  // granules longer than the frame: damage
        mainDataSize_ = std::max(limit, 0);
        damaged_ = true;
      }
    } else {
      if (freeFormat_) {
        // free-format layers I and II: the frame ends at the next header
        int n = Search(true);
        if (n < 0) {
          if (buffered_ < kReservoirData) return kNeedMore;
          n = kReservoirData;
        }
        frameSize_ = std::min(n, kReservoirData);
        freeFormat_ = false;
      }
      mainDataSize_ = frameSize_;
      sideInfoSize_ = 0;
    }
    sideInfoParsed_ = true;
  }

  if (!dataParsed_) {
    if (buffered_ < mainDataSize_) return kNeedMore;
    uint8_t* res = reservoir_[reservoirIndex_];
    Take(res + 512 + sideInfoSize_, mainDataSize_);
    // bytes past the main data are stale; clear a little so a short frame reads zeros
    std::memset(res + 512 + sideInfoSize_ + mainDataSize_, 0,
                std::min(8, kReservoirSize - (512 + sideInfoSize_ + mainDataSize_)));
    bitBuf_ = res;
    bitEnd_ = (kReservoirSize - 8) * 8;
    bitPos_ = 512 * 8;
    switch (hdr_.layer) {
      case 1:
        if (hdr_.errorProtection) Bits(16);
        DecodeLayer1(output, &bytesOut);
        break;
      case 2:
        if (hdr_.errorProtection) Bits(16);
        DecodeLayer2(output, &bytesOut);
        break;
      default:
        DecodeLayer3(output, &bytesOut);
        break;
    }
    bitBuf_ = res;
    bitPos_ = (512 + sideInfoSize_ + mainDataSize_) * 8;
    dataParsed_ = true;
    result = kFrameDecoded;
    if (produced) *produced = bytesOut;
  } else {
    result = kNeedMore;
  }

  if (freeFormat_ && frameSize_ == 0) {
    if (previousFreeFormat_) {
      frameSize_ = previousNoPadding_ + hdr_.padding;
    } else {
      int n = Search(true);
      if (n < 0 && buffered_ < kReservoirData) return result;
      if (n < 0 || n + sideInfoSize_ + mainDataSize_ > kReservoirData) {
        // no next frame within a frame's reach: end this one at its main data, and let the
        // next free-format frame find its own end
        frameSize_ = sideInfoSize_ + mainDataSize_;
        freeFormat_ = false;
      } else {
        frameSize_ = n + sideInfoSize_ + mainDataSize_;
        previousNoPadding_ = frameSize_ - hdr_.padding;
      }
    }
  }

  int rest = frameSize_ - sideInfoSize_ - mainDataSize_;
  if (rest > 0) {
    if (buffered_ < rest) return result;
    int start = 512 + sideInfoSize_ + mainDataSize_;
    int fits = std::max(0, std::min(rest, kReservoirSize - 8 - start));
    Take(reservoir_[reservoirIndex_] + start, fits);
    Skip(rest - fits);
  }
  previousFrameSize_ = std::min(std::max(frameSize_, 0), kReservoirData);
  reservoirAvail_ = std::min(copiedBack_ + std::max(previousFrameSize_ - sideInfoSize_, 0),
                             512 + previousFrameSize_);
  copiedBack_ = 0;
  previousFreeFormat_ = freeFormat_;
  frameSize_ = 0;
  headerParsed_ = sideInfoParsed_ = dataParsed_ = false;
  return result;
}

// ---------------------------------------------------------------------------------------------
// bit reader

uint32_t Mp3Decoder::Bits(int n) {
  if (n <= 0) return 0;
  if (bitPos_ + n > bitEnd_) {
    bitPos_ = bitEnd_;
    return 0;
  }
  const uint8_t* p = bitBuf_ + (bitPos_ >> 3);
  uint32_t w = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
  w <<= (bitPos_ & 7);
  bitPos_ += n;
  return w >> (32 - n);
}

// ---------------------------------------------------------------------------------------------
// layer III

bool Mp3Decoder::ReadSideInfo(int* mainDataBits) {
  const int nch = hdr_.channels;
  const int ngr = hdr_.lsf ? 1 : 2;
  const int sidx = hdr_.samplingIndex;
  if (hdr_.lsf) {
    mainDataBegin_ = static_cast<int>(Bits(8));
    Bits(nch == 1 ? 1 : 2);
  } else {
    mainDataBegin_ = static_cast<int>(Bits(9));
    Bits(nch == 1 ? 5 : 3);
    for (int ch = 0; ch < nch; ++ch) scfsi_[ch] = static_cast<int>(Bits(4));
  }
  int total = 0;
  for (int gr = 0; gr < ngr; ++gr) {
    for (int ch = 0; ch < nch; ++ch) {
      Granule& g = granule_[gr][ch];
      g = Granule();
      g.part23 = static_cast<int>(Bits(12));
      g.bigValues = std::min(static_cast<int>(Bits(9)), 288);
      g.globalGain = static_cast<int>(Bits(8));
      g.sfCompress = static_cast<int>(Bits(hdr_.lsf ? 9 : 4));
      g.windowSwitching = Bit();
      if (g.windowSwitching) {
        g.blockType = static_cast<int>(Bits(2));
        g.mixed = Bit();
        g.table[0] = static_cast<int>(Bits(5));
        g.table[1] = static_cast<int>(Bits(5));
        g.table[2] = 0;
        for (int w = 0; w < 3; ++w) g.subblockGain[w] = static_cast<int>(Bits(3));
        if (g.blockType == 0) g.blockType = 1;  // block type 0 with window switching is damage
        if (g.blockType == 2)  // region 1 starts at short band 3: line 72 at 8000 Hz, else 36
          g.region1 = sidx == 8 ? 72 : 36;
        else if (!hdr_.lsf)
          g.region1 = 36;
        else
          g.region1 = sidx == 8 ? 108 : 54;
        g.region2 = 576;
      } else {
        for (int r = 0; r < 3; ++r) g.table[r] = static_cast<int>(Bits(5));
        int r0 = static_cast<int>(Bits(4));
        int r1 = static_cast<int>(Bits(3));
        // a region count past the last band ends the region at the last line
        g.region1 = kLongBands[sidx][std::min(r0 + 1, 22)];
        g.region2 = kLongBands[sidx][std::min(r0 + r1 + 2, 22)];
      }
      if (!hdr_.lsf) g.preflag = Bit();
      g.sfScale = Bit();
      g.count1Table = Bit();
      total += g.part23;
    }
  }
  *mainDataBits = total - 8 * mainDataBegin_;
  return true;
}

int Mp3Decoder::ReadScaleFactors(int ch, int gr) {
  Granule& g = granule_[gr][ch];
  const int start = bitPos_;
  int* sl = scaleLong_[ch];
  int(*ss)[3] = scaleShort_[ch];
  const bool shortBlocks = g.windowSwitching && g.blockType == 2;
  if (!hdr_.lsf) {
    int s1 = kSlen[0][g.sfCompress], s2 = kSlen[1][g.sfCompress];
    if (shortBlocks) {
      int sfb = 0;
      if (g.mixed) {
        for (int b = 0; b < 8; ++b) sl[b] = static_cast<int>(Bits(s1));
        sfb = 3;
      }
      for (; sfb < 6; ++sfb)
        for (int w = 0; w < 3; ++w) ss[sfb][w] = static_cast<int>(Bits(s1));
      for (; sfb < 12; ++sfb)
        for (int w = 0; w < 3; ++w) ss[sfb][w] = static_cast<int>(Bits(s2));
      for (int w = 0; w < 3; ++w) ss[12][w] = 0;
    } else {
      static const int kGroupStart[5] = {0, 6, 11, 16, 21};
      for (int group = 0; group < 4; ++group) {
        bool keep = gr == 1 && (scfsi_[ch] & (8 >> group));
        if (keep) continue;
        int len = group < 2 ? s1 : s2;
        for (int b = kGroupStart[group]; b < kGroupStart[group + 1]; ++b)
          sl[b] = static_cast<int>(Bits(len));
      }
      sl[21] = 0;
    }
  } else {
    int slen[4] = {0, 0, 0, 0};
    int row = 0;
    bool intensityRight = ch == 1 && hdr_.mode == 1 && (hdr_.modeExtension & 1);
    if (!intensityRight) {
      int sfc = g.sfCompress;
      if (sfc < 400) {
        slen[0] = (sfc >> 4) / 5;
        slen[1] = (sfc >> 4) % 5;
        slen[2] = (sfc & 15) >> 2;
        slen[3] = sfc & 3;
        row = 0;
        g.preflag = 0;
      } else if (sfc < 500) {
        sfc -= 400;
        slen[0] = (sfc >> 2) / 5;
        slen[1] = (sfc >> 2) % 5;
        slen[2] = sfc & 3;
        row = 1;
        g.preflag = 0;
      } else {
        sfc -= 500;
        slen[0] = sfc / 3;
        slen[1] = sfc % 3;
        row = 2;
        g.preflag = 1;
      }
    } else {
      int sfc = g.sfCompress >> 1;
      if (sfc < 180) {
        slen[0] = sfc / 36;
        slen[1] = (sfc % 36) / 6;
        slen[2] = (sfc % 36) % 6;
        row = 3;
      } else if (sfc < 244) {
        sfc -= 180;
        slen[0] = (sfc & 63) >> 4;
        slen[1] = (sfc & 15) >> 2;
        slen[2] = sfc & 3;
        row = 4;
      } else {
        sfc -= 244;
        slen[0] = sfc / 3;
        slen[1] = sfc % 3;
        row = 5;
      }
      g.preflag = 0;
    }
    int kind = shortBlocks ? (g.mixed ? 2 : 1) : 0;
    int values[40];
    int count = 0;
    for (int f = 0; f < 4; ++f)
      for (int j = 0; j < kLsfBandCounts[row][kind][f]; ++j)
        values[count++] = static_cast<int>(Bits(slen[f]));
    int k = 0;
    if (kind == 0) {
      for (int b = 0; b < 22; ++b) sl[b] = b < count ? values[b] : 0;
    } else {
      int sfb = 0;
      if (kind == 2) {
        for (int b = 0; b < 6; ++b) sl[b] = values[k++];
        sfb = 3;
      }
      for (; sfb < 13; ++sfb)
        for (int w = 0; w < 3; ++w) ss[sfb][w] = k < count ? values[k++] : 0;
    }
  }
  return bitPos_ - start;
}

bool Mp3Decoder::HuffmanDecode(int ch, const Granule& g, int endBit) {
  int* q = quant_[ch];
  const int bigEnd = g.bigValues * 2;
  const int bounds[3] = {std::min(g.region1, bigEnd), std::min(g.region2, bigEnd), bigEnd};
  int i = 0;
  const uint8_t* buf = bitBuf_;
  int pos = bitPos_;
  // A value pair takes at most 19 + 2 x (13 + 1) bits and a quadruple 10, so one 64-bit window
  // (at least 57 valid bits) serves a whole pair. Checking once per pair against a margin of
  // 64 bits keeps every 8-byte load inside the buffer.
  const int safeEnd = bitEnd_ - 64;
  auto window = [&]() -> uint64_t {
    uint64_t w;
    std::memcpy(&w, buf + (pos >> 3), 8);
    return __builtin_bswap64(w) << (pos & 7);
  };
  // Decodes one code from the top of w, returning the table value; `used` grows by its length.
  auto decode = [&](const HuffTableInfo& t, uint64_t w, int* used) -> int {
    const uint32_t* base = kHuffLookup + t.start;
    int bits = t.bits;
    for (;;) {
      uint32_t e = base[(w << *used) >> (64 - bits)];
      if (!(e & 0x10000)) {
        *used += static_cast<int>((e >> 8) & 0xff);
        return static_cast<int>(e & 0xff);
      }
      *used += bits;
      bits = static_cast<int>(e & 0xff);
      base = kHuffLookup + (e >> 17);
    }
  };
  // A pair that would take bits past the granule's part2_3_length is damage (the bits belong to
  // what follows): the granule's values end before it, and decoding goes on with the next
  // granule at its own start. (Ending the whole frame there would drop its other granules and
  // shorten the output; keeping what the bits past the end give would play noise.)
  bool ok = true;
  for (int r = 0; r < 3 && ok; ++r) {
    const HuffTableInfo& t = kHuffTables[g.table[r]];
    const int end = bounds[r];
    if (t.bits == 0) {  // table 0 (and the unused 4 and 14): zeros without bits
      for (; i < end; ++i) q[i] = 0;
      continue;
    }
    const int linbits = t.linbits;
    for (; i < end; i += 2) {
      if (pos > safeEnd) {  // past any possible granule: damage, the rest stays zero
        for (; i < end; ++i) q[i] = 0;
        break;
      }
      const uint64_t w = window();
      int used = 0;
      int v = decode(t, w, &used);
      int x = v >> 4, y = v & 15;
      if (x == 15 && linbits) {
        x += static_cast<int>((w << used) >> (64 - linbits));
        used += linbits;
      }
      if (x) {
        if ((w << used) >> 63) x = -x;
        ++used;
      }
      if (y == 15 && linbits) {
        y += static_cast<int>((w << used) >> (64 - linbits));
        used += linbits;
      }
      if (y) {
        if ((w << used) >> 63) y = -y;
        ++used;
      }
      if (pos + used > endBit) {
        ok = false;
        break;
      }
      pos += used;
      q[i] = x;
      q[i + 1] = y;
    }
  }
  if (ok) {
    const HuffTableInfo& t = kHuffTables[32 + g.count1Table];
    while (i + 4 <= 576 && pos < endBit && pos <= safeEnd) {
      const uint64_t w = window();
      int used = 0;
      const int v = decode(t, w, &used);
      auto signedOne = [&](int bit) -> int {
        if (!(v & bit)) return 0;
        const int value = ((w << used) >> 63) ? -1 : 1;
        ++used;
        return value;
      };
      const int a = signedOne(8);
      const int b = signedOne(4);
      const int c = signedOne(2);
      const int d = signedOne(1);
      pos += used;
      if (pos > endBit) break;  // the last quadruple overran the granule: drop it
      q[i] = a;
      q[i + 1] = b;
      q[i + 2] = c;
      q[i + 3] = d;
      i += 4;
    }
  }
  quantEnd_[ch] = i;
  bitPos_ = pos;
  return ok;
}

void Mp3Decoder::Dequantise(int ch, const Granule& g, bool ms) {
  const int sidx = hdr_.samplingIndex;
  const int16_t* lb = kLongBands[sidx];
  const int16_t* sb = kShortBands[sidx];
  const int base = 256 - g.globalGain + (ms ? 2 : 0);
  const int shift = g.sfScale + 1;
  float* x = xr_[ch];
  const int* q = quant_[ch];
  const int end = quantEnd_[ch];
  auto value = [&](int v, float gain) -> float {
    const float p = kPower[v < 0 ? -v : v] * gain;
    return v < 0 ? -p : p;
  };
  auto gainAt = [&](int index) -> float { return kGain[std::clamp(index, 0, 511)]; };
  const int* sl = scaleLong_[ch];
  if (!(g.windowSwitching && g.blockType == 2)) {
    for (int i = end; i < 576; ++i) x[i] = 0.0f;
    for (int b = 0; b < 22 && lb[b] < end; ++b) {
      const int steps = sl[b] + (g.preflag ? kPretab[b] : 0);
      const float gain = gainAt(base + steps * (1 << shift));
      const int stop = std::min<int>(lb[b + 1], end);
      int i = lb[b];
      // four lines at a time: the powers looked up, the gain and the signs applied together
      const V4 g4 = {gain, gain, gain, gain};
      const I4 signBit = {INT32_MIN, INT32_MIN, INT32_MIN, INT32_MIN};
      for (; i + 4 <= stop; i += 4) {
        I4 v;
        std::memcpy(&v, q + i, sizeof(v));
        const V4 p = {kPower[std::abs(v[0])], kPower[std::abs(v[1])], kPower[std::abs(v[2])],
                      kPower[std::abs(v[3])]};
        const I4 sign = (v < 0) & signBit;
        Store4(x + i, reinterpret_cast<V4>(reinterpret_cast<I4>(p * g4) ^ sign));
      }
      for (; i < stop; ++i) x[i] = value(q[i], gain);
    }
    return;
  }
  std::memset(x, 0, sizeof(xr_[ch]));
  int i = 0;
  int firstShort = 0;
  if (g.mixed) {
    int b = 0;
    for (; lb[b] < 36; ++b) {
      const int steps = sl[b] + (g.preflag ? kPretab[b] : 0);
      const float gain = gainAt(base + steps * (1 << shift));
      int stop = std::min<int>(lb[b + 1], end);
      for (int k = lb[b]; k < stop; ++k) x[k] = value(q[k], gain);
    }
    i = lb[b];
    firstShort = 0;
    while (firstShort < 13 && sb[firstShort] * 3 < i) ++firstShort;
  }
  for (int s = firstShort; s < 13 && i < end; ++s) {
    const int width = sb[s + 1] - sb[s];
    for (int w = 0; w < 3; ++w) {
      float gain = gainAt(base + 8 * g.subblockGain[w] + (scaleShort_[ch][s][w] << shift));
      for (int j = 0; j < width; ++j, ++i) {
        if (i >= end) return;
        int f = sb[s] + j;
        x[(f / 6) * 18 + w * 6 + f % 6] = value(q[i], gain);
      }
    }
  }
}

void Mp3Decoder::StereoProcess(const Granule& gl, const Granule& gr) {
  (void)gl;
  const bool ms = hdr_.mode == 1 && (hdr_.modeExtension & 2);
  const bool is = hdr_.mode == 1 && (hdr_.modeExtension & 1);
  float* l = xr_[0];
  float* r = xr_[1];
  if (ms) {
    for (int i = 0; i < 576; ++i) {
      float a = l[i], b = r[i];
      l[i] = a + b;
      r[i] = a - b;
    }
  }
  if (!is) return;
  const int sidx = hdr_.samplingIndex;
  const int16_t* lb = kLongBands[sidx];
  const int16_t* sb = kShortBands[sidx];
  const int* q = quant_[1];
  const int end = quantEnd_[1];
  const float scale = ms ? std::sqrt(2.0f) : 1.0f;
  // Position 7 leaves a band as it is. MPEG-1 positions run from 0 to 6 (tan(i pi / 12) up to
  // 90 degrees); the larger values that a four-bit scale factor can hold are treated like 7,
  // where the tangent formula would give negative or infinite factors.
  auto ratios = [&](int pos, float* k1, float* k2) -> bool {
    if (pos == 7 || pos < 0 || pos > 15 || (!hdr_.lsf && pos > 7)) return false;
    if (hdr_.lsf) {
      *k1 = kIsRatioLsf[gr.sfCompress & 1][pos][0] * scale;
      *k2 = kIsRatioLsf[gr.sfCompress & 1][pos][1] * scale;
    } else {
      *k1 = kIsRatio[pos][0] * scale;
      *k2 = kIsRatio[pos][1] * scale;
    }
    return true;
  };
  auto apply = [&](int i, float k1, float k2) {
    float v = l[i];
    l[i] = v * k1;
    r[i] = v * k2;
  };
  if (!(gr.windowSwitching && gr.blockType == 2)) {
    int last = -1;
    for (int i = end - 1; i >= 0; --i)
      if (q[i]) {
        last = i;
        break;
      }
    int start = 0;
    while (start < 22 && lb[start] <= last) ++start;
    for (int b = start; b < 22; ++b) {
      float k1, k2;
      if (!ratios(scaleLong_[1][b == 21 ? 20 : b], &k1, &k2)) continue;
      for (int i = lb[b]; i < lb[b + 1]; ++i) apply(i, k1, k2);
    }
    return;
  }
  // short (and mixed) blocks: per window, from the band above the last nonzero value
  int i = 0;
  int firstShort = 0;
  int lastLong = -1;
  if (gr.mixed) {
    int b = 0;
    while (lb[b] < 36) ++b;
    i = lb[b];
    while (firstShort < 13 && sb[firstShort] * 3 < i) ++firstShort;
    for (int k = std::min(i, end) - 1; k >= 0; --k)
      if (q[k]) {
        lastLong = k;
        break;
      }
  }
  int startBand[3] = {firstShort, firstShort, firstShort};
  for (int s = firstShort; s < 13; ++s) {
    const int width = sb[s + 1] - sb[s];
    for (int w = 0; w < 3; ++w)
      for (int j = 0; j < width; ++j, ++i)
        if (i < end && q[i]) startBand[w] = s + 1;
  }
  for (int w = 0; w < 3; ++w) {
    for (int s = startBand[w]; s < 13; ++s) {
      float k1, k2;
      if (!ratios(scaleShort_[1][s == 12 ? 11 : s][w], &k1, &k2)) continue;
      for (int f = sb[s]; f < sb[s + 1]; ++f) apply((f / 6) * 18 + w * 6 + f % 6, k1, k2);
    }
  }
  if (gr.mixed && startBand[0] <= 3 && startBand[1] <= 3 && startBand[2] <= 3) {
    int start = 0;
    while (lb[start] < 36 && lb[start] <= lastLong) ++start;
    for (int b = start; b < 8 && lb[b] < 36; ++b) {
      float k1, k2;
      if (!ratios(scaleLong_[1][b], &k1, &k2)) continue;
      for (int k = lb[b]; k < lb[b + 1]; ++k) apply(k, k1, k2);
    }
  }
}

void Mp3Decoder::Hybrid(int ch, const Granule& g) {
  float* x = xr_[ch];
  float* ov = overlap_[ch];
  int active = 0;
  for (int i = lineLimit_[ch] - 1; i >= 0; --i)
    if (x[i] != 0.0f) {
      active = i / 18 + 1;
      break;
    }
  const bool shortBlocks = g.windowSwitching && g.blockType == 2;
  // antialias butterflies on the subband boundaries that carry values
  int boundaries = shortBlocks ? (g.mixed ? std::min(active, 1) : 0) : std::min(active, 31);
  for (int sb = 1; sb <= boundaries; ++sb) {
    float* lo = x + sb * 18 - 1;
    float* hi = x + sb * 18;
    for (int i = 0; i < 8; ++i) {
      float a = lo[-i], b = hi[i];
      lo[-i] = a * kAntialiasCs[i] - b * kAntialiasCa[i];
      hi[i] = b * kAntialiasCs[i] + a * kAntialiasCa[i];
    }
  }
  if (boundaries > 0 && boundaries == active && active < 32) ++active;

  float (*out)[32] = subband_[ch];
  for (int sb = 0; sb < active; ++sb) {
    const int bt = (g.mixed && g.windowSwitching && sb < 2) ? 0 : (g.windowSwitching ? g.blockType : 0);
    const float* in = x + sb * 18;
    float z[36];
    if (bt == 2) {
      for (int i = 0; i < 36; ++i) z[i] = 0.0f;
      for (int w = 0; w < 3; ++w) {
        float u[6] = {0, 0, 0, 0, 0, 0};
        for (int k = 0; k < 6; ++k) {
          float v = in[w * 6 + k];
          for (int j = 0; j < 6; ++j) u[j] += v * kDct6[k][j];
        }
        float y[12];
        for (int i = 0; i < 3; ++i) y[i] = u[i + 3];
        for (int i = 3; i < 9; ++i) y[i] = -u[8 - i];
        for (int i = 9; i < 12; ++i) y[i] = -u[i - 9];
        for (int i = 0; i < 12; ++i) z[6 + 6 * w + i] += y[i] * kImdctWindow[2][i];
      }
    } else {
      // DCT-IV of the 18 lines, five 4-wide accumulators kept in registers
      V4 u0 = {}, u1 = {}, u2 = {}, u3 = {}, u4 = {};
      for (int k = 0; k < 18; ++k) {
        const V4 v = {in[k], in[k], in[k], in[k]};
        const float* row = kDct18[k];
        u0 += v * Load4(row);
        u1 += v * Load4(row + 4);
        u2 += v * Load4(row + 8);
        u3 += v * Load4(row + 12);
        u4 += v * Load4(row + 16);
      }
      float u[20];
      Store4(u, u0);
      Store4(u + 4, u1);
      Store4(u + 8, u2);
      Store4(u + 12, u3);
      Store4(u + 16, u4);
      const float* w = kImdctWindow[bt];
      for (int i = 0; i < 9; ++i) z[i] = u[i + 9] * w[i];
      for (int i = 9; i < 27; ++i) z[i] = -u[26 - i] * w[i];
      for (int i = 27; i < 36; ++i) z[i] = -u[i - 27] * w[i];
    }
    float* o = ov + sb * 18;
    for (int i = 0; i < 18; ++i) {
      out[i][sb] = z[i] + o[i];
      o[i] = z[18 + i];
    }
  }
  for (int sb = active; sb < 32; ++sb) {
    float* o = ov + sb * 18;
    for (int i = 0; i < 18; ++i) {
      out[i][sb] = o[i];
      o[i] = 0.0f;
    }
  }
  // frequency inversion of the odd subbands
  for (int i = 1; i < 18; i += 2)
    for (int sb = 1; sb < 32; sb += 2) out[i][sb] = -out[i][sb];
}

void Mp3Decoder::DecodeLayer3(uint8_t* out, int* produced) {
  const int nch = hdr_.channels;
  const int ngr = hdr_.lsf ? 1 : 2;
  const int outputs = outputChannels_;
  const int mainStart = 512 + sideInfoSize_;
  const int mdb = mainDataBegin_;
  // The previous frames' main data held in the previous buffer, ending where its frame ended.
  const int held = previousFrameSize_ < 0 ? 0 : std::min(reservoirAvail_, 511);
  const uint8_t* prev = reservoir_[reservoirIndex_ ^ 1];
  if (damaged_ || mdb > held) {
    // This frame cannot be decoded (its main data begins before the data received so far, or
    // its side information is damaged), but its bytes still join the reservoir behind what the
    // earlier frames left, so that a later frame reaching further back finds them.
    std::memcpy(reservoir_[reservoirIndex_] + mainStart - held, prev + 512 + previousFrameSize_ - held, held);
    copiedBack_ = held;
    return;
  }
  if (mdb > 0) {
    // main data begins in the previous frame's buffer
    copiedBack_ = mdb;
    std::memcpy(reservoir_[reservoirIndex_] + mainStart - mdb, prev + 512 + previousFrameSize_ - mdb, mdb);
  }
  bitBuf_ = reservoir_[reservoirIndex_];
  bitPos_ = (mainStart - mdb) * 8;
  bitEnd_ = (kReservoirSize - 8) * 8;
  const bool ms = hdr_.mode == 1 && (hdr_.modeExtension & 2);
  int16_t pcm[2 * 18 * 32];
  float* fout = floatOut_;
  for (int gr = 0; gr < ngr; ++gr) {
    for (int ch = 0; ch < nch; ++ch) {
      Granule& g = granule_[gr][ch];
      const int start = bitPos_;
      ReadScaleFactors(ch, gr);
      const int endBit = start + g.part23;
      HuffmanDecode(ch, g, endBit);
      bitPos_ = std::min(endBit, bitEnd_);
      Dequantise(ch, g, ms);
    }
    if (nch == 2) StereoProcess(granule_[gr][0], granule_[gr][1]);
    if (spectrumOut_) {
      for (int ch = 0; ch < nch; ++ch)
        std::memcpy(spectrumOut_ + (gr * nch + ch) * 576, xr_[ch], sizeof(xr_[ch]));
      spectrumValues_ = (gr + 1) * nch * 576;
    }
    // lines that may hold values: the Huffman data's extent for long blocks (of both channels
    // when stereo processing mixes them), all lines for reordered short blocks
    for (int ch = 0; ch < nch; ++ch) {
      const Granule& g = granule_[gr][ch];
      const bool joint = nch == 2 && hdr_.mode == 1 && hdr_.modeExtension != 0;
      if ((g.windowSwitching && g.blockType == 2) || (joint && (hdr_.modeExtension & 1)))
        lineLimit_[ch] = 576;
      else
        lineLimit_[ch] = joint ? std::max(quantEnd_[0], quantEnd_[1]) : quantEnd_[ch];
    }
    for (int ch = 0; ch < nch; ++ch) Hybrid(ch, granule_[gr][ch]);
    // the matrixing of four time slots at a time, then each slot's window in order
    for (int ts = 0; ts < 18; ts += 4) {
      const int count = std::min(4, 18 - ts);
      float v[2][4][64];
      if (nch == 1) std::memset(v[1], 0, sizeof(v[1]));  // not read; keeps the reads defined
      for (int ch = 0; ch < nch; ++ch) {
        if (count == 4) {
          const float* slots[4] = {subband_[ch][ts], subband_[ch][ts + 1], subband_[ch][ts + 2],
                                   subband_[ch][ts + 3]};
          Matrix4(slots, v[ch]);
        } else {
          for (int k = 0; k < count; ++k) Matrix(subband_[ch][ts + k], v[ch][k]);
        }
      }
      for (int k = 0; k < count; ++k) {
        const int slot = ts + k;
        EmitSlot(v[0][k], v[1][k], pcm + slot * 32 * outputs, fout ? fout + slot * 32 * outputs : nullptr);
      }
    }
    int bytes = 18 * 32 * outputs * 2;
    std::memcpy(out + *produced, pcm, bytes);
    *produced += bytes;
    if (fout) fout += 18 * 32 * outputs;
  }
}

// ---------------------------------------------------------------------------------------------
// layers I and II

void Mp3Decoder::DecodeLayer1(uint8_t* out, int* produced) {
  const int nch = hdr_.channels;
  const int outputs = outputChannels_;
  const int bound = hdr_.mode == 1 ? hdr_.modeExtension * 4 + 4 : 32;
  int alloc[2][32] = {};
  int scale[2][32] = {};
  for (int sb = 0; sb < 32; ++sb)
    for (int ch = 0; ch < nch; ++ch) {
      if (sb >= bound && ch == 1) {
        alloc[1][sb] = alloc[0][sb];
        continue;
      }
      alloc[ch][sb] = static_cast<int>(Bits(4));
      if (alloc[ch][sb] == 15) alloc[ch][sb] = 0;  // forbidden value: nothing allocated
    }
  for (int sb = 0; sb < 32; ++sb)
    for (int ch = 0; ch < nch; ++ch)
      if (alloc[ch][sb]) scale[ch][sb] = static_cast<int>(Bits(6));
  int16_t pcm[2 * 32];
  float s[2][32];
  float* fout = floatOut_;
  for (int slot = 0; slot < 12; ++slot) {
    for (int sb = 0; sb < 32; ++sb) {
      for (int ch = 0; ch < nch; ++ch) {
        if (sb >= bound && ch == 1) continue;  // filled with channel 0
        int a = alloc[ch][sb];
        if (!a) {
          s[ch][sb] = 0.0f;
          if (sb >= bound && nch == 2) s[1][sb] = 0.0f;
          continue;
        }
        int nb = a + 1;
        int c = static_cast<int>(Bits(nb));
        int steps = (1 << nb) - 1;
        float v = static_cast<float>(2 * c - (steps - 1)) / static_cast<float>(steps);
        s[ch][sb] = v * kLayer2Scale[scale[ch][sb]];
        // above the bound one sample serves both channels, each with its own scale
        if (sb >= bound && nch == 2) s[1][sb] = v * kLayer2Scale[scale[1][sb]];
      }
    }
    float v[2][64];
    Matrix(s[0], v[0]);
    if (nch == 2) Matrix(s[1], v[1]);
    EmitSlot(v[0], v[1], pcm, fout);
    std::memcpy(out + *produced, pcm, 64 * outputs);
    *produced += 64 * outputs;
    if (fout) fout += 32 * outputs;
  }
}

void Mp3Decoder::DecodeLayer2(uint8_t* out, int* produced) {
  const int nch = hdr_.channels;
  const int outputs = outputChannels_;
  int table;
  if (hdr_.lsf) {
    table = 4;
  } else {
    int bitrate = kBitrates[0][1][hdr_.bitrateIndex];
    int perChannel = bitrate / nch;
    int f = kFrequencies[hdr_.samplingIndex];
    if (hdr_.bitrateIndex == 0) perChannel = 0;  // free format: treat as a low rate
    if ((f == 48000 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80))
      table = 0;
    else if (f != 48000 && perChannel >= 96)
      table = 1;
    else if (f != 32000 && perChannel <= 48)
      table = 2;
    else
      table = 3;
  }
  const int sblimit = kAllocLimit[table];
  const int bound = std::min(hdr_.mode == 1 ? hdr_.modeExtension * 4 + 4 : 32, sblimit);
  const AllocEntry* entry[2][32] = {};
  for (int sb = 0; sb < sblimit; ++sb) {
    const AllocSubband& info = kAllocSubbands[table][sb];
    for (int ch = 0; ch < nch; ++ch) {
      if (sb >= bound && ch == 1) {
        entry[1][sb] = entry[0][sb];
        continue;
      }
      int a = static_cast<int>(Bits(info.nbal));
      const AllocEntry* e = &kAllocEntries[info.first + a];
      entry[ch][sb] = e->steps ? e : nullptr;
    }
  }
  int scfsi[2][32] = {};
  for (int sb = 0; sb < sblimit; ++sb)
    for (int ch = 0; ch < nch; ++ch)
      if (entry[ch][sb]) scfsi[ch][sb] = static_cast<int>(Bits(2));
  int scale[2][32][3] = {};
  for (int sb = 0; sb < sblimit; ++sb)
    for (int ch = 0; ch < nch; ++ch) {
      if (!entry[ch][sb]) continue;
      int* sc = scale[ch][sb];
      switch (scfsi[ch][sb]) {
        case 0:
          sc[0] = static_cast<int>(Bits(6));
          sc[1] = static_cast<int>(Bits(6));
          sc[2] = static_cast<int>(Bits(6));
          break;
        case 1:
          sc[0] = sc[1] = static_cast<int>(Bits(6));
          sc[2] = static_cast<int>(Bits(6));
          break;
        case 2:
          sc[0] = sc[1] = sc[2] = static_cast<int>(Bits(6));
          break;
        default:
          sc[0] = static_cast<int>(Bits(6));
          sc[1] = sc[2] = static_cast<int>(Bits(6));
          break;
      }
    }
  int16_t pcm[2 * 32 * 3];
  float s[2][3][32];
  float* fout = floatOut_;
  for (int gr = 0; gr < 12; ++gr) {
    const int part = gr >> 2;
    for (int sb = 0; sb < 32; ++sb) {
      for (int ch = 0; ch < nch; ++ch) {
        const AllocEntry* e = sb < sblimit ? entry[ch][sb] : nullptr;
        if (!e) {
          for (int k = 0; k < 3; ++k) s[ch][k][sb] = 0.0f;
          continue;
        }
        if (sb >= bound && ch == 1) continue;  // filled with channel 0 below
        int codes[3];
        const int steps = e->steps;
        if (e->grouped) {
          int c = static_cast<int>(Bits(e->bits));
          for (int k = 0; k < 3; ++k) {
            codes[k] = c % steps;
            c /= steps;
          }
        } else {
          for (int k = 0; k < 3; ++k) codes[k] = static_cast<int>(Bits(e->bits));
        }
        for (int k = 0; k < 3; ++k) {
          float v = static_cast<float>(2 * codes[k] - (steps - 1)) / static_cast<float>(steps);
          s[ch][k][sb] = v * kLayer2Scale[scale[ch][sb][part]];
          if (sb >= bound && nch == 2) s[1][k][sb] = v * kLayer2Scale[scale[1][sb][part]];
        }
      }
    }
    for (int k = 0; k < 3; ++k) {
      float v[2][64];
      Matrix(s[0][k], v[0]);
      if (nch == 2) Matrix(s[1][k], v[1]);
      EmitSlot(v[0], v[1], pcm + k * 32 * outputs, fout ? fout + k * 32 * outputs : nullptr);
    }
    std::memcpy(out + *produced, pcm, 3 * 64 * outputs);
    *produced += 3 * 64 * outputs;
    if (fout) fout += 3 * 32 * outputs;
  }
}

// ---------------------------------------------------------------------------------------------
// polyphase synthesis

void Mp3Decoder::Matrix(const float* s, float* v) const {
  float X[32];
  FastDct<float, 32>::Run(s, X, kDctFactors);
  SpreadMatrix(X, v);
}

void Mp3Decoder::Matrix4(const float* const* s, float (*v)[64]) const {
  V4 x[32], X[32], out[64];
  for (int k = 0; k < 32; ++k) x[k] = V4{s[0][k], s[1][k], s[2][k], s[3][k]};
  FastDct<V4, 32>::Run(x, X, kDctFactors);
  SpreadMatrix(X, out);
  for (int i = 0; i < 64; ++i)
    for (int j = 0; j < 4; ++j) v[j][i] = out[i][j];
}

void Mp3Decoder::WindowSums(int ch, const float* v, float* sums) {
  if (ch == 0) vpos_ = (vpos_ - 64) & 1023;
  float* h = history_[ch];
  std::memcpy(h + vpos_, v, 64 * sizeof(float));
  std::memcpy(h + vpos_ + 1024, v, 64 * sizeof(float));
  const float* base = h + vpos_;
  for (int j = 0; j < 32; j += 4) {  // four outputs at a time, their sum kept in a register
    V4 acc = {};
    for (int i = 0; i < 8; ++i) {
      const float* a = base + 128 * i + j;
      const float* d = window_ + 64 * i + j;
      acc += Load4(a) * Load4(d) + Load4(a + 96) * Load4(d + 32);
    }
    Store4(sums + j, acc);
  }
}

void Mp3Decoder::StoreSlot(const float* sums, int16_t* out, int stride, float* fout) {
  for (int j = 0; j < 32; j += 4) {
    // clip, then truncate toward zero, four at a time
    V4 c = Load4(sums + j);
    const V4 hi = {32767.0f, 32767.0f, 32767.0f, 32767.0f};
    const V4 lo = {-32768.0f, -32768.0f, -32768.0f, -32768.0f};
    c = c > hi ? hi : c;
    c = c < lo ? lo : c;
    const I4 t = __builtin_convertvector(c, I4);
    for (int k = 0; k < 4; ++k) out[(j + k) * stride] = static_cast<int16_t>(t[k]);
  }
  if (fout) {
    const float inv = 1.0f / static_cast<float>(kFullScale);
    for (int j = 0; j < 32; ++j) fout[j * stride] = sums[j] * inv;
  }
}

void Mp3Decoder::EmitSlot(const float* v0, const float* v1, int16_t* out, float* fout) {
  const int outputs = outputChannels_;
  float left[32], right[32];
  WindowSums(0, v0, left);
  if (hdr_.channels == 1) {
    StoreSlot(left, out, outputs, fout);
    if (outputs == 2) StoreSlot(left, out + 1, 2, fout ? fout + 1 : nullptr);  // on both sides
    return;
  }
  WindowSums(1, v1, right);
  if (outputs == 2) {
    StoreSlot(left, out, 2, fout);
    StoreSlot(right, out + 1, 2, fout ? fout + 1 : nullptr);
    return;
  }
  // a two-channel frame in a stream that began with one: the mean of both sides
  for (int j = 0; j < 32; ++j) left[j] = (left[j] + right[j]) * 0.5f;
  StoreSlot(left, out, 1, fout);
}

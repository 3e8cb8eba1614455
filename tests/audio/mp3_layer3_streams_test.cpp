// Layer III streams written by the tests' own bitstream writer (codes from the standard's
// tables): every Huffman table with its escapes, a reservoir reaching two frames back, and a
// stream whose channel count changes. Checked against the exact requantised values and against
// ffmpeg's decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "audio_test_util.h"
#include "layer3_writer.h"
#include "reference_decode.h"

namespace {

using audiotest::Decoded;

struct Rng {
  uint32_t seed;
  int Below(int n) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int>((seed >> 8) % static_cast<uint32_t>(n));
  }
  int Signed(int magnitude) { return Below(2) ? -magnitude : magnitude; }
};

// The largest value a pair table codes: its size, or 15 plus its escape.
int Largest(const layer3::Codes& codes, int table) {
  return codes.linbits[table] ? 15 + (1 << codes.linbits[table]) - 1 : codes.xmax[table];
}

// Big values for one region coded with `table`: its largest value, 15 (the escape threshold)
// when the table has one, and random values up to the largest.
void FillRegion(const layer3::Codes& codes, int table, int from, int to, Rng* rng, std::vector<int>* v) {
  const int top = Largest(codes, table);
  for (int i = from; i < to; ++i) {
    int a = 0;
    if (top > 0) {
      if (i == from) a = top;
      else if (i == from + 1 && codes.linbits[table]) a = 15;
      else a = rng->Below(top + 1);
    }
    (*v)[i] = rng->Signed(a);
  }
}

// The requantised value of quantised x at global gain g, no scale factors: x^(4/3) 2^((g - 210) / 4).
double Requantised(int x, int globalGain) {
  const double a = std::pow(std::fabs(static_cast<double>(x)), 4.0 / 3.0) * std::pow(2.0, (globalGain - 210) / 4.0);
  return x < 0 ? -a : a;
}

// Compares the decoder's spectra with the exact values of the written granules, granule by
// granule and channel by channel, from frame `firstFrame` on. Middle/side frames give
// L = (M + S) / sqrt 2 and R = (M - S) / sqrt 2. No scale factors.
void ExpectSpectra(const Decoded& d, const std::vector<layer3::Frame>& frames, size_t firstFrame) {
  size_t at = 0;
  for (size_t k = firstFrame; k < frames.size(); ++k) {
    const layer3::Frame& f = frames[k];
    const bool ms = f.mode == 1 && (f.modeExtension & 2);
    for (int gr = 0; gr < 2; ++gr) {
      for (int ch = 0; ch < f.Channels(); ++ch) {
        ASSERT_LE(at + 576, d.spectra.size()) << "frame " << k << " missing";
        for (int i = 0; i < 576; ++i) {
          auto line = [&](int c) {
            const layer3::Granule& g = f.granule[gr][c];
            const int x = i < static_cast<int>(g.values.size()) ? g.values[i] : 0;
            return Requantised(x, g.globalGain - (ms ? 2 : 0));
          };
          double want = line(ch), size = std::fabs(want);
          if (ms) {
            want = ch == 0 ? line(0) + line(1) : line(0) - line(1);
            size = std::fabs(line(0)) + std::fabs(line(1));
          }
          // 1e-6: the exponent is the single-precision 1.3333333333, not 4/3 exactly
          ASSERT_NEAR(d.spectra[at + i], want, 1e-6 * size + 1e-30)
              << "frame " << k << " granule " << gr << " channel " << ch << " line " << i;
        }
        at += 576;
      }
    }
  }
  EXPECT_EQ(at, d.spectra.size());
}

class Layer3Streams : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(codes_.Load(&why)) << why;
  }
  layer3::Codes codes_;
};

// Five big-value pairs per granule in three regions (lines 0-3, 4-7, 8-9), the tables walking
// through 0 to 31 (4 and 14 have no codes), each with its largest value; then two count1
// quadruples of table B. Main data as far back in the reservoir as it reaches (up to 511).
TEST_F(Layer3Streams, EveryHuffmanTableDecodesItsValuesAndEscapes) {
  std::vector<int> order;
  for (int t = 0; t < 32; ++t)
    if (t != 4 && t != 14) order.push_back(t);
  Rng rng{1234};
  std::vector<layer3::Frame> frames(60);
  int next = 0;
  for (size_t k = 0; k < frames.size(); ++k) {
    for (int gr = 0; gr < 2; ++gr) {
      layer3::Granule& g = frames[k].granule[gr][0];
      g.bigValues = 5;
      g.values.assign(18, 0);
      for (int r = 0; r < 3; ++r) {
        // each pass over the tables starts one region later, so every table serves every region
        g.table[r] = order[(next + r + next / 30) % order.size()];
      }
      next += 3;
      FillRegion(codes_, g.table[0], 0, 4, &rng, &g.values);
      FillRegion(codes_, g.table[1], 4, 8, &rng, &g.values);
      FillRegion(codes_, g.table[2], 8, 10, &rng, &g.values);
      for (int i = 10; i < 18; ++i) g.values[i] = rng.Below(3) - 1;
    }
  }
  std::vector<uint8_t> stream;
  std::string why;
  ASSERT_TRUE(layer3::WriteStream(codes_, frames, &stream, &why)) << why;

  Decoded ours = audiotest::DecodeStream(stream);
  EXPECT_EQ(ours.frames, static_cast<int>(frames.size()));
  EXPECT_EQ(ours.emptyFrames, 0);
  ExpectSpectra(ours, frames, 0);
  EXPECT_EQ(ours.pcm.size(), frames.size() * 1152);

  if (!audiotest::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
  Decoded again;
  std::vector<float> reference;
  audiotest::Comparison cmp;
  ASSERT_TRUE(audiotest::DecodeBothWays("every_table", stream, "mp3float", 1, &again, &reference, &cmp));
  EXPECT_EQ(cmp.shift, 0);
  EXPECT_EQ(again.floats.size(), reference.size());
  EXPECT_LT(cmp.rms, std::pow(2.0, -15) / std::sqrt(12.0));
  EXPECT_LT(cmp.maxPcmExcess, 2.0);
}

}  // namespace

namespace {

// Intensity stereo in an MPEG-1 frame: the right channel carries no values, so every band is an
// intensity band and its scale factor the position. Positions 0 to 6 share the left value out
// by tan(i pi / 12); 7, and the values above it that a four-bit scale factor can hold, leave the
// band as it is (the tangent formula would give factors that are negative or infinite).
TEST_F(Layer3Streams, IntensityPositionsAboveSixLeaveTheBandAlone) {
  std::vector<layer3::Frame> frames(4);
  for (layer3::Frame& f : frames) {
    f.mode = 1;
    f.modeExtension = 1;  // intensity stereo only
    f.bitrateIndex = 9;
    for (int gr = 0; gr < 2; ++gr) {
      layer3::Granule& left = f.granule[gr][0];
      left.table[0] = left.table[1] = left.table[2] = 15;
      left.bigValues = 8;  // bands 0 to 3, four lines each
      left.values = {5, -3, 2, 7, 1, 1, -4, 6, 9, -2, 3, 3, 8, -8, 1, 2};
      layer3::Granule& right = f.granule[gr][1];
      right.scalefacCompress = 14;  // four-bit positions in bands 0 to 10
      const int positions[4] = {9, 8, 3, 15};
      for (int b = 0; b < 4; ++b) right.scalefac[b] = positions[b];
      for (int b = 4; b < 11; ++b) right.scalefac[b] = 7;
    }
  }
  std::vector<uint8_t> stream;
  std::string why;
  ASSERT_TRUE(layer3::WriteStream(codes_, frames, &stream, &why)) << why;
  Decoded d = audiotest::DecodeStream(stream);
  ASSERT_EQ(d.frames, 4);
  ASSERT_EQ(d.spectra.size(), 4u * 2 * 2 * 576);
  const std::vector<int>& v = frames[0].granule[0][0].values;
  for (size_t g = 0; g < 8; ++g) {
    const float* left = d.spectra.data() + g * 2 * 576;
    const float* right = left + 576;
    for (int i = 0; i < 16; ++i) {
      const float value = static_cast<float>(Requantised(v[i], 150));
      if (i >= 8 && i < 12) {  // position 3: tan 45 degrees, half to each side
        EXPECT_FLOAT_EQ(left[i], value * 0.5f) << "line " << i;
        EXPECT_FLOAT_EQ(right[i], value * 0.5f) << "line " << i;
      } else {  // positions 9, 8 and 15: as coded, nothing on the right
        EXPECT_FLOAT_EQ(left[i], value) << "line " << i;
        EXPECT_EQ(right[i], 0.0f) << "line " << i;
      }
    }
  }
  for (float s : d.floats) ASSERT_TRUE(std::isfinite(s));
}

}  // namespace

namespace {

// Random big values (table 13, up to 15) in the first `pairs` pairs of a granule.
void RandomGranule(Rng* rng, int pairs, layer3::Granule* g) {
  g->table[0] = g->table[1] = g->table[2] = 13;
  g->region0Count = 7;
  g->region1Count = 7;
  g->bigValues = pairs;
  g->values.resize(static_cast<size_t>(2 * pairs));
  for (int& v : g->values) v = rng->Signed(rng->Below(16));
}

// A joint-stereo stream whose every frame takes its main data 461 bytes back, two frames back
// (each frame holds 382 bytes of it): the first frame's data lies before the stream, the
// second's is not all received either. Decoding starts with the third, the first frame whose
// main_data_begin is covered by the main data received so far.
TEST_F(Layer3Streams, ReservoirReachingTwoFramesBackStartsWithTheFirstCoveredFrame) {
  Rng rng{42};
  std::vector<layer3::Frame> frames(24);
  for (layer3::Frame& f : frames) {
    f.mode = 1;
    f.modeExtension = 2;  // middle/side
    f.bitrateIndex = 9;   // 128 kbit/s
    f.padding = true;     // 418-byte frames
    f.mainDataBegin = 461;
    for (int gr = 0; gr < 2; ++gr)
      for (int ch = 0; ch < 2; ++ch) RandomGranule(&rng, 24, &f.granule[gr][ch]);
  }
  std::vector<uint8_t> stream;
  std::string why;
  ASSERT_TRUE(layer3::WriteStream(codes_, frames, &stream, &why)) << why;
  ASSERT_EQ(stream.size(), frames.size() * 418);

  Decoded d = audiotest::DecodeStream(stream);
  EXPECT_EQ(d.frames, 24);
  EXPECT_EQ(d.emptyFrames, 2);
  EXPECT_EQ(d.pcm.size(), 22u * 2304);
  ExpectSpectra(d, frames, 2);

  if (!audiotest::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
  Decoded again;
  std::vector<float> reference;
  audiotest::Comparison cmp;
  ASSERT_TRUE(audiotest::DecodeBothWays("reservoir_461", stream, "mp3float", 2, &again, &reference, &cmp));
  // ffmpeg keeps the time of the two frames (silence, and what it makes of the second frame's
  // granules that it has), so its third frame also overlaps differently; from the fourth frame
  // on the two decoders agree.
  ASSERT_EQ(reference.size(), 24u * 2304);
  double worst = 0;
  for (size_t i = 2304; i < d.floats.size(); ++i)
    worst = std::max(worst, std::fabs(static_cast<double>(d.floats[i]) - reference[i + 2 * 2304]));
  EXPECT_LT(worst * 32768, 1.0);
}

// A stream whose channel layout changes part-way. Its output keeps the first frame's channel
// count: a stream that begins with one channel mixes two-channel frames down, one that begins
// with two plays one-channel frames on both sides. The two-channel frames carry the same
// values on both sides (middle/side frames: side 0), so each stream must decode to exactly what
// a stream of the other layout with the same frames gives.
TEST_F(Layer3Streams, ChannelCountChangesKeepTheFirstFramesOutputFormat) {
  enum Layout { kMono = 3, kDual = 2, kStereo = 0, kJoint = 1 };
  auto make = [&](const std::vector<Layout>& segments, Layout flatten, std::vector<layer3::Frame>* frames,
                  std::vector<layer3::Frame>* flat) {
    Rng rng{7};
    for (Layout layout : segments)
      for (int k = 0; k < 6; ++k) {
        layer3::Frame f, g;
        f.bitrateIndex = g.bitrateIndex = 9;
        f.mode = layout;
        f.modeExtension = layout == kJoint ? 2 : 0;
        g.mode = flatten;
        for (int gr = 0; gr < 2; ++gr) {
          layer3::Granule one;
          RandomGranule(&rng, 30, &one);
          f.granule[gr][0] = one;
          if (f.Channels() == 2 && layout != kJoint) f.granule[gr][1] = one;
          // middle/side carries a factor 2^-0.5 in its gain: the flat stream's gain is 2 steps lower
          layer3::Granule same = one;
          if (layout == kJoint) same.globalGain -= 2;
          g.granule[gr][0] = same;
          if (g.Channels() == 2) g.granule[gr][1] = same;
        }
        frames->push_back(f);
        flat->push_back(g);
      }
  };
  std::string why;
  {
    std::vector<layer3::Frame> frames, flat;
    make({kMono, kDual, kStereo, kJoint, kMono}, kMono, &frames, &flat);
    std::vector<uint8_t> stream, flatStream;
    ASSERT_TRUE(layer3::WriteStream(codes_, frames, &stream, &why)) << why;
    ASSERT_TRUE(layer3::WriteStream(codes_, flat, &flatStream, &why)) << why;
    Decoded d = audiotest::DecodeStream(stream);
    EXPECT_EQ(d.frames - d.emptyFrames, 30);
    EXPECT_EQ(d.channels, 1);
    EXPECT_EQ(d.layoutChanges, 2);
    ExpectSpectra(d, frames, 0);
    Decoded want = audiotest::DecodeStream(flatStream);
    ASSERT_EQ(d.pcm.size(), 30u * 1152);
    EXPECT_TRUE(d.pcm == want.pcm);
    EXPECT_TRUE(d.floats == want.floats);
  }
  {
    std::vector<layer3::Frame> frames, flat;
    make({kJoint, kMono, kStereo, kMono, kDual}, kStereo, &frames, &flat);
    std::vector<uint8_t> stream, flatStream;
    ASSERT_TRUE(layer3::WriteStream(codes_, frames, &stream, &why)) << why;
    ASSERT_TRUE(layer3::WriteStream(codes_, flat, &flatStream, &why)) << why;
    Decoded d = audiotest::DecodeStream(stream);
    EXPECT_EQ(d.frames - d.emptyFrames, 30);
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.layoutChanges, 4);
    Decoded want = audiotest::DecodeStream(flatStream);
    ASSERT_EQ(d.pcm.size(), 30u * 2304);
    EXPECT_TRUE(d.pcm == want.pcm);
    EXPECT_TRUE(d.floats == want.floats);
  }
}

}  // namespace

namespace {

// Damage: a granule's side information claims 288 big-value pairs where its Huffman data holds
// 12, so decoding its big values runs on past its part2_3_length into the next granule's bits.
// The granule's values end where its bits end; the frame's other granules and the frames around
// it decode as written, and every frame keeps its full length of output.
TEST_F(Layer3Streams, HuffmanDataRunningPastItsGranuleEndsThereAndDecodingGoesOn) {
  Rng rng{99};
  std::vector<layer3::Frame> frames(8);
  for (layer3::Frame& f : frames) {
    f.bitrateIndex = 9;
    for (int gr = 0; gr < 2; ++gr) RandomGranule(&rng, 12, &f.granule[gr][0]);
  }
  frames[4].granule[0][0].bigValuesField = 288;
  std::vector<uint8_t> stream;
  std::string why;
  ASSERT_TRUE(layer3::WriteStream(codes_, frames, &stream, &why)) << why;
  Decoded d = audiotest::DecodeStream(stream);
  EXPECT_EQ(d.frames - d.emptyFrames, 8);
  EXPECT_EQ(d.pcm.size(), 8u * 1152);
  ASSERT_EQ(d.spectra.size(), 16u * 576);
  // every granule as written: the damaged one too, since its own bits hold exactly its 12
  // pairs, and nothing (zeros) past them
  ExpectSpectra(d, frames, 0);
}

}  // namespace

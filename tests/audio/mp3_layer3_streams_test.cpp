// Layer III streams written by the tests' own bitstream writer (codes from the standard's
// tables): every Huffman table with its escapes, a reservoir reaching two frames back, and a
// stream whose channel count changes. Checked against the exact requantised values and against
// ffmpeg's decoder.
#include <gtest/gtest.h>

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

// Accuracy of the decoder against an independent one (ffmpeg's float decoders) on streams made at
// test time by LAME (layer III) and ffmpeg (layer II) from generated signals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audio/mp3_tables.h"
#include "audio_test_util.h"
#include "reference_decode.h"

namespace {

using audiotest::Compare;
using audiotest::Comparison;
using audiotest::Decoded;
using audiotest::DecodeBothWays;
using audiotest::ReadFloats;

// A few seconds of tones, noise and short loud bursts (the bursts force short blocks).
std::vector<int16_t> TestSignal(int rate, int channels, double seconds) {
  const int n = static_cast<int>(rate * seconds);
  std::vector<int16_t> s(static_cast<size_t>(n) * channels);
  uint32_t seed = 12345;
  auto noise = [&]() {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
  };
  for (int i = 0; i < n; ++i) {
    double t = static_cast<double>(i) / rate;
    bool burst = std::fmod(t, 0.7) > 0.5 && std::fmod(t, 0.7) < 0.51;
    for (int c = 0; c < channels; ++c) {
      double v = 0.3 * std::sin(2 * M_PI * (440 + 110 * c) * t) +
                 0.12 * std::sin(2 * M_PI * (rate / 7.0) * t + c) + 0.04 * noise();
      if (burst) v += 0.45 * noise();
      s[static_cast<size_t>(i) * channels + c] = static_cast<int16_t>(std::lround(v * 32767));
    }
  }
  return s;
}

struct StreamCase {
  const char* name;
  int rate;
  int channels;
  const char* encoder;  // "lame", "lame-free" (bitrate index patched to 0) or "mp2"
  const char* options;
  int expectedRate;
  long expectedShift;   // -1: any (the reference trims encoder delay)
};

class Mp3Accuracy : public ::testing::TestWithParam<StreamCase> {};

// Rewrites every frame header of a constant-bitrate stream to bitrate index 0: the same frames
// as a free-format stream.
void MakeFreeFormat(std::vector<uint8_t>* data);

// Sets the intensity-stereo bit of every joint-stereo frame header: the upper bands of the side
// channel, above its last nonzero value, become intensity positions (its scale factors).
void AddIntensityStereo(std::vector<uint8_t>* data) {
  size_t pos = 0;
  while (pos + 4 <= data->size()) {
    uint32_t w = (uint32_t((*data)[pos]) << 24) | (uint32_t((*data)[pos + 1]) << 16) |
                 (uint32_t((*data)[pos + 2]) << 8) | (*data)[pos + 3];
    Mp3Decoder::Header h = Mp3Decoder::DecodeHeader(w);
    if (!h.valid || h.frameSize == 0) break;
    if (h.mode == 1) (*data)[pos + 3] |= 0x10;
    pos += 4 + h.frameSize;
  }
}

void MakeFreeFormat(std::vector<uint8_t>* data) {
  size_t pos = 0;
  while (pos + 4 <= data->size()) {
    uint32_t w = (uint32_t((*data)[pos]) << 24) | (uint32_t((*data)[pos + 1]) << 16) |
                 (uint32_t((*data)[pos + 2]) << 8) | (*data)[pos + 3];
    Mp3Decoder::Header h = Mp3Decoder::DecodeHeader(w);
    if (!h.valid || h.frameSize == 0) break;
    (*data)[pos + 2] &= 0x0F;
    pos += 4 + h.frameSize;
  }
}

TEST_P(Mp3Accuracy, MatchesReferenceDecoder) {
  const StreamCase& c = GetParam();
  if (!audiotest::HaveProgram("ffmpeg") || !audiotest::HaveProgram("lame"))
    GTEST_SKIP() << "lame or ffmpeg not installed (scripts/setup.sh installs them)";
  std::string dir = audiotest::TempDir(c.name);
  std::string wav = dir + "/in.wav", mp3 = dir + "/in.mp3", ref = dir + "/ref.f32";
  ASSERT_TRUE(audiotest::WriteBytes(
      wav, audiotest::MakeWav(TestSignal(c.rate, c.channels, 2.5), c.rate, c.channels)));
  std::string encoder = c.encoder;
  std::string decoderName = "mp3float";
  if (encoder == "mp2") {
    decoderName = "mp2float";
    ASSERT_TRUE(audiotest::Run("ffmpeg -v error -i '" + wav + "' " + c.options +
                               " -c:a mp2 -f mp2 -y '" + mp3 + "'"));
  } else {
    ASSERT_TRUE(audiotest::Run("lame --quiet " + std::string(c.options) + " '" + wav + "' '" +
                               mp3 + "'"));
  }
  ASSERT_TRUE(audiotest::Run("ffmpeg -v error -c:a " + decoderName + " -i '" + mp3 +
                             "' -f f32le -y '" + ref + "'"));
  std::vector<uint8_t> stream;
  ASSERT_TRUE(audiotest::ReadBytes(mp3, &stream));
  if (encoder == "lame-free") MakeFreeFormat(&stream);
  if (encoder == "lame-is") {
    AddIntensityStereo(&stream);
    ASSERT_TRUE(audiotest::WriteBytes(mp3, stream));
    ASSERT_TRUE(audiotest::Run("ffmpeg -v error -c:a " + decoderName + " -i '" + mp3 +
                               "' -f f32le -y '" + ref + "'"));
  }
  Decoded ours = audiotest::DecodeStream(stream);
  std::vector<float> reference = ReadFloats(ref);
  ASSERT_GT(ours.floats.size(), 0u);
  ASSERT_GT(reference.size(), 0u);
  EXPECT_EQ(ours.rate, c.expectedRate);
  EXPECT_EQ(ours.channels, c.channels);
  EXPECT_EQ(ours.emptyFrames, 0);

  Comparison cmp = Compare(ours, reference, c.channels);
  const double bound = std::pow(2.0, -15) / std::sqrt(12.0);
  std::printf("[ %s ] %zu samples, shift %ld: rms %.3g (bound %.3g), max %.3g = %.3f steps, "
              "16-bit max %.3f steps\n",
              c.name, cmp.count, cmp.shift, cmp.rms, bound, cmp.maxDiff, cmp.maxDiff * 32768,
              cmp.maxPcmExcess);
  if (c.expectedShift >= 0) {
    EXPECT_EQ(cmp.shift, c.expectedShift);
    EXPECT_EQ(ours.floats.size(), reference.size());
  }
  EXPECT_GT(cmp.count, reference.size() * 9 / 10);
  EXPECT_LT(cmp.rms, bound);
  EXPECT_LT(cmp.maxPcmExcess, 2.0);  // truncation explains < 1 step, one more allowed
}

const StreamCase kCases[] = {
    {"mpeg1_joint_128k", 44100, 2, "lame", "-t -b 128 -m j", 44100, 0},
    {"mpeg1_stereo_48k", 48000, 2, "lame", "-t -b 192 -m s", 48000, 0},
    {"mpeg1_mono_32k", 32000, 1, "lame", "-t -b 64 -m m", 32000, 0},
    {"mpeg1_320k", 44100, 2, "lame", "-t -b 320", 44100, 0},
    {"mpeg1_vbr_xing", 44100, 2, "lame", "-V 2", 44100, -1},
    {"mpeg1_free_format", 44100, 2, "lame-free", "-t -b 128 -m j", 44100, 0},
    {"mpeg1_intensity_stereo", 44100, 2, "lame-is", "-t -b 96 -m j --resample 44.1", 44100, 0},
    {"mpeg2_22050_stereo", 22050, 2, "lame", "-t -b 64", 22050, 0},
    {"mpeg2_24000_mono", 24000, 1, "lame", "-t -b 32 -m m --resample 24", 24000, 0},
    {"mpeg2_16000_joint", 16000, 2, "lame", "-t -b 32 -m j", 16000, 0},
    {"mpeg25_11025_mono", 11025, 1, "lame", "-t -b 24 -m m", 11025, 0},
    {"mpeg25_12000_stereo", 12000, 2, "lame", "-t -b 32", 12000, 0},
    {"mpeg25_8000_mono", 8000, 1, "lame", "-t -b 16 -m m", 8000, 0},
    {"mpeg25_8000_joint", 8000, 2, "lame", "-t -b 24 -m j", 8000, 0},
    {"layer2_44100_stereo", 44100, 2, "mp2", "-b:a 192k", 44100, 0},
    {"layer2_48000_mono", 48000, 1, "mp2", "-b:a 64k", 48000, 0},
    {"layer2_32000_stereo", 32000, 2, "mp2", "-b:a 64k", 32000, 0},
    {"layer2_lsf_22050", 22050, 2, "mp2", "-b:a 64k", 22050, 0},
};

INSTANTIATE_TEST_SUITE_P(Streams, Mp3Accuracy, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<StreamCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace

namespace {

// Writes bits most significant first.
class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = bits - 1; i >= 0; --i) {
      if (used_ % 8 == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<uint8_t>(0x80 >> (used_ % 8));
      ++used_;
    }
  }
  void PadTo(size_t bytes) { bytes_.resize(bytes, 0); used_ = bytes * 8; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  size_t used_ = 0;
};

// Layer I has fixed-length fields only, so any allocation, scale factors and sample codes that
// fit the frame make a valid stream: random joint-stereo frames exercise the whole layer.
TEST(Mp3AccuracyLayer1, RandomJointStereoFramesMatchReferenceDecoder) {
  if (!audiotest::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
  uint32_t seed = 2024;
  auto rnd = [&](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  BitWriter w;
  const int frames = 200;
  for (int f = 0; f < frames; ++f) {
    const size_t start = w.Bytes().size();
    const int modeExt = 1;  // bound 8
    w.Put(0xFFFF, 16);      // sync, MPEG-1, layer I, no CRC
    w.Put(0xC0, 8);         // 384 kbit/s, 44100 Hz, no padding
    w.Put(0x40 | (modeExt << 4), 8);  // joint stereo
    const int bound = modeExt * 4 + 4;
    int alloc[2][32], scale[2][32];
    for (int sb = 0; sb < 32; ++sb)
      for (int ch = 0; ch < 2; ++ch) {
        if (sb >= bound && ch == 1) {
          alloc[1][sb] = alloc[0][sb];
          continue;
        }
        alloc[ch][sb] = static_cast<int>(rnd(5));
        w.Put(alloc[ch][sb], 4);
      }
    for (int sb = 0; sb < 32; ++sb)
      for (int ch = 0; ch < 2; ++ch)
        if (alloc[ch][sb]) {
          scale[ch][sb] = static_cast<int>(8 + rnd(40));
          w.Put(scale[ch][sb], 6);
        }
    for (int s = 0; s < 12; ++s)
      for (int sb = 0; sb < 32; ++sb)
        for (int ch = 0; ch < (sb < bound ? 2 : 1); ++ch)
          if (alloc[ch][sb]) {
            int nb = alloc[ch][sb] + 1;
            w.Put(rnd((1u << nb) - 1), nb);  // the all-ones code is not used
          }
    w.PadTo(start + 416);
  }
  Decoded ours;
  std::vector<float> reference;
  Comparison cmp;
  ASSERT_TRUE(DecodeBothWays("layer1_random", w.Bytes(), "mp1float", 2, &ours, &reference, &cmp));
  EXPECT_EQ(ours.frames, frames);
  EXPECT_EQ(ours.floats.size(), static_cast<size_t>(frames) * 384 * 2);
  EXPECT_EQ(cmp.shift, 0);
  EXPECT_LT(cmp.rms, std::pow(2.0, -15) / std::sqrt(12.0));
  EXPECT_LT(cmp.maxPcmExcess, 2.0);
}

}  // namespace

namespace {

// Layer II the same way: random allocations (within the frame's bits), scale factor selection,
// grouped and plain codes, joint stereo above a bound.
TEST(Mp3AccuracyLayer2, RandomJointStereoFramesMatchReferenceDecoder) {
  if (!audiotest::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
  uint32_t seed = 77;
  auto rnd = [&](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % n;
  };
  BitWriter w;
  const int frames = 120;
  const int table = 1;  // 44100 Hz, 192 kbit/s per channel
  const int sblimit = kAllocLimit[table];
  const size_t frameBytes = 144 * 384000 / 44100;
  for (int f = 0; f < frames; ++f) {
    const size_t start = w.Bytes().size();
    const int modeExt = static_cast<int>(rnd(4));
    const int bound = modeExt * 4 + 4;
    w.Put(0xFFFD, 16);  // sync, MPEG-1, layer II, no CRC
    w.Put(0xE0, 8);     // 384 kbit/s, 44100 Hz, no padding
    w.Put(0x40 | (modeExt << 4), 8);
    int alloc[2][32] = {};
    int bits = 32;
    for (int sb = 0; sb < sblimit; ++sb)
      for (int ch = 0; ch < 2; ++ch) {
        const AllocSubband& info = kAllocSubbands[table][sb];
        bits += (sb >= bound && ch == 1) ? 0 : info.nbal;
        if (sb >= bound && ch == 1) {
          alloc[1][sb] = alloc[0][sb];
          continue;
        }
        int a = static_cast<int>(rnd(std::min(1u << info.nbal, 5u)));
        const AllocEntry& e = kAllocEntries[info.first + a];
        int cost = 2 + 18 + 12 * (e.grouped ? e.bits : 3 * e.bits);
        if (sb >= bound) cost += 2 + 18;  // the second channel's side and scale factors
        if (a && bits + cost > static_cast<int>(frameBytes * 8) - 600) a = 0;
        else if (a) bits += cost;
        alloc[ch][sb] = a;
      }
    for (int sb = 0; sb < sblimit; ++sb)
      for (int ch = 0; ch < 2; ++ch)
        if (sb < bound || ch == 0) w.Put(alloc[ch][sb], kAllocSubbands[table][sb].nbal);
    int scfsi[2][32] = {};
    for (int sb = 0; sb < sblimit; ++sb)
      for (int ch = 0; ch < 2; ++ch)
        if (alloc[ch][sb]) {
          scfsi[ch][sb] = static_cast<int>(rnd(4));
          w.Put(scfsi[ch][sb], 2);
        }
    for (int sb = 0; sb < sblimit; ++sb)
      for (int ch = 0; ch < 2; ++ch)
        if (alloc[ch][sb]) {
          int count = scfsi[ch][sb] == 0 ? 3 : (scfsi[ch][sb] == 2 ? 1 : 2);
          for (int k = 0; k < count; ++k) w.Put(10 + rnd(40), 6);
        }
    for (int gr = 0; gr < 12; ++gr)
      for (int sb = 0; sb < sblimit; ++sb)
        for (int ch = 0; ch < (sb < bound ? 2 : 1); ++ch) {
          if (!alloc[ch][sb]) continue;
          const AllocEntry& e = kAllocEntries[kAllocSubbands[table][sb].first + alloc[ch][sb]];
          if (e.grouped) {
            w.Put(rnd(static_cast<uint32_t>(e.steps) * e.steps * e.steps), e.bits);
          } else {
            for (int k = 0; k < 3; ++k) w.Put(rnd(e.steps), e.bits);
          }
        }
    ASSERT_LE(w.Bytes().size(), start + frameBytes);
    w.PadTo(start + frameBytes);
  }
  Decoded ours;
  std::vector<float> reference;
  Comparison cmp;
  ASSERT_TRUE(DecodeBothWays("layer2_random", w.Bytes(), "mp2float", 2, &ours, &reference, &cmp));
  EXPECT_EQ(ours.frames, frames);
  EXPECT_EQ(cmp.shift, 0);
  EXPECT_EQ(ours.floats.size(), reference.size());
  EXPECT_LT(cmp.rms, std::pow(2.0, -15) / std::sqrt(12.0));
  EXPECT_LT(cmp.maxPcmExcess, 2.0);
}

}  // namespace

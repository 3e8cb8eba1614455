// Mp3Decoder: headers and frame sizes, the frame stages across calls, output room, the Xing
// frame, synthesis arithmetic, and damaged input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audio_test_util.h"

namespace {
// A silent MPEG-1 layer III frame: the given header, zero side information and main data.
std::vector<uint8_t> SilentFrame(uint32_t header = 0xFFFB9064) {
  Mp3Decoder::Header h = Mp3Decoder::DecodeHeader(header);
  std::vector<uint8_t> f(4 + static_cast<size_t>(h.frameSize), 0);
  f[0] = header >> 24;
  f[1] = (header >> 16) & 0xFF;
  f[2] = (header >> 8) & 0xFF;
  f[3] = header & 0xFF;
  return f;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<uint8_t> SilentStream(int frames) {
  std::vector<uint8_t> s;
  for (int i = 0; i < frames; ++i) {
    auto f = SilentFrame();
    s.insert(s.end(), f.begin(), f.end());
  }
  return s;
}

TEST(Mp3Header, DecodesFieldsAndFrameSizes) {
  Mp3Decoder::Header h = Mp3Decoder::DecodeHeader(0xFFFB906C);
  ASSERT_TRUE(h.valid);
  EXPECT_EQ(h.lsf, 0);
  EXPECT_EQ(h.mpeg25, 0);
  EXPECT_EQ(h.layer, 3);
  EXPECT_EQ(h.errorProtection, 0);
  EXPECT_EQ(h.bitrateIndex, 9);  // 128 kbit/s
  EXPECT_EQ(Mp3Decoder::SamplingFrequency(h.samplingIndex), 44100);
  EXPECT_EQ(h.padding, 0);
  EXPECT_EQ(h.mode, 1);  // joint stereo
  EXPECT_EQ(h.channels, 2);
  EXPECT_EQ(h.frameSize, 413);  // 417-byte frames
  EXPECT_EQ(Mp3Decoder::DecodeHeader(0xFFFB926C).frameSize, 414);  // padding bit

  // MPEG-2 layer III 64 kbit/s 22050 Hz: 72 * 64000 / 22050 = 208 bytes
  Mp3Decoder::Header m2 = Mp3Decoder::DecodeHeader(0xFFF38000);
  EXPECT_EQ(m2.lsf, 1);
  EXPECT_EQ(Mp3Decoder::SamplingFrequency(m2.samplingIndex), 22050);
  EXPECT_EQ(m2.frameSize, 208 - 4);
  // MPEG-2.5 at 8000 Hz
  Mp3Decoder::Header m25 = Mp3Decoder::DecodeHeader(0xFFE38800);
  EXPECT_EQ(m25.mpeg25, 1);
  EXPECT_EQ(Mp3Decoder::SamplingFrequency(m25.samplingIndex), 8000);
  // layer II 192 kbit/s 48000 Hz: 144 * 192000 / 48000 = 576; layer I 448 kbit/s 44100 Hz
  EXPECT_EQ(Mp3Decoder::DecodeHeader(0xFFFDA400).frameSize, 576 - 4);
  EXPECT_EQ(Mp3Decoder::DecodeHeader(0xFFFFE000).frameSize, (448 * 12000 / 44100) * 4 - 4);
  // free format layer III
  EXPECT_EQ(Mp3Decoder::DecodeHeader(0xFFFB0000).frameSize, 0);
}

TEST(Mp3Header, RejectsWordsThatCannotBeHeaders) {
  EXPECT_TRUE(Mp3Decoder::CheckHeader(0xFFFB906C, 0));
  EXPECT_TRUE(Mp3Decoder::CheckHeader(0xFFFB906C, 3));
  EXPECT_FALSE(Mp3Decoder::CheckHeader(0xFFFB906C, 2));  // another layer required
  EXPECT_FALSE(Mp3Decoder::CheckHeader(0xFFFB9C6C, 0));  // sampling bits 11
  EXPECT_FALSE(Mp3Decoder::CheckHeader(0xFFFBF06C, 0));  // bitrate index 15
  EXPECT_FALSE(Mp3Decoder::CheckHeader(0xFFF9906C, 0));  // layer bits 00
  EXPECT_FALSE(Mp3Decoder::CheckHeader(0xFFDB906C, 0));  // sync incomplete
  EXPECT_TRUE(Mp3Decoder::CheckHeader(0xFFFB906F, 0));   // emphasis plays no part
}

TEST(Mp3Synthesis, QuantisationTruncatesTowardZeroAndClips) {
  EXPECT_EQ(Mp3Decoder::ToPcm(-0.7f), 0);
  EXPECT_EQ(Mp3Decoder::ToPcm(1.9f), 1);
  EXPECT_EQ(Mp3Decoder::ToPcm(-1.9f), -1);
  EXPECT_EQ(Mp3Decoder::ToPcm(32767.9f), 32767);
  EXPECT_EQ(Mp3Decoder::ToPcm(40000.0f), 32767);
  EXPECT_EQ(Mp3Decoder::ToPcm(-32768.5f), -32768);
  EXPECT_EQ(Mp3Decoder::ToPcm(-1e9f), -32768);
}

TEST(Mp3Synthesis, FastMatrixingEqualsTheDirectSum) {
  auto dec = std::make_unique<Mp3Decoder>();
  float s[32];
  for (int k = 0; k < 32; ++k) s[k] = std::sin(0.37f * k * k + 1.0f) * (k % 5 == 0 ? 2.0f : 0.5f);
  float v[64];
  dec->Matrix(s, v);
  for (int i = 0; i < 64; ++i) {
    double ref = 0;
    for (int k = 0; k < 32; ++k) ref += std::cos((16 + i) * (2 * k + 1) * M_PI / 64) * s[k];
    EXPECT_NEAR(v[i], ref, 2e-5) << "V[" << i << "]";
  }
}

TEST(Mp3Decode, OutputRoomBelowOneFrameIsAnErrorAndConsumesNothing) {
  auto dec = std::make_unique<Mp3Decoder>();
  std::vector<uint8_t> out(5000);
  auto frame = SilentFrame();
  int produced = 7;
  EXPECT_EQ(dec->Decode(frame.data(), 64, out.data(), 4607, &produced), Mp3Decoder::kError);
  EXPECT_EQ(produced, 0);
  EXPECT_EQ(dec->Buffered(), 0);
  EXPECT_EQ(dec->Decode(frame.data(), 64, out.data(), 4608, &produced), Mp3Decoder::kNeedMore);
  EXPECT_EQ(dec->Buffered(), 64 - 4);  // the first header was taken
}

TEST(Mp3Decode, FramesCompleteAcrossCallsAndFillOneFrameOfOutput) {
  auto dec = std::make_unique<Mp3Decoder>();
  std::vector<uint8_t> stream = SilentStream(6);
  std::vector<uint8_t> out(5000, 0xAA);
  int results[3] = {0, 0, 0};
  int frames = 0;
  for (size_t pos = 0; pos < stream.size(); pos += 64) {
    int n = static_cast<int>(std::min<size_t>(64, stream.size() - pos));
    int produced = -1;
    int r = dec->Decode(stream.data() + pos, n, out.data(), 5000, &produced);
    ASSERT_NE(r, Mp3Decoder::kError);
    ++results[r];
    if (r == Mp3Decoder::kFrameDecoded) {
      ++frames;
      ASSERT_EQ(produced, 4608);  // MPEG-1 layer III stereo: 2 x 18 x 128 bytes
      for (int i = 0; i < 4608; ++i) ASSERT_EQ(out[i], 0) << "byte " << i;
      EXPECT_EQ(out[4608], 0xAA);  // nothing past the frame's output
    } else {
      EXPECT_EQ(produced, 0);
    }
  }
  // the last frame's rest is still queued; one more call without input completes it
  EXPECT_EQ(frames, 6);
  EXPECT_EQ(dec->SampleRate(), 44100);
  EXPECT_EQ(dec->Channels(), 2);
  EXPECT_EQ(dec->Bitrate(), 128);
}

TEST(Mp3Decode, LeadingXingFrameIsSkippedWhole) {
  auto tag = SilentFrame();
  std::memcpy(tag.data() + 4 + 32, "Xing", 4);
  const uint8_t flags[4] = {0, 0, 0, 1}, count[4] = {0, 0, 0x01, 0x02};
  std::memcpy(tag.data() + 40, flags, 4);
  std::memcpy(tag.data() + 44, count, 4);
  std::vector<uint8_t> stream = Concat({tag, SilentStream(4), std::vector<uint8_t>(64, 0)});
  audiotest::Decoded d = audiotest::DecodeStream(stream);
  EXPECT_EQ(d.frames, 4);
  EXPECT_EQ(d.pcm.size(), 4u * 2304);
  auto dec = std::make_unique<Mp3Decoder>();
  std::vector<uint8_t> out(5000);
  int produced = 0;
  for (size_t pos = 0; pos + 64 <= stream.size(); pos += 64)
    dec->Decode(stream.data() + pos, 64, out.data(), 5000, &produced);
  EXPECT_TRUE(dec->XingFound());
  EXPECT_EQ(dec->XingFrames(), 0x0102u);
}

TEST(Mp3Decode, GarbageAndTruncatedInputNeverCrash) {
  // pseudo-random bytes, with and without sync-looking words
  uint32_t seed = 99;
  std::vector<uint8_t> junk(200000);
  for (auto& b : junk) {
    seed = seed * 1103515245u + 12345u;
    b = static_cast<uint8_t>(seed >> 16);
    if ((seed >> 8) % 97 == 0) b = 0xFF;
  }
  audiotest::Decoded d = audiotest::DecodeStream(junk);
  EXPECT_LE(d.pcm.size(), junk.size() * 40);  // bounded, and no crash (ASan/fuzz check bounds)
  // a stream cut in the middle of a frame
  std::vector<uint8_t> cut = SilentStream(3);
  cut.erase(cut.end() - 400, cut.end());  // the third frame stops inside its side information
  audiotest::Decoded c = audiotest::DecodeStream(cut);
  EXPECT_EQ(c.frames, 2);
}

TEST(Mp3Decode, MainDataBeginBeyondTheReservoirGivesNoOutput) {
  // frame 2 claims 511 bytes of main data from earlier frames, which hold only ~417
  std::vector<uint8_t> stream = SilentStream(4);
  const size_t frame2 = 2 * 417;
  stream[frame2 + 4] = 0xFF;      // main_data_begin = 511 (9 bits)
  stream[frame2 + 5] = 0x80;
  audiotest::Decoded d = audiotest::DecodeStream(stream, 64);
  EXPECT_GE(d.emptyFrames, 1);
  for (int16_t s : d.pcm) ASSERT_EQ(s, 0);
}

class Mp3Stream : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!audiotest::HaveProgram("lame")) GTEST_SKIP() << "lame not installed";
    std::string dir = audiotest::TempDir("decoder_stream");
    std::vector<int16_t> pcm(44100 * 2 * 2);
    for (size_t i = 0; i < pcm.size(); ++i)
      pcm[i] = static_cast<int16_t>(8000 * std::sin(i * 0.01) + ((i / 7919) % 3 == 0 ? 3000 : 0) *
                                                                     std::sin(i * 1.3));
    ASSERT_TRUE(audiotest::WriteBytes(dir + "/a.wav", audiotest::MakeWav(pcm, 44100, 2)));
    ASSERT_TRUE(audiotest::Run("lame --quiet -t -b 128 '" + dir + "/a.wav' '" + dir + "/a.mp3'"));
    ASSERT_TRUE(audiotest::ReadBytes(dir + "/a.mp3", &stream_));
  }
  std::vector<uint8_t> stream_;
};

TEST_F(Mp3Stream, OutputDoesNotDependOnPieceSize) {
  audiotest::Decoded a = audiotest::DecodeStream(stream_, 64);
  audiotest::Decoded b = audiotest::DecodeStream(stream_, 4096);
  audiotest::Decoded c = audiotest::DecodeStream(stream_, 1);
  ASSERT_GT(a.pcm.size(), 44100u * 2 * 2 - 4608);
  EXPECT_EQ(a.pcm, b.pcm);
  EXPECT_EQ(a.pcm, c.pcm);
  EXPECT_EQ(a.emptyFrames, 0);
}

TEST_F(Mp3Stream, DamagedStreamDecodesWhatItCanAndResynchronises) {
  audiotest::Decoded clean = audiotest::DecodeStream(stream_);
  std::vector<uint8_t> damaged = stream_;
  uint32_t seed = 7;
  for (size_t pos = 3000; pos < damaged.size(); pos += 2500) {  // a burst of noise every 2.5 KB
    for (size_t k = 0; k < 40 && pos + k < damaged.size(); ++k) {
      seed = seed * 1664525u + 1013904223u;
      damaged[pos + k] = static_cast<uint8_t>(seed >> 24);
    }
  }
  audiotest::Decoded d = audiotest::DecodeStream(damaged);
  EXPECT_GT(d.pcm.size(), clean.pcm.size() / 2);
  EXPECT_LE(d.pcm.size(), clean.pcm.size() + 4 * 2304);
  // a block of garbage inserted between frames: frames after it decode as before
  std::vector<uint8_t> inserted(stream_.begin(), stream_.begin() + 417 * 20);
  std::vector<uint8_t> junk(3000, 0x55);
  inserted.insert(inserted.end(), junk.begin(), junk.end());
  inserted.insert(inserted.end(), stream_.begin() + 417 * 20, stream_.end());
  audiotest::Decoded g = audiotest::DecodeStream(inserted);
  ASSERT_GE(g.pcm.size(), clean.pcm.size() - 2304 * 2);
  // the tail, once the overlap and the reservoir have settled, is identical
  size_t tail = 2304 * 30;
  EXPECT_TRUE(std::equal(g.pcm.end() - tail, g.pcm.end(), clean.pcm.end() - tail));
}

TEST_F(Mp3Stream, InitStartsAfresh) {
  auto dec = std::make_unique<Mp3Decoder>();
  std::vector<uint8_t> out(5000);
  auto run = [&]() {
    std::vector<uint8_t> all;
    dec->Init();
    for (size_t pos = 0; pos + 64 <= stream_.size(); pos += 64) {
      int produced = 0;
      if (dec->Decode(stream_.data() + pos, 64, out.data(), 5000, &produced) == 0)
        all.insert(all.end(), out.begin(), out.begin() + produced);
    }
    return all;
  };
  auto first = run();
  auto second = run();
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(first, second);
}

}  // namespace

namespace {

TEST(Mp3Decode, FreeFormatFramesAroundALongGapKeepDecoding) {
  // silent free-format frames (bitrate index 0) of 417 bytes, a 20000-byte gap, more frames
  auto frame = [] {
    std::vector<uint8_t> f(417, 0);
    f[0] = 0xFF;
    f[1] = 0xFB;
    f[2] = 0x00;
    f[3] = 0x64;
    return f;
  };
  std::vector<uint8_t> stream;
  for (int i = 0; i < 5; ++i) stream = Concat({stream, frame()});
  stream = Concat({stream, std::vector<uint8_t>(20000, 0)});
  for (int i = 0; i < 6; ++i) stream = Concat({stream, frame()});
  audiotest::Decoded d = audiotest::DecodeStream(stream);
  EXPECT_GE(d.frames, 9);
  EXPECT_EQ(d.pcm.size(), static_cast<size_t>(d.frames - d.emptyFrames) * 2304);
  for (int16_t s : d.pcm) ASSERT_EQ(s, 0);
}

}  // namespace

namespace {

TEST(Mp3Decode, AfterTheFirstFrameOnlyConfirmedHeadersOfAnotherLayoutAreTaken) {
  // A layer II frame between layer III frames is passed over, although a header follows it; a
  // one-channel sync word in the middle of other data (no header where its frame would end) is
  // passed over; a whole one-channel frame followed by the next header is a layout change.
  auto layer2 = SilentFrame(0xFFFD9064);  // layer II header, 160 kbit/s
  auto mono = SilentFrame(0xFFFB90C4);    // layer III, one channel
  std::vector<uint8_t> stray = {0xFF, 0xFB, 0x90, 0xC4};
  stray.resize(40, 0);
  std::vector<uint8_t> stream =
      Concat({SilentStream(3), layer2, SilentStream(2), stray, SilentStream(1), mono, SilentStream(3)});
  audiotest::Decoded d = audiotest::DecodeStream(stream);
  EXPECT_EQ(d.frames - d.emptyFrames, 10);
  EXPECT_EQ(d.channels, 2);
  EXPECT_EQ(d.pcm.size(), 10u * 2304);  // the mono frame's samples on both sides
  EXPECT_EQ(d.layoutChanges, 2);
  // before the first frame any layer is taken: a layer II stream decodes
  audiotest::Decoded l2 = audiotest::DecodeStream(Concat({layer2, layer2, layer2}));
  EXPECT_EQ(l2.frames, 3);
  EXPECT_EQ(l2.pcm.size(), 3u * 2304);
}

}  // namespace

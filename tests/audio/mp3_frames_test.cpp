// Frame arithmetic over a stream in memory: samples and bytes per frame, the stream's rate, and
// the seek point for a start time.
#include <gtest/gtest.h>

#include <vector>

#include "audio/mp3_frames.h"

namespace {
std::vector<uint8_t> Frame(uint32_t header) {
  Mp3Decoder::Header h = Mp3Decoder::DecodeHeader(header);
  std::vector<uint8_t> f(static_cast<size_t>(h.frameSize) + 4, 0);
  for (int i = 0; i < 4; ++i) f[i] = static_cast<uint8_t>(header >> (24 - 8 * i));
  return f;
}

void Append(std::vector<uint8_t>* s, const std::vector<uint8_t>& part) { s->insert(s->end(), part.begin(), part.end()); }

TEST(Mp3Frames, SamplesAndBytesPerFrame) {
  auto h = [](uint32_t w) { return Mp3Decoder::DecodeHeader(w); };
  EXPECT_EQ(SamplesPerFrame(h(0xFFFB906C)), 1152);  // MPEG-1 layer III
  EXPECT_EQ(SamplesPerFrame(h(0xFFF38000)), 576);   // MPEG-2 layer III
  EXPECT_EQ(SamplesPerFrame(h(0xFFE38800)), 576);   // MPEG-2.5 layer III
  EXPECT_EQ(SamplesPerFrame(h(0xFFFDA400)), 1152);  // layer II
  EXPECT_EQ(SamplesPerFrame(h(0xFFF5A400)), 1152);  // MPEG-2 layer II
  EXPECT_EQ(SamplesPerFrame(h(0xFFFFE000)), 384);   // layer I
  EXPECT_EQ(SamplesPerFrame(h(0x12345678)), 0);
  EXPECT_EQ(FrameLength(h(0xFFFB906C)), 417);
  EXPECT_EQ(FrameLength(h(0xFFFB926C)), 418);
  EXPECT_EQ(FrameLength(h(0xFFFB006C)), 0);  // free format
  const uint8_t bytes[4] = {0xFF, 0xFB, 0x90, 0x6C};
  EXPECT_EQ(HeaderWord(bytes), 0xFFFB906Cu);
}

TEST(Mp3Frames, StreamRateComesFromAConfirmedHeader) {
  std::vector<uint8_t> s = {1, 2, 3};
  Append(&s, {0xFF, 0xFB, 0x94, 0x64, 9, 9});  // a 48 kHz header word with no frame after it
  for (int i = 0; i < 3; ++i) Append(&s, Frame(0xFFFB9064));
  EXPECT_EQ(ProbeStreamRate(s.data(), s.size()), 44100);
  const std::vector<uint8_t> lone = Frame(0xFFF38000);  // one 22050 Hz frame alone
  EXPECT_EQ(ProbeStreamRate(lone.data(), lone.size()), 22050);
  EXPECT_EQ(ProbeStreamRate(s.data(), 3), 0);
}

// Frames of 417 and 418 bytes (every third one padded) after some leading bytes and a Xing tag
// frame, which the decoder skips and which therefore holds no time.
TEST(Mp3Frames, SeekPointCountsFramesOfTheirOwnLengthAndLeadsInOverTheReservoir) {
  std::vector<uint8_t> s(100, 0x20);
  std::vector<uint8_t> xing = Frame(0xFFFB9064);
  const uint8_t tag[8] = {'X', 'i', 'n', 'g', 0, 0, 0, 0};
  std::copy(tag, tag + 8, xing.begin() + 36);
  Append(&s, xing);
  std::vector<size_t> offsets;
  for (int i = 0; i < 40; ++i) {
    offsets.push_back(s.size());
    Append(&s, Frame(i % 3 == 2 ? 0xFFFB9264 : 0xFFFB9064));
  }
  // 10 frames and 100 samples in: frame 10, lead-in from frame 7 (frames 8 and 9 hold 381
  // bytes of main data each, less than the 511 a frame may step back, so frame 7 too)
  SeekPoint at = FindSeekPoint(s.data(), s.size(), (10 * 1152 + 100.5) / 44100.0);
  EXPECT_FALSE(at.pastEnd);
  EXPECT_EQ(at.feedFrom, offsets[7]);
  EXPECT_EQ(at.targetFrame, offsets[10] - offsets[7]);
  EXPECT_EQ(at.skipSamples, 100);
  // near the start the lead-in stops at the first frame
  at = FindSeekPoint(s.data(), s.size(), 1500.0 / 44100.0);
  EXPECT_EQ(at.feedFrom, offsets[0]);
  EXPECT_EQ(at.targetFrame, offsets[1] - offsets[0]);
  EXPECT_EQ(at.skipSamples, 1500 - 1152);
  // time 0: the stream from its first byte
  at = FindSeekPoint(s.data(), s.size(), 0.0);
  EXPECT_EQ(at.feedFrom, 0u);
  EXPECT_EQ(at.targetFrame, 0u);
  // past the last frame
  EXPECT_TRUE(FindSeekPoint(s.data(), s.size(), 40 * 1152 / 44100.0 + 0.001).pastEnd);
  EXPECT_TRUE(FindSeekPoint(s.data(), 50, 1.0).pastEnd);
}

TEST(Mp3Frames, SeekPointWalksOverDamage) {
  std::vector<uint8_t> s;
  std::vector<size_t> offsets;
  for (int i = 0; i < 12; ++i) {
    if (i == 5) Append(&s, std::vector<uint8_t>(333, 0xFF));  // sync-looking junk between frames
    offsets.push_back(s.size());
    Append(&s, Frame(0xFFFB9064));
  }
  SeekPoint at = FindSeekPoint(s.data(), s.size(), (8 * 1152 + 5) / 44100.0);
  EXPECT_EQ(at.feedFrom + at.targetFrame, offsets[8]);
  EXPECT_EQ(at.skipSamples, 5);
}

}  // namespace

// The WAV writer: whole files, files written in pieces with the header completed at the end, and
// outputs that cannot seek.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "io/wav_write.h"

namespace {

std::string TempPath(const std::string& name) {
  const std::string dir = std::string(QUILLON_BINARY_DIR) + "/tests/io-tmp";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  return dir + "/" + name;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
  }
  return bytes;
}

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t{b.at(at + i)} << (8 * i);
  return v;
}

std::vector<int16_t> Samples(size_t n) {
  std::vector<int16_t> s(n);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<int16_t>(i * 7919 - 30000);
  return s;
}

TEST(WavWrite, WholeFileHoldsTheHeaderAndTheSamples) {
  const std::string path = TempPath("whole.wav");
  const std::vector<int16_t> s = Samples(3 * 1001);
  std::string why;
  ASSERT_TRUE(WriteWav(path, s.data(), 1001, 22050, 3, &why)) << why;
  const std::vector<uint8_t> b = ReadAll(path);
  ASSERT_EQ(b.size(), 44u + s.size() * 2);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(Le(b, 4, 4), 36 + s.size() * 2);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le(b, 16, 4), 16u);
  EXPECT_EQ(Le(b, 20, 2), 1u);      // PCM
  EXPECT_EQ(Le(b, 22, 2), 3u);      // channels
  EXPECT_EQ(Le(b, 24, 4), 22050u);  // rate
  EXPECT_EQ(Le(b, 28, 4), 22050u * 6);
  EXPECT_EQ(Le(b, 32, 2), 6u);      // block align
  EXPECT_EQ(Le(b, 34, 2), 16u);     // bits
  EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
  EXPECT_EQ(Le(b, 40, 4), s.size() * 2);
  for (size_t i = 0; i < s.size(); ++i) ASSERT_EQ(static_cast<int16_t>(Le(b, 44 + 2 * i, 2)), s[i]) << i;
}

TEST(WavWrite, WritingInPiecesGivesTheSameFile) {
  const std::vector<int16_t> s = Samples(2 * 70000);
  std::string why;
  ASSERT_TRUE(WriteWav(TempPath("a.wav"), s.data(), 70000, 44100, 2, &why)) << why;
  WavWriter w;
  ASSERT_TRUE(w.Open(TempPath("b.wav"), 44100, 2, &why)) << why;
  EXPECT_TRUE(w.Write(s.data(), 1));
  EXPECT_TRUE(w.Write(s.data() + 2, 0));
  EXPECT_TRUE(w.Write(s.data() + 2, 65535));
  EXPECT_TRUE(w.Write(s.data() + 2 * 65536, 70000 - 65536));
  EXPECT_EQ(w.Frames(), 70000u);
  ASSERT_TRUE(w.Close(&why)) << why;
  EXPECT_EQ(ReadAll(TempPath("a.wav")), ReadAll(TempPath("b.wav")));
}

// Into a pipe, the header cannot be completed: the one written first says "as long as a WAV can
// be", and the samples follow it.
TEST(WavWrite, AnOutputThatCannotSeekKeepsTheLongestHeader) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a named pipe and /dev/null";
#endif
  const std::string fifo = TempPath("pipe.fifo");
  std::remove(fifo.c_str());
  ASSERT_EQ(std::system(("mkfifo '" + fifo + "'").c_str()), 0);
  std::vector<uint8_t> received;
  std::thread reader([&] { received = ReadAll(fifo); });
  const std::vector<int16_t> s = Samples(200);
  WavWriter w;
  std::string why;
  ASSERT_TRUE(w.Open(fifo, 8000, 1, &why)) << why;
  EXPECT_TRUE(w.Write(s.data(), s.size()));
  EXPECT_TRUE(w.Close(&why)) << why;
  reader.join();
  ASSERT_EQ(received.size(), 44u + 400);
  EXPECT_EQ(Le(received, 40, 4), 0xFFFFFFFFu - 36 - 1);  // whole sample frames of 2 bytes
  EXPECT_EQ(Le(received, 4, 4), 0xFFFFFFFFu - 1);
  EXPECT_EQ(static_cast<int16_t>(Le(received, 44, 2)), s[0]);
  std::remove(fifo.c_str());

  ASSERT_TRUE(w.Open("/dev/null", 8000, 1, &why)) << why;
  EXPECT_TRUE(w.Write(s.data(), s.size()));
  EXPECT_TRUE(w.Close(&why)) << why;
}

TEST(WavWrite, RefusesBadFormatsAndUnwritablePaths) {
  const std::vector<int16_t> s = Samples(10);
  std::string why;
  EXPECT_FALSE(WriteWav(TempPath("bad.wav"), s.data(), 10, 44100, 0, &why));
  EXPECT_FALSE(WriteWav(TempPath("bad.wav"), s.data(), 1, 0, 2, &why));
  why.clear();
  EXPECT_FALSE(WriteWav(TempPath("no/such/dir/x.wav"), s.data(), 5, 44100, 2, &why));
  EXPECT_NE(why.find("cannot create"), std::string::npos) << why;
  WavWriter w;
  EXPECT_FALSE(w.Write(s.data(), 5));  // not open
  EXPECT_FALSE(w.Close(&why));
}

TEST(WavWrite, HeaderCutsAtWhatA32BitSizeDescribes) {
  const std::vector<uint8_t> h = WavHeader(44100, 2, size_t{1} << 40);
  EXPECT_EQ(Le(h, 40, 4), (0xFFFFFFFFu - 36) / 4 * 4);
  EXPECT_EQ(Le(h, 4, 4), 36 + (0xFFFFFFFFu - 36) / 4 * 4);
  EXPECT_EQ(Le(WavHeader(44100, 2, 1000), 40, 4), 4000u);
}

}  // namespace

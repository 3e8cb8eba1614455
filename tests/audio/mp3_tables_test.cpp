// The decoder's generated tables: the generator reproduces the committed file from the committed
// table data, and the Huffman lookup decodes every code of the standard's tables.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "audio/mp3_tables.h"
#include "audio_test_util.h"
#include "layer3_writer.h"

namespace {

TEST(Mp3Tables, GeneratorReproducesTheCommittedFile) {
  if (!audiotest::HaveProgram("python3")) GTEST_SKIP() << "python3 not installed";
  const std::string src = QUILLON_SOURCE_DIR;
  const std::string out = audiotest::TempDir("tables") + "/mp3_tables.cpp";
  ASSERT_TRUE(audiotest::Run("python3 '" + src + "/audio/make_mp3_tables.py' '" + src +
                             "/audio/mp3_tables.txt' > '" + out + "'"));
  std::vector<uint8_t> generated, committed;
  ASSERT_TRUE(audiotest::ReadBytes(out, &generated));
  ASSERT_TRUE(audiotest::ReadBytes(src + "/audio/mp3_tables.cpp", &committed));
  EXPECT_TRUE(generated == committed) << "audio/mp3_tables.cpp is not what audio/make_mp3_tables.py makes of "
                                         "audio/mp3_tables.txt: run the generator and commit its output";
}

// Walks the multi-level lookup the way the decoder does, for a code given as bits at the top
// of a 64-bit word; returns the value and the code's length.
int Lookup(const HuffTableInfo& t, uint64_t w, int* used) {
  const uint32_t* base = kHuffLookup + t.start;
  int bits = t.bits;
  *used = 0;
  for (int level = 0; level < 8; ++level) {
    const uint32_t e = base[(w << *used) >> (64 - bits)];
    if (!(e & 0x10000)) {
      *used += static_cast<int>((e >> 8) & 0xff);
      return static_cast<int>(e & 0xff);
    }
    *used += bits;
    bits = static_cast<int>(e & 0xff);
    base = kHuffLookup + (e >> 17);
  }
  return -1;
}

TEST(Mp3Tables, HuffmanLookupDecodesEveryCodeOfEveryTable) {
  layer3::Codes codes;
  std::string why;
  ASSERT_TRUE(codes.Load(&why)) << why;
  for (int t = 0; t < 32; ++t) {
    EXPECT_EQ(kHuffTables[t].linbits, codes.linbits[t]) << "table " << t;
    const int size = codes.xmax[t] + 1;
    EXPECT_EQ(kHuffTables[t].bits == 0, codes.xmax[t] == 0) << "table " << t;
    if (codes.xmax[t] == 0) continue;
    for (int x = 0; x < size; ++x)
      for (int y = 0; y < size; ++y) {
        const layer3::Code& c = codes.Pair(t, x, y);
        // the code, followed by ones (a wrong length shows as a wrong value or length)
        const uint64_t w = (uint64_t{c.bits} << (64 - c.length)) | ((uint64_t{1} << (64 - c.length)) - 1);
        int used = 0;
        EXPECT_EQ(Lookup(kHuffTables[t], w, &used), (x << 4) | y) << "table " << t << " x " << x << " y " << y;
        EXPECT_EQ(used, c.length) << "table " << t << " x " << x << " y " << y;
      }
  }
  for (int q = 0; q < 2; ++q)
    for (int v = 0; v < 16; ++v) {
      const layer3::Code& c = codes.quad[q][v];
      const uint64_t w = uint64_t{c.bits} << (64 - c.length);
      int used = 0;
      EXPECT_EQ(Lookup(kHuffTables[32 + q], w, &used), v) << "count1 table " << q;
      EXPECT_EQ(used, c.length) << "count1 table " << q;
    }
}

}  // namespace

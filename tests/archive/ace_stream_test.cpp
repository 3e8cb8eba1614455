#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive/ace_format.h"
#include "archive/ace_unpacker.h"

namespace {

// Bits go into 32-bit words most significant bit first; words are stored little-endian.
class Bits {
 public:
  void Put(uint32_t value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      word_ = (word_ << 1) | ((value >> i) & 1);
      if (++count_ == 32) Flush();
    }
  }
  std::vector<uint8_t> Finish() {
    if (count_) {
      word_ <<= 32 - count_;
      Flush();
    }
    return bytes_;
  }

 private:
  void Flush() {
    for (int k = 0; k < 4; ++k) bytes_.push_back(static_cast<uint8_t>(word_ >> (8 * k)));
    word_ = 0;
    count_ = 0;
  }
  uint32_t word_ = 0;
  int count_ = 0;
  std::vector<uint8_t> bytes_;
};

std::string Unpack(const std::vector<uint8_t>& packed, int32_t size) {
  ArchiveCursor cursor;
  cursor.data = packed.data();
  cursor.size = packed.size();
  cursor.addedLeft = packed.size();
  AceUnpacker u;
  EXPECT_TRUE(u.Init());
  MemberPacking m;
  m.method = 1;
  m.methodParameter = 10;
  m.unpackedSize = size;
  u.BeginMember(m, &cursor);
  std::string out;
  uint8_t chunk[2048];
  while (int32_t n = u.UnpackChunk(chunk, sizeof(chunk))) out.append(reinterpret_cast<char*>(chunk), static_cast<size_t>(n));
  EXPECT_EQ(u.Crc(), Crc(reinterpret_cast<const uint8_t*>(out.data()), out.size()));
  return out;
}

}  // namespace

// A block written bit by bit: the main code has 'A' and 'B' with one bit each, sent as
// lengths with a run symbol and differences modulo `up`; the length code has two one-bit
// symbols; then four symbols.
TEST(AceUnpacker, DecodesAHandWrittenBlock) {
  Bits b;
  // Main code: highest symbol 66, low 0, up 2; code-length lengths 1, 2, 2 for symbols 0, 1
  // and the run symbol 2, which the table builder codes as "0", "10" and "11".
  b.Put(66, 9);
  b.Put(0, 4);
  b.Put(2, 4);
  b.Put(1, 3);
  b.Put(2, 3);
  b.Put(2, 3);
  for (int r = 0; r < 3; ++r) {  // 65 unused symbols: runs of 19, 19, 19 and 8
    b.Put(0b11, 2);
    b.Put(15, 4);
  }
  b.Put(0b11, 2);
  b.Put(4, 4);
  b.Put(0b10, 2);  // 'A': difference 1
  b.Put(0b0, 1);   // 'B': difference 0, the same length
  // Length code: highest symbol 1, low 0, up 2; code-length lengths 1, 1, 0: symbol 1 is "0",
  // symbol 0 is "1".
  b.Put(1, 9);
  b.Put(0, 4);
  b.Put(2, 4);
  b.Put(1, 3);
  b.Put(1, 3);
  b.Put(0, 3);
  b.Put(0b0, 1);  // length symbol 0: difference 1
  b.Put(0b1, 1);  // length symbol 1: difference 0
  b.Put(4, 15);   // four symbols in the block

  // Which of 'A' and 'B' gets "0" is the table builder's choice.
  uint8_t lengths[67] = {};
  lengths[65] = lengths[66] = 1;
  std::vector<uint16_t> table(2048);
  int32_t first[67];
  ASSERT_TRUE(MakeCode(11, 66, lengths, table.data(), first));
  const uint32_t codeA = static_cast<uint32_t>(first[65]) >> 10;
  const uint32_t codeB = static_cast<uint32_t>(first[66]) >> 10;
  ASSERT_NE(codeA, codeB);
  for (uint32_t code : {codeA, codeB, codeB, codeA}) b.Put(code, 1);
  EXPECT_EQ(Unpack(b.Finish(), 4), "ABBA");
}

// Matches: a new distance 0 repeats the last byte, a new distance 1 and a reused one.
TEST(AceUnpacker, DecodesHandWrittenMatches) {
  Bits b;
  // Main code: 'x' (120), 'y' (121), 260 (new distance 0) and 261 (new distance 1), two bits
  // each: highest symbol 261, low 1, up 2.
  b.Put(261, 9);
  b.Put(1, 4);
  b.Put(2, 4);
  b.Put(1, 3);  // code-length lengths 1, 2, 2
  b.Put(2, 3);
  b.Put(2, 3);
  uint8_t cl[3] = {1, 2, 2};
  std::vector<uint16_t> clTable(2048);
  int32_t clFirst[3];
  ASSERT_TRUE(MakeCode(7, 2, cl, clTable.data(), clFirst));
  auto putCl = [&](int symbol) { b.Put(static_cast<uint32_t>(clFirst[symbol]) >> (7 - cl[symbol]), cl[symbol]); };
  auto putRun = [&](int n) {
    putCl(2);
    b.Put(static_cast<uint32_t>(n - 4), 4);
  };
  // Values: 0..119 -> 0, 120 -> 1, 121 -> 1, 122..259 -> 0, 260 -> 1, 261 -> 1.
  for (int left = 120; left > 0;) {
    const int n = left >= 19 ? 19 : left;
    if (n >= 4) {
      putRun(n);
    } else {
      for (int i = 0; i < n; ++i) putCl(0);
    }
    left -= n;
  }
  putCl(1);  // 120: 0 -> 1
  putCl(0);  // 121: same
  putCl(1);  // 122: 1 -> 0 (difference 1 modulo 2)
  for (int left = 137; left > 0;) {  // 123..259 repeat 0
    const int n = left >= 19 ? 19 : left;
    if (n >= 4) {
      putRun(n);
    } else {
      for (int i = 0; i < n; ++i) putCl(0);
    }
    left -= n;
  }
  putCl(1);  // 260
  putCl(0);  // 261
  // Length code: symbols 0 and 3, one bit each. highest 3, low 0, up 2.
  b.Put(3, 9);
  b.Put(0, 4);
  b.Put(2, 4);
  b.Put(1, 3);
  b.Put(2, 3);
  b.Put(2, 3);
  putCl(1);  // 0: value 1
  putCl(1);  // 1: value 0
  putCl(0);  // 2: 0
  putCl(1);  // 3: value 1
  const int count = 5;
  b.Put(count, 15);

  uint8_t mainLengths[262] = {};
  mainLengths[120] = mainLengths[121] = mainLengths[260] = mainLengths[261] = 2;
  std::vector<uint16_t> table(2048);
  int32_t first[262];
  ASSERT_TRUE(MakeCode(11, 261, mainLengths, table.data(), first));
  auto putMain = [&](int s) { b.Put(static_cast<uint32_t>(first[s]) >> 9, 2); };
  uint8_t lenLengths[4] = {1, 0, 0, 1};
  int32_t lenFirst[4];
  ASSERT_TRUE(MakeCode(11, 3, lenLengths, table.data(), lenFirst));
  auto putLength = [&](int s) { b.Put(static_cast<uint32_t>(lenFirst[s]) >> 10, 1); };

  putMain('x');
  putMain('y');
  putMain(260);  // distance 0: extra length 2, length symbol 3 -> 5 copies of 'y'
  putLength(3);
  putMain(261);  // distance 1: "yy" pattern two back, length symbol 0 -> 2 bytes
  putLength(0);
  putMain('x');
  EXPECT_EQ(Unpack(b.Finish(), 2 + 5 + 2 + 1), "xyyyyyyyyx");
}

namespace {

// Sends a code's lengths the plain way: every code-length symbol four bits long (up 15), so
// each length goes as the four-bit code of its difference to the previous one, modulo 15.
// Lengths are sent minus `low`; zero stays zero.
void PutLengths(Bits& b, const std::vector<uint8_t>& lengths, int low = 0) {
  b.Put(static_cast<uint32_t>(lengths.size() - 1), 9);
  b.Put(static_cast<uint32_t>(low), 4);
  b.Put(15, 4);
  uint8_t cl[16];
  for (uint8_t& l : cl) {
    l = 4;
    b.Put(4, 3);
  }
  std::vector<uint16_t> table(2048);
  int32_t first[16];
  ASSERT_TRUE(MakeCode(7, 15, cl, table.data(), first));
  int previous = 0;
  for (uint8_t length : lengths) {
    const int value = length ? length - low : 0;
    b.Put(static_cast<uint32_t>(first[(value - previous + 15) % 15]) >> 3, 4);
    previous = value;
  }
}

// The codes the unpacker will use for these lengths.
struct Code {
  std::vector<uint8_t> lengths;
  std::vector<int32_t> first;
  explicit Code(std::vector<uint8_t> l) : lengths(std::move(l)), first(lengths.size()) {
    std::vector<uint16_t> table(2048);
    std::vector<uint8_t> work = lengths;
    EXPECT_TRUE(MakeCode(11, static_cast<int>(work.size()) - 1, work.data(), table.data(), first.data()));
  }
  void Put(Bits& b, int symbol) const {
    const int n = lengths[static_cast<size_t>(symbol)];
    b.Put(static_cast<uint32_t>(first[static_cast<size_t>(symbol)]) >> (11 - n), n);
  }
};

}  // namespace

// When a block's symbols run out and the next tables cannot be read, the chunk ends at its
// limit with whatever the dictionary holds there, and every later chunk tries the tables
// again from where the reading stopped: the old tables are never used again.
TEST(AceUnpacker, UnreadableTablesAfterABlockStayUnreadable) {
  Bits b;
  std::vector<uint8_t> mainLengths(67, 0);
  mainLengths['A'] = mainLengths['B'] = 1;
  PutLengths(b, mainLengths);
  PutLengths(b, {1, 1});
  b.Put(4, 15);
  const Code main(mainLengths);
  for (char c : std::string("ABBA")) main.Put(b, c);
  // Three sets of tables whose main code has 13-bit lengths: longer than the table.
  for (int i = 0; i < 3; ++i) PutLengths(b, {13, 13}, 12);
  const std::string out = Unpack(b.Finish(), 4000);
  ASSERT_EQ(out.size(), 4000u);
  EXPECT_EQ(out.substr(0, 4), "ABBA");
  EXPECT_EQ(out.find_first_not_of('\0', 4), std::string::npos) << "no symbol decoded after the first block";
}

// A distance larger than the dictionary wraps around it, and the copy still goes one byte at a
// time: with the source two bytes back, six bytes repeat the last two.
TEST(AceUnpacker, DistancesBeyondTheDictionaryCopyByteByByte) {
  Bits b;
  std::vector<uint8_t> mainLengths(282, 0);
  mainLengths['a'] = mainLengths['b'] = mainLengths['c'] = mainLengths[281] = 2;
  PutLengths(b, mainLengths);
  const std::vector<uint8_t> lengthLengths = {1, 0, 1};
  PutLengths(b, lengthLengths);
  b.Put(5, 15);
  const Code main(mainLengths);
  const Code length(lengthLengths);
  main.Put(b, 'a');
  main.Put(b, 'b');
  main.Put(b, 'c');
  main.Put(b, 281);  // a new distance with 20 more bits: 2^20 + 1
  b.Put(1, 20);
  length.Put(b, 2);  // 2 + 4 bytes
  main.Put(b, 'a');
  AceUnpacker probe;
  ASSERT_TRUE(probe.Init());
  if (probe.DictionaryBits() != 20) GTEST_SKIP() << "no 1 MiB dictionary";
  EXPECT_EQ(Unpack(b.Finish(), 10), "abcbcbcbca");
}

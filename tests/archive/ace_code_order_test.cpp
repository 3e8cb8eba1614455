// The archive's Huffman tables: which code each symbol gets when several share a length (fixed
// by the archive's own sort, worked out by hand below), and that the codes of any valid set of
// lengths are prefix-free and fill the decode table exactly.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/ace_format.h"

namespace {

// The code of a symbol: the top `length` bits of its first table entry.
std::string CodeOf(int32_t firstEntry, int length, int bits) {
  std::string code;
  for (int b = bits - 1; b >= bits - length; --b) code += (firstEntry >> b) & 1 ? '1' : '0';
  return code;
}

}  // namespace

TEST(AceCodeOrder, EqualLengthsTakeTheirCodesInTheSortsOrder) {
  // Lengths 3 2 4 4 - 2 3 4 4 -: the sort leaves the places (symbol:length)
  //   3:4 7:4 8:4 2:4 6:3 0:3 5:2 1:2, and the table is filled from the last place back.
  const struct {
    std::vector<uint8_t> lengths;
    std::map<int, std::string> codes;
  } cases[] = {
      {{3, 2, 4, 4, 0, 2, 3, 4, 4, 0},
       {{1, "00"}, {5, "01"}, {0, "100"}, {6, "101"}, {2, "1100"}, {8, "1101"}, {7, "1110"}, {3, "1111"}}},
      // Places 10:5 9:5 7:5 8:5 2:5 1:5 0:5 3:5 12:4 6:4 5:3 4:1.
      {{5, 5, 5, 5, 1, 3, 4, 5, 5, 5, 5, 0, 4},
       {{4, "0"},
        {5, "100"},
        {6, "1010"},
        {12, "1011"},
        {3, "11000"},
        {0, "11001"},
        {1, "11010"},
        {2, "11011"},
        {8, "11100"},
        {7, "11101"},
        {9, "11110"},
        {10, "11111"}}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> lengths = c.lengths;
    const int highest = static_cast<int>(lengths.size()) - 1;
    std::vector<uint16_t> table(2048, 0xFFFF);
    std::vector<int32_t> first(lengths.size());
    ASSERT_TRUE(MakeCode(11, highest, lengths.data(), table.data(), first.data()));
    for (int s = 0; s <= highest; ++s) {
      auto want = c.codes.find(s);
      if (want == c.codes.end()) {
        EXPECT_EQ(first[static_cast<size_t>(s)], -1) << "symbol " << s << " has no code";
        continue;
      }
      ASSERT_GE(first[static_cast<size_t>(s)], 0) << "symbol " << s;
      EXPECT_EQ(CodeOf(first[static_cast<size_t>(s)], lengths[static_cast<size_t>(s)], 11), want->second)
          << "symbol " << s;
    }
  }
}

TEST(AceCodeOrder, CodesOfAnyCompleteLengthSetArePrefixFreeAndFillTheTable) {
  uint32_t seed = 2024;
  auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
  for (int round = 0; round < 300; ++round) {
    // A complete code: split random leaves of a binary tree, no deeper than 11.
    std::vector<int> leaves = {0};
    const size_t want = 2 + next() % 120;
    for (int tries = 0; leaves.size() < want && tries < 10000; ++tries) {
      size_t pick = next() % leaves.size();
      if (leaves[pick] >= 11) continue;
      int depth = ++leaves[pick];
      leaves.push_back(depth);
    }
    // Spread the lengths over symbols 0..highest, some symbols without a code.
    const int highest = static_cast<int>(leaves.size() + next() % 20);
    std::vector<uint8_t> lengths(static_cast<size_t>(highest) + 1, 0);
    std::vector<int> free;
    for (int s = 0; s <= highest; ++s) free.push_back(s);
    for (int depth : leaves) {
      size_t at = next() % free.size();
      lengths[static_cast<size_t>(free[at])] = static_cast<uint8_t>(depth);
      free.erase(free.begin() + static_cast<long>(at));
    }
    std::vector<uint8_t> given = lengths;
    std::vector<uint16_t> table(2048, 0xFFFF);
    std::vector<int32_t> first(lengths.size());
    ASSERT_TRUE(MakeCode(11, highest, lengths.data(), table.data(), first.data())) << "round " << round;
    EXPECT_EQ(lengths, given);
    std::vector<std::string> codes;
    for (int s = 0; s <= highest; ++s) {
      const int length = given[static_cast<size_t>(s)];
      if (length == 0) {
        EXPECT_EQ(first[static_cast<size_t>(s)], -1);
        continue;
      }
      const int32_t start = first[static_cast<size_t>(s)];
      ASSERT_GE(start, 0);
      // Every entry of the symbol's span decodes to it.
      for (int32_t e = start; e < start + (1 << (11 - length)); ++e) ASSERT_EQ(table[static_cast<size_t>(e)], s);
      codes.push_back(CodeOf(start, length, 11));
    }
    for (size_t a = 0; a < codes.size(); ++a) {
      for (size_t b = 0; b < codes.size(); ++b) {
        if (a == b) continue;
        ASSERT_NE(codes[b].compare(0, codes[a].size(), codes[a]), 0) << codes[a] << " prefixes " << codes[b];
      }
    }
    for (uint16_t entry : table) ASSERT_NE(entry, 0xFFFF) << "a complete code fills the table";
  }
}

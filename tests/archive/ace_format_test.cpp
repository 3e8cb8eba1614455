#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "archive/ace_format.h"

TEST(AceCrc, NoFinalInversion) {
  const uint8_t abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(Crc(abc, 3), 0xCADBBE3Du);
  EXPECT_EQ(Crc(nullptr, 0), 0xFFFFFFFFu);
  // The wide path and the byte path agree, and the CRC can be continued piecewise.
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  uint32_t whole = Crc(bytes.data(), bytes.size());
  uint32_t pieces = kCrcStart;
  for (size_t i = 0; i < bytes.size(); i += 3) pieces = UpdateCrc(pieces, &bytes[i], std::min<size_t>(3, bytes.size() - i));
  EXPECT_EQ(whole, pieces);
  // The usual CRC-32 of "123456789" is 0xCBF43926; without the inversion it is its complement.
  EXPECT_EQ(Crc(reinterpret_cast<const uint8_t*>("123456789"), 9), ~0xCBF43926u);
}

TEST(AceCrc, EveryLengthAndStartMatchesTheBitwiseDefinition) {
  // One bit at a time with the reflected polynomial, as the table is defined.
  auto bitwise = [](uint32_t crc, const uint8_t* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      crc ^= data[i];
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ ((crc & 1) ? 0xEDB88320u : 0u);
    }
    return crc;
  };
  std::vector<uint8_t> bytes(5000);
  uint32_t seed = 7;
  for (uint8_t& b : bytes) b = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  for (size_t n = 0; n <= 300; ++n) {
    for (size_t offset : {size_t{0}, size_t{3}}) {
      const uint32_t start = (seed = seed * 1664525u + 1013904223u);
      ASSERT_EQ(UpdateCrc(start, &bytes[offset], n), bitwise(start, &bytes[offset], n)) << n << " at " << offset;
    }
  }
  EXPECT_EQ(Crc(bytes.data(), bytes.size()), bitwise(0xFFFFFFFFu, bytes.data(), bytes.size()));
}

TEST(AceMakeCode, EqualLengthsFollowTheArchiveSortNotCanonicalOrder) {
  // Symbols 0 and 1 have two bits, symbol 2 one bit. The archive's sort leaves symbol 1 before
  // symbol 0 among the two-bit codes: 0 -> "11", 1 -> "10", 2 -> "0".
  uint8_t lengths[3] = {2, 2, 1};
  std::vector<uint16_t> table(2048, 0xFFFF);
  int32_t first[3];
  ASSERT_TRUE(MakeCode(11, 2, lengths, table.data(), first));
  EXPECT_EQ(table[0], 2);
  EXPECT_EQ(table[1023], 2);
  EXPECT_EQ(table[1024], 1);
  EXPECT_EQ(table[1536], 0);
  EXPECT_EQ(first[0], 1536);
  EXPECT_EQ(first[1], 1024);
  EXPECT_EQ(first[2], 0);
}

TEST(AceMakeCode, SortIsLongestFirstAndCodesArePrefixFree) {
  uint32_t seed = 12345;
  for (int round = 0; round < 500; ++round) {
    int n = 1 + static_cast<int>((seed = seed * 1664525u + 1013904223u) >> 24) % 283;
    std::vector<uint8_t> lengths(283, 0);
    std::vector<uint16_t> symbols(283);
    for (int i = 0; i < n; ++i) {
      seed = seed * 1664525u + 1013904223u;
      lengths[i] = static_cast<uint8_t>((seed >> 20) % 12);
      symbols[i] = static_cast<uint16_t>(i);
    }
    std::vector<uint8_t> sorted(lengths.begin(), lengths.begin() + n);
    SortRange(sorted.data(), symbols.data(), 0, n - 1);
    for (int i = 1; i < n; ++i) ASSERT_GE(sorted[i - 1], sorted[i]) << "round " << round;
    for (int i = 0; i < n; ++i) ASSERT_EQ(sorted[i], lengths[symbols[i]]);
  }
}

TEST(AceMakeCode, SingleAndEmptyCodesAndOverfill) {
  std::vector<uint16_t> table(2048, 0);
  uint8_t one[5] = {0, 0, 3, 0, 0};
  ASSERT_TRUE(MakeCode(11, 4, one, table.data()));
  EXPECT_EQ(one[2], 1) << "a lone symbol is read with one bit";
  EXPECT_EQ(table[0], 2);

  uint8_t over[3] = {1, 1, 1};
  std::fill(table.begin(), table.end(), 0);
  EXPECT_TRUE(MakeCode(11, 2, over, table.data())) << "a full table stops filling";
  // Spans shrink as places are filled, so only a code longer than the table can run past it.
  uint8_t tooLong[3] = {12, 12, 1};
  EXPECT_FALSE(MakeCode(11, 2, tooLong, table.data()));
}

TEST(AceDistanceCache, ReuseMovesToFrontAndExtraLengths) {
  DistanceCache c;
  c.Push(10);
  c.Push(20);
  c.Push(30);
  c.Push(40);  // newest first: 40 30 20 10
  EXPECT_EQ(c.Reuse(0), 40u);
  EXPECT_EQ(c.Peek(0), 40u);
  EXPECT_EQ(c.Peek(1), 30u);
  EXPECT_EQ(c.Reuse(1), 30u);  // the two newest swap
  EXPECT_EQ(c.Peek(0), 30u);
  EXPECT_EQ(c.Peek(1), 40u);
  EXPECT_EQ(c.Reuse(3), 10u);  // 10 30 40 20
  EXPECT_EQ(c.Peek(0), 10u);
  EXPECT_EQ(c.Peek(1), 30u);
  EXPECT_EQ(c.Peek(2), 40u);
  EXPECT_EQ(c.Peek(3), 20u);

  EXPECT_EQ(NewDistanceExtraLength(255), 2);
  EXPECT_EQ(NewDistanceExtraLength(256), 3);
  EXPECT_EQ(NewDistanceExtraLength(8191), 3);
  EXPECT_EQ(NewDistanceExtraLength(8192), 4);
  EXPECT_EQ(ReuseExtraLength(1), 2);
  EXPECT_EQ(ReuseExtraLength(2), 3);
}

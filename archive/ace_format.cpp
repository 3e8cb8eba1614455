#include "archive/ace_format.h"

#include <zlib.h>

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#include <immintrin.h>
#define ACE_CRC_CLMUL 1
#endif

namespace {

// The archive's CRC-32 is the usual one (reflected polynomial 0xEDB88320, start 0xFFFFFFFF)
// without the final inversion; zlib's crc32 inverts on the way in and out, so the running
// value passes through it complemented.
uint32_t TableCrc(uint32_t crc, const uint8_t* data, size_t n) {
  while (n > 0) {
    const uInt piece = n > 0x40000000u ? 0x40000000u : static_cast<uInt>(n);
    crc = ~static_cast<uint32_t>(crc32(~crc & 0xFFFFFFFFu, data, piece));
    data += piece;
    n -= piece;
  }
  return crc;
}

#ifdef ACE_CRC_CLMUL
// Long runs fold 16 bytes at a time with carry-less multiplication. In the reflected order a
// 16-byte block X (its first byte holding the highest powers) is worth X * x^D once D more
// bits follow it; with X = H * x^64 + L that is H * (x^(D+64) mod P) + L * (x^D mod P), a
// 96-bit value that can stand in for X, D bits further on. A carry-less product of two
// reflected values comes out multiplied by x, so the factors are taken one power lower.
// What is left at the end is run through the table: the CRC register of a message that
// starts from 0 depends only on the message modulo P.
constexpr uint64_t kPoly = 0x104C11DB7;  // x^32 + ... in the usual, unreflected order

constexpr uint64_t XPowerModP(int n) {
  uint64_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & (uint64_t{1} << 32)) r ^= kPoly;
  }
  return r;
}

constexpr uint64_t Reflect64(uint64_t v) {
  uint64_t r = 0;
  for (int i = 0; i < 64; ++i)
    if (v & (uint64_t{1} << i)) r |= uint64_t{1} << (63 - i);
  return r;
}

// The two factors that carry a block D bits forward: for its first and its second eight bytes.
struct FoldFactors {
  uint64_t high;
  uint64_t low;
};
constexpr FoldFactors Factors(int d) { return {Reflect64(XPowerModP(d + 64 - 1)), Reflect64(XPowerModP(d - 1))}; }
constexpr FoldFactors kFold128 = Factors(128);
constexpr FoldFactors kFold512 = Factors(512);

__attribute__((target("pclmul,sse2"))) inline __m128i Fold(__m128i block, __m128i factors) {
  return _mm_xor_si128(_mm_clmulepi64_si128(block, factors, 0x00), _mm_clmulepi64_si128(block, factors, 0x11));
}

// For n of at least 64.
__attribute__((target("pclmul,sse2"))) uint32_t ClmulCrc(uint32_t crc, const uint8_t* data, size_t n) {
  auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  const __m128i by128 = _mm_set_epi64x(static_cast<long long>(kFold128.low), static_cast<long long>(kFold128.high));
  const __m128i by512 = _mm_set_epi64x(static_cast<long long>(kFold512.low), static_cast<long long>(kFold512.high));
  // The register's start value goes into the first four bytes; from there on it is 0.
  __m128i x0 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x1 = load(data + 16);
  __m128i x2 = load(data + 32);
  __m128i x3 = load(data + 48);
  size_t at = 64;
  for (; n - at >= 64; at += 64) {
    x0 = _mm_xor_si128(Fold(x0, by512), load(data + at));
    x1 = _mm_xor_si128(Fold(x1, by512), load(data + at + 16));
    x2 = _mm_xor_si128(Fold(x2, by512), load(data + at + 32));
    x3 = _mm_xor_si128(Fold(x3, by512), load(data + at + 48));
  }
  __m128i x = _mm_xor_si128(Fold(x0, by128), x1);
  x = _mm_xor_si128(Fold(x, by128), x2);
  x = _mm_xor_si128(Fold(x, by128), x3);
  for (; n - at >= 16; at += 16) x = _mm_xor_si128(Fold(x, by128), load(data + at));
  uint8_t rest[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x);
  return TableCrc(TableCrc(0, rest, 16), data + at, n - at);
}

bool HaveClmul() {
  static const bool have = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") != 0;
  }();
  return have;
}
#endif

}  // namespace

uint32_t UpdateCrc(uint32_t crc, const uint8_t* data, size_t n) {
#ifdef ACE_CRC_CLMUL
  if (n >= 64 && HaveClmul()) return ClmulCrc(crc, data, n);
#endif
  return TableCrc(crc, data, n);
}

void SortRange(uint8_t* lengths, uint16_t* symbols, int left, int right) {
  for (;;) {
    const uint8_t pivot = lengths[right];
    int i = left;
    int j = right;
    do {
      while (lengths[i] > pivot) ++i;
      while (lengths[j] < pivot) --j;
      if (i <= j) {
        uint8_t l = lengths[i];
        lengths[i] = lengths[j];
        lengths[j] = l;
        uint16_t s = symbols[i];
        symbols[i] = symbols[j];
        symbols[j] = s;
        ++i;
        --j;
      }
    } while (i < j);
    if (left < j) {
      if (left < j - 1) {
        SortRange(lengths, symbols, left, j);
      } else if (lengths[left] < lengths[j]) {
        uint8_t l = lengths[left];
        lengths[left] = lengths[j];
        lengths[j] = l;
        uint16_t s = symbols[left];
        symbols[left] = symbols[j];
        symbols[j] = s;
      }
    }
    if (right > i) {
      if (i < right - 1) {
        left = i;  // the second half in place of a tail call
        continue;
      }
      if (lengths[i] < lengths[right]) {
        uint8_t l = lengths[i];
        lengths[i] = lengths[right];
        lengths[right] = l;
        uint16_t s = symbols[i];
        symbols[i] = symbols[right];
        symbols[right] = s;
      }
    }
    return;
  }
}

bool MakeCode(int bits, int highest, uint8_t* lengths, uint16_t* table, int32_t* firstEntry) {
  uint8_t workLength[kMaxMainSymbol + 2];
  uint16_t workSymbol[kMaxMainSymbol + 2];
  if (highest < 0) highest = 0;
  if (highest > kMaxMainSymbol) highest = kMaxMainSymbol;
  for (int i = 0; i <= highest; ++i) {
    workLength[i] = lengths[i];
    workSymbol[i] = static_cast<uint16_t>(i);
  }
  if (highest > 0) SortRange(workLength, workSymbol, 0, highest);
  workLength[highest + 1] = 0;

  int used = 0;
  while (workLength[used] != 0) ++used;
  if (used < 2) {
    lengths[workSymbol[0]] = 1;
    if (used == 0) used = 1;
  }
  if (firstEntry)
    for (int i = 0; i <= highest; ++i) firstEntry[i] = -1;

  const int32_t size = 1 << bits;
  int32_t entry = 0;
  for (int place = used - 1; place >= 0 && entry < size; --place) {
    const int length = workLength[place];
    // A code longer than the table would need fractional entries: it cannot fit.
    if (length > bits) return false;
    const int32_t span = 1 << (bits - length);
    if (entry + span > size) return false;
    if (firstEntry) firstEntry[workSymbol[place]] = entry;
    for (int32_t e = 0; e < span; ++e) table[entry + e] = workSymbol[place];
    entry += span;
  }
  return true;
}

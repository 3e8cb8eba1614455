#include "archive/ace_format.h"

#include <array>

namespace ace {
namespace {

// Slicing-by-8 tables over the reflected polynomial; row 0 is the plain byte-wise table.
struct CrcTables {
  uint32_t t[8][256];
};

constexpr CrcTables MakeCrcTables() {
  CrcTables tables{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : (c >> 1);
    tables.t[0][i] = c;
  }
  for (int row = 1; row < 8; ++row)
    for (int i = 0; i < 256; ++i) {
      uint32_t prev = tables.t[row - 1][i];
      tables.t[row][i] = (prev >> 8) ^ tables.t[0][prev & 0xFF];
    }
  return tables;
}

constexpr CrcTables kCrc = MakeCrcTables();

}  // namespace

uint32_t UpdateCrc(uint32_t crc, const uint8_t* data, size_t n) {
  while (n >= 8) {
    uint32_t lo = crc ^ Get32(data);
    uint32_t hi = Get32(data + 4);
    crc = kCrc.t[7][lo & 0xFF] ^ kCrc.t[6][(lo >> 8) & 0xFF] ^ kCrc.t[5][(lo >> 16) & 0xFF] ^ kCrc.t[4][lo >> 24] ^
          kCrc.t[3][hi & 0xFF] ^ kCrc.t[2][(hi >> 8) & 0xFF] ^ kCrc.t[1][(hi >> 16) & 0xFF] ^ kCrc.t[0][hi >> 24];
    data += 8;
    n -= 8;
  }
  while (n--) crc = kCrc.t[0][(crc ^ *data++) & 0xFF] ^ (crc >> 8);
  return crc;
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

}  // namespace ace

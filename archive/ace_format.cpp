#include "archive/ace_format.h"

#include <zlib.h>

namespace ace {
// The archive's CRC-32 is the usual one (reflected polynomial 0xEDB88320, start 0xFFFFFFFF)
// without the final inversion; zlib's crc32 inverts on the way in and out, so the running
// value passes through it complemented.
uint32_t UpdateCrc(uint32_t crc, const uint8_t* data, size_t n) {
  while (n > 0) {
    const uInt piece = n > 0x40000000u ? 0x40000000u : static_cast<uInt>(n);
    crc = ~static_cast<uint32_t>(crc32(~crc & 0xFFFFFFFFu, data, piece));
    data += piece;
    n -= piece;
  }
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

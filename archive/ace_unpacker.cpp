#include "archive/ace_unpacker.h"

#include <climits>
#include <cstdlib>
#include <cstring>

bool ArchiveCursor::Read(void* destination, size_t n) {
  if (n > Left()) return false;
  if (n) {
    if (!file) {
      std::memcpy(destination, data + pos, n);
    } else if (!file->Copy(pos, destination, n)) {
      return false;
    }
  }
  pos += n;
  return true;
}

bool ArchiveFileWindow::Fill(size_t offset) {
  if (offset != filePos_) {
    if (offset > static_cast<size_t>(LONG_MAX) || std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
      failed_ = true;
      return false;
    }
  }
  const size_t got = std::fread(buffer_, 1, sizeof(buffer_), file_);
  start_ = offset;
  length_ = got;
  filePos_ = offset + got;
  if (got == 0) {
    failed_ = true;
    return false;
  }
  return true;
}

bool ArchiveFileWindow::Copy(size_t offset, void* destination, size_t n) {
  uint8_t* out = static_cast<uint8_t*>(destination);
  while (n > 0) {
    if (offset < start_ || offset - start_ >= length_) {
      if (!Fill(offset)) return false;
    }
    const size_t at = offset - start_;
    const size_t piece = n < length_ - at ? n : length_ - at;
    std::memcpy(out, buffer_ + at, piece);
    out += piece;
    offset += piece;
    n -= piece;
  }
  return true;
}

AceUnpacker::~AceUnpacker() { Release(); }

void AceUnpacker::Release() {
  std::free(dictionary_);
  dictionary_ = nullptr;
  dictionaryBits_ = 0;
  mask_ = 0;
}

bool AceUnpacker::Init() {
  Release();
  // A zeroed dictionary keeps what a damaged stream copies from unwritten places deterministic.
  for (int bits = kDictionaryBits; bits >= 0 && !dictionary_; --bits) {
    dictionary_ = static_cast<uint8_t*>(std::calloc(size_t{1} << bits, 1));
    if (dictionary_) dictionaryBits_ = bits;
  }
  if (!dictionary_) return false;
  mask_ = (uint32_t{1} << dictionaryBits_) - 1;
  writePos_ = 0;
  firstMember_ = true;
  error_ = kNoError;
  cache_.Reset();
  return true;
}

size_t AceUnpacker::ReadPacked(uint8_t* destination, size_t n) {
  if (error_ != kNoError || !cursor_ || n == 0 || cursor_->addedLeft == 0) return 0;
  size_t piece = n < cursor_->addedLeft ? n : static_cast<size_t>(cursor_->addedLeft);
  cursor_->addedLeft -= piece;
  // A piece that runs past the archive's end is lost; the bit reader then works on what its
  // buffer held before.
  return cursor_->Read(destination, piece) ? piece : 0;
}

// Brings raw_ from byte `from` on into bits_, a 32-bit word at a time.
void AceUnpacker::TakeWords(uint32_t from) {
  for (uint32_t i = from; i < kBufferBytes; i += 4) {
    uint32_t word;
    std::memcpy(&word, raw_ + i, 4);
    word = __builtin_bswap32(word);  // the four bytes in reverse order, on any host
    std::memcpy(bits_ + i, &word, 4);
  }
}

// Whatever the reads do not fill keeps what raw_ held before: a stream that ends early is
// read on over those stale bytes.
void AceUnpacker::StartBits() {
  ReadPacked(raw_, sizeof(raw_));
  TakeWords(0);
  bitPos_ = 0;
}

void AceUnpacker::Refill() {
  bitPos_ -= kRefillBit;
  std::memcpy(bits_, bits_ + kRefillBit / 8, 8);
  ReadPacked(raw_ + 8, sizeof(raw_) - 8);
  TakeWords(8);
}

void AceUnpacker::BeginMember(const MemberPacking& member, ArchiveCursor* cursor) {
  cursor_ = cursor;
  member_ = member;
  crc_ = kCrcStart;
  remainingOutput_ = member.unpackedSize > 0 ? member.unpackedSize : 0;
  // An empty member (directory entries of later archivers use other method numbers) has
  // nothing to decode, whatever its method says.
  if (member.method == 1 && remainingOutput_ > 0) {
    if (!dictionary_ || (member.methodParameter & 15) + 10 > dictionaryBits_) {
      error_ = kDictionaryTooSmall;
      return;
    }
    StartBits();
    blockCount_ = 0;
  }
  if (!solid_ || firstMember_) writePos_ = 0;
  cache_.Reset();
  firstMember_ = false;
}

int32_t AceUnpacker::UnpackChunk(uint8_t* destination, int32_t capacity) {
  if (error_ != kNoError || remainingOutput_ <= 0 || capacity <= 0 || !dictionary_) return 0;
  int32_t produced;
  if (member_.method == 0) {
    produced = UnpackStored(destination, capacity);
  } else if (member_.method == 1) {
    produced = UnpackLz(destination, capacity);
  } else {
    error_ = kUnknownMethod;
    return 0;
  }
  crc_ = UpdateCrc(crc_, destination, static_cast<size_t>(produced));
  return produced;
}

bool AceUnpacker::ReadLengths(int maxSymbol, uint8_t* lengths, uint16_t* table) {
  std::memset(lengths, 0, static_cast<size_t>(maxSymbol) + 1);
  std::memset(table, 0, sizeof(uint16_t) << kTableBits);
  int highest = static_cast<int>(Peek(9));
  Skip(9);
  if (highest > maxSymbol) highest = maxSymbol;
  const int low = static_cast<int>(Peek(4));
  Skip(4);
  const int up = static_cast<int>(Peek(4));
  Skip(4);
  uint8_t codeLength[kMaxCodeLengthUp + 1] = {};
  for (int i = 0; i <= up; ++i) {
    codeLength[i] = static_cast<uint8_t>(Peek(3));
    Skip(3);
  }
  // The code-length code's table lives in the first entries of the table being read.
  if (!MakeCode(kCodeLengthTableBits, up, codeLength, table)) return false;

  for (int j = 0; j <= highest;) {
    const int c = table[Peek(kCodeLengthTableBits)];
    Skip(codeLength[c]);
    if (c < up) {
      lengths[j++] = static_cast<uint8_t>(c);
    } else {
      int run = static_cast<int>(Peek(4)) + 4;
      Skip(4);
      while (run-- > 0 && j <= highest) lengths[j++] = 0;
    }
  }
  // Each value is a difference to the one before, modulo up; a run repeats the previous value.
  if (up != 0)
    for (int i = 1; i <= highest; ++i) lengths[i] = static_cast<uint8_t>((lengths[i] + lengths[i - 1]) % up);
  for (int i = 0; i <= highest; ++i)
    if (lengths[i]) lengths[i] = static_cast<uint8_t>(lengths[i] + low);
  return MakeCode(kTableBits, highest, lengths, table);
}

bool AceUnpacker::ReadBlockTables() {
  if (!ReadLengths(kMaxMainSymbol, mainLength_, mainTable_)) return false;
  if (!ReadLengths(kMaxLengthSymbol, lengthLength_, lengthTable_)) return false;
  // Symbol and code length side by side, so a decode step is one lookup.
  for (int i = 0; i < (1 << kTableBits); ++i) {
    mainFast_[i] = mainTable_[i] | (uint32_t{mainLength_[mainTable_[i]]} << 16);
    lengthFast_[i] = lengthTable_[i] | (uint32_t{lengthLength_[lengthTable_[i]]} << 16);
  }
  blockCount_ = static_cast<int32_t>(Peek(kBlockCountBits));
  Skip(kBlockCountBits);
  return true;
}

namespace {

inline void Copy8(uint8_t* d, const uint8_t* s) {
  uint64_t v;
  std::memcpy(&v, s, 8);
  std::memcpy(d, &v, 8);
}

// Copies a match of n bytes to d from gap bytes before it, with the result of a byte-by-byte
// copy: where the two overlap (gap < n) the copy repeats the bytes it has just written. Every
// access stays inside [d - gap, d + n).
inline void CopyMatch(uint8_t* d, uint32_t gap, uint32_t n) {
  const uint8_t* s = d - gap;
  if (gap >= n && n <= 16) {
    // Two loads that may overlap each other, then two stores: nothing read is written.
    if (n >= 8) {
      uint64_t a, b;
      std::memcpy(&a, s, 8);
      std::memcpy(&b, s + n - 8, 8);
      std::memcpy(d, &a, 8);
      std::memcpy(d + n - 8, &b, 8);
    } else if (n >= 4) {
      uint32_t a, b;
      std::memcpy(&a, s, 4);
      std::memcpy(&b, s + n - 4, 4);
      std::memcpy(d, &a, 4);
      std::memcpy(d + n - 4, &b, 4);
    } else if (n >= 2) {
      uint16_t a, b;
      std::memcpy(&a, s, 2);
      std::memcpy(&b, s + n - 2, 2);
      std::memcpy(d, &a, 2);
      std::memcpy(d + n - 2, &b, 2);
    } else if (n == 1) {
      d[0] = s[0];
    }
  } else if (gap >= 8) {
    // Eight bytes at a time, front to back: each piece reads only bytes that are final, at
    // least eight before the place it writes. The last piece ends exactly at n (n > 8 here).
    uint32_t i = 0;
    for (; i + 8 <= n; i += 8) Copy8(d + i, s + i);
    if (i < n) Copy8(d + n - 8, s + n - 8);
  } else if (gap == 1) {
    std::memset(d, s[0], n);
  } else {
    for (uint32_t i = 0; i < n; ++i) d[i] = s[i];
  }
}

}  // namespace

int32_t AceUnpacker::UnpackLz(uint8_t* destination, int32_t capacity) {
  int32_t produced = 0;
  int32_t limit = capacity - kMatchRoom;
  const int32_t remaining = remainingOutput_;
  if (remaining < limit) limit = remaining;
  const uint32_t start = writePos_;
  uint8_t* const dict = dictionary_;
  const uint32_t mask = mask_;
  const uint32_t dictSize = mask + 1;
  uint32_t wp = writePos_;
  int32_t blockCount = blockCount_;

  // The bit reader lives in registers here. `buffer` holds the next `held` bits of the stream,
  // first bit highest, followed by more stream bits or zeros; `next` is the first byte of
  // bits_ not yet in it. Topping up to 56 or more held bits before each symbol is enough for
  // a whole match: an 11-bit symbol, up to 21 distance bits and an 11-bit length.
  uint64_t buffer = 0;
  uint32_t held = 0;
  uint32_t next = 0;
  auto topUp = [&] {
    buffer |= Load64(next) >> held;
    next += (63 - held) >> 3;
    held |= 56;
  };
  auto position = [&] { return next * 8 - held; };
  auto load = [&] {  // from bitPos_
    next = bitPos_ >> 3;
    buffer = 0;
    held = 0;
    topUp();
    buffer <<= bitPos_ & 7;
    held -= bitPos_ & 7;
  };
  auto take = [&](uint32_t k) {  // k at most held
    buffer <<= k;
    held -= k;
  };
  load();
  constexpr int kShift = 64 - kTableBits;

  while (produced < limit) {
    if (blockCount == 0) {
      bitPos_ = position();
      blockCount_ = 0;  // stays 0 when the tables cannot be read
      const bool read = ReadBlockTables();
      load();
      blockCount = blockCount_;
      if (!read) {
        produced = limit;  // an unreadable table ends the chunk; the next one reads tables again
        break;
      }
    }
    topUp();
    const uint32_t entry = mainFast_[buffer >> kShift];
    const uint32_t c = entry & 0xFFFF;
    take(entry >> 16);
    blockCount = (blockCount - 1) & 0x7FFF;
    if (c < 256) {
      dict[wp] = static_cast<uint8_t>(c);
      wp = (wp + 1) & mask;
      ++produced;
    } else {
      uint32_t distance;
      int32_t count;
      if (c < kFirstNewDistanceSymbol) {
        const int k = static_cast<int>(c) - kFirstReuseSymbol;
        distance = cache_.Reuse(k);
        count = ReuseExtraLength(k);
      } else {
        const uint32_t m = c - kFirstNewDistanceSymbol;
        if (m <= 1) {
          distance = m;
        } else {
          distance = static_cast<uint32_t>(buffer >> (65 - m)) + (uint32_t{1} << (m - 1));
          take(m - 1);
        }
        cache_.Push(distance);
        count = NewDistanceExtraLength(distance);
      }
      const uint32_t lengthEntry = lengthFast_[buffer >> kShift];
      take(lengthEntry >> 16);
      count += static_cast<int32_t>(lengthEntry & 0xFFFF);
      // A damaged stream may ask for more than the member holds: stop at its size.
      if (count > remaining - produced) count = remaining - produced;

      const uint32_t n = static_cast<uint32_t>(count);
      const uint32_t src = (wp - distance - 1) & mask;
      if (wp + n > dictSize || (src > wp && src + n > dictSize)) {
        // The match or its source wraps around the end of the dictionary.
        for (uint32_t i = 0, from = src; i < n; ++i, from = (from + 1) & mask) dict[(wp + i) & mask] = dict[from];
      } else if (src < wp) {
        CopyMatch(dict + wp, wp - src, n);
      } else {
        // The source lies ahead, from an earlier turn around the ring: every byte is read
        // before the copy could reach it.
        std::memmove(dict + wp, dict + src, n);
      }
      wp = (wp + n) & mask;
      produced += count;
    }
    // More words come in once the reading reaches word 1022, as a bit at a time would.
    if (position() >= kRefillBit) {
      bitPos_ = position();
      while (bitPos_ >= kRefillBit) Refill();
      load();
    }
  }
  bitPos_ = position();
  writePos_ = wp;
  blockCount_ = blockCount;

  uint32_t from = start;
  for (int32_t done = 0; done < produced;) {
    int32_t piece = produced - done;
    if (static_cast<uint32_t>(piece) > dictSize - from) piece = static_cast<int32_t>(dictSize - from);
    std::memcpy(destination + done, dict + from, static_cast<size_t>(piece));
    done += piece;
    from = (from + static_cast<uint32_t>(piece)) & mask;
  }
  remainingOutput_ -= produced;
  return produced;
}

int32_t AceUnpacker::UnpackStored(uint8_t* destination, int32_t capacity) {
  int32_t total = 0;
  int32_t left = capacity;
  for (;;) {
    int32_t n = remainingOutput_ < left ? remainingOutput_ : left;
    if (n > 1024) n = 1024;
    if (n <= 0) break;
    const int32_t got = static_cast<int32_t>(ReadPacked(raw_, static_cast<size_t>(n)));
    if (got == 0) break;
    remainingOutput_ -= got;
    std::memcpy(destination + total, raw_, static_cast<size_t>(got));
    total += got;
    left -= got;
  }
  // Stored bytes enter the dictionary too, so later members of a solid archive can copy them.
  const uint32_t dictSize = mask_ + 1;
  for (int32_t done = 0; done < total;) {
    int32_t piece = total - done;
    if (static_cast<uint32_t>(piece) > dictSize - writePos_) piece = static_cast<int32_t>(dictSize - writePos_);
    std::memcpy(dictionary_ + writePos_, destination + done, static_cast<size_t>(piece));
    done += piece;
    writePos_ = (writePos_ + static_cast<uint32_t>(piece)) & mask_;
  }
  return total;
}

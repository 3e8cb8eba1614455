// AceUnpacker: turns one archive member's packed bytes into its data, a chunk at a time.
// Method 0 is stored; method 1 is LZ77 over a 2^20-byte ring dictionary with Huffman-coded
// literals, distances and lengths in blocks that carry their own tables. In a solid archive
// the dictionary carries over from member to member. The unpacker never produces more than a
// member's unpacked size, whatever the packed bytes ask for.
//
//   ArchiveCursor cursor{block, size};   // positioned on a member's packed data,
//   cursor.addedLeft = packedSize;       // which is consumed through addedLeft
//   AceUnpacker u;  u.Init();  u.SetSolid(solid);
//   u.BeginMember(member, &cursor);
//   while (int32_t n = u.UnpackChunk(buffer, 2048)) ...;   // then compare u.Crc()
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "archive/ace_format.h"

// An archive read from a file a window at a time, so that it is never held whole in memory.
// Copies are served from a 64 KiB window of the file, refilled (and moved with a seek where
// the reads jump) as the reads go on.
class ArchiveFileWindow {
 public:
  explicit ArchiveFileWindow(std::FILE* file) : file_(file) {}
  // Copies n bytes from the file at offset; false on a read error or an early end of file.
  bool Copy(size_t offset, void* destination, size_t n);
  bool Failed() const { return failed_; }

 private:
  bool Fill(size_t offset);

  std::FILE* file_;
  size_t start_ = 0;         // file offset of buffer_[0]
  size_t length_ = 0;        // valid bytes in buffer_
  size_t filePos_ = SIZE_MAX;  // where the file's own position is, when known
  bool failed_ = false;
  uint8_t buffer_[65536];
};

// One read position over the archive, which is data[0, size) in memory or, with file set, a
// file of that size. Reads are all or nothing: a read of n bytes copies n bytes and advances,
// or, when fewer remain (or the file cannot be read), copies nothing and returns false.
// addedLeft counts the bytes of the current header's added data not consumed yet.
struct ArchiveCursor {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  uint64_t addedLeft = 0;
  ArchiveFileWindow* file = nullptr;

  bool Read(void* destination, size_t n);
  size_t Left() const { return pos < size ? size - pos : 0; }
};

// What the unpacker needs from a file header.
struct MemberPacking {
  uint8_t method = 0;
  uint16_t methodParameter = 0;  // bits 0-3: dictionary size 2^(value + 10)
  int32_t unpackedSize = 0;
};

class AceUnpacker {
 public:
  enum Error { kNoError = 0, kDictionaryTooSmall = 1, kUnknownMethod = 10 };
  // The decoder stops this many bytes short of a chunk's capacity so a whole match still fits.
  static constexpr int32_t kMatchRoom = 259;
  static constexpr int32_t kMinChunk = kMatchRoom + 1;

  AceUnpacker() = default;
  ~AceUnpacker();
  AceUnpacker(const AceUnpacker&) = delete;
  AceUnpacker& operator=(const AceUnpacker&) = delete;

  // Allocates the dictionary (2^20 bytes, halving while that fails). False when nothing
  // could be allocated.
  bool Init();
  void SetSolid(bool solid) { solid_ = solid; }
  int DictionaryBits() const { return dictionaryBits_; }
  void BeginMember(const MemberPacking& member, ArchiveCursor* cursor);
  // Produces up to capacity bytes of the current member (capacity of at least kMinChunk for
  // method 1) and returns their number; 0 when the member is complete or an error is set.
  int32_t UnpackChunk(uint8_t* destination, int32_t capacity);
  uint32_t Crc() const { return crc_; }
  int32_t RemainingOutput() const { return remainingOutput_; }
  int error() const { return error_; }
  void Release();

 private:
  // The packed words sit in stream order in bits_: each 32-bit word, read little-endian,
  // stored most significant byte first, so the bits run MSB first across the bytes. Words
  // 1022 and 1023 are carried to 0 and 1 when the next 4,088 bytes come in.
  static constexpr uint32_t kBufferBytes = 4096;
  static constexpr uint32_t kRefillBit = 1022 * 32;  // reading this far brings in more words

  size_t ReadPacked(uint8_t* destination, size_t n);
  void StartBits();
  void Refill();
  void TakeWords(uint32_t from);
  // The 64 stream bits from byte `byte` of bits_ on.
  uint64_t Load64(uint32_t byte) const {
    uint64_t v;
    std::memcpy(&v, bits_ + byte, 8);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
    return v;
  }
  // The next k bits (1 to 32), first bit highest.
  uint32_t Peek(int k) const {
    return static_cast<uint32_t>((Load64(bitPos_ >> 3) << (bitPos_ & 7)) >> (64 - k));
  }
  void Skip(int k) {
    bitPos_ += static_cast<uint32_t>(k);
    while (bitPos_ >= kRefillBit) Refill();
  }
  bool ReadLengths(int maxSymbol, uint8_t* lengths, uint16_t* table);
  bool ReadBlockTables();
  int32_t UnpackLz(uint8_t* destination, int32_t capacity);
  int32_t UnpackStored(uint8_t* destination, int32_t capacity);

  // Dictionary.
  uint8_t* dictionary_ = nullptr;
  int dictionaryBits_ = 0;
  uint32_t mask_ = 0;
  uint32_t writePos_ = 0;
  bool firstMember_ = true;
  bool solid_ = false;

  // Current member.
  ArchiveCursor* cursor_ = nullptr;
  MemberPacking member_;
  int32_t remainingOutput_ = 0;
  uint32_t crc_ = kCrcStart;
  int error_ = kNoError;

  // Bit reader: raw_ receives the packed bytes as read, bits_ holds them in stream order
  // (with room for an 8-byte load at its last place), bitPos_ is the next bit in bits_.
  uint8_t raw_[kBufferBytes] = {};
  uint8_t bits_[kBufferBytes + 16] = {};
  uint32_t bitPos_ = 0;

  // Block tables.
  int32_t blockCount_ = 0;
  uint8_t mainLength_[kMaxMainSymbol + 1] = {};
  uint16_t mainTable_[1 << kTableBits] = {};
  uint8_t lengthLength_[kMaxLengthSymbol + 1] = {};
  uint16_t lengthTable_[1 << kTableBits] = {};
  uint32_t mainFast_[1 << kTableBits] = {};
  uint32_t lengthFast_[1 << kTableBits] = {};
  DistanceCache cache_;
};

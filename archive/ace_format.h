// Pieces of the ACE format that the unpacker and the packer must agree on bit for bit: the
// CRC-32 (reflected polynomial, start 0xFFFFFFFF, no final inversion), the Huffman table
// builder with the archive's own order for codes of equal length, the cache of recent match
// distances and the header layout constants.
//
//   uint32_t crc = UpdateCrc(kCrcStart, bytes, n);   // "abc" gives 0xCADBBE3D
//   MakeCode(11, highest, lengths, table, firstEntry);      // decode table + code starts
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint32_t kCrcStart = 0xFFFFFFFFu;
uint32_t UpdateCrc(uint32_t crc, const uint8_t* data, size_t n);
inline uint32_t Crc(const uint8_t* data, size_t n) { return UpdateCrc(kCrcStart, data, n); }

// Decode tables: one lookup on the top bits of the bit window gives the symbol.
constexpr int kTableBits = 11;          // main and length codes
constexpr int kCodeLengthTableBits = 7; // the code that transmits code lengths
constexpr int kMaxMainSymbol = 282;     // 0-255 literals, 256-259 reused distances, 260-282 new ones
constexpr int kMaxLengthSymbol = 255;
constexpr int kFirstReuseSymbol = 256;
constexpr int kFirstNewDistanceSymbol = 260;
constexpr int kMaxCodeLengthUp = 15;    // 4-bit field; the code-length alphabet is 0..up
constexpr int kBlockCountBits = 15;
constexpr int kDictionaryBits = 20;

// Header layout.
constexpr uint8_t kMainHeaderType = 0;
constexpr uint8_t kFileHeaderType = 1;
constexpr uint16_t kFlagAddedData = 0x0001;
constexpr uint16_t kFlagComment = 0x0002;
constexpr uint16_t kFlagMultiVolume = 0x0800;
constexpr uint16_t kFlagSolid = 0x8000;
constexpr char kSignature[8] = "**ACE**";
constexpr int kSignatureOffset = 7;          // from the header's first byte
constexpr int kFileHeaderFixedBytes = 31;    // header size of a file header without its name
constexpr int kMainHeaderFixedBytes = 27;    // header size of a main header without its text
constexpr int kMaxHeaderBuffer = 2040;

// Sorts places left..right of the work arrays by length, longest first, moving the symbol
// numbers along. The order it leaves equal lengths in is part of the format.
void SortRange(uint8_t* lengths, uint16_t* symbols, int left, int right);

// Builds a decode table of 2^bits entries for symbols 0..highest from their code lengths.
// Places are filled shortest code first; a symbol with length L covers 2^(bits-L) entries, so
// its code is the top L bits of its first entry. When fewer than two symbols have a code, the
// one in the first place gets length 1 in `lengths`. Entries past the filled range keep their
// value. Returns false when the lengths over-fill the table. When firstEntry is given it
// receives, per symbol 0..highest, its first table entry or -1.
bool MakeCode(int bits, int highest, uint8_t* lengths, uint16_t* table, int32_t* firstEntry = nullptr);

// The four most recent match distances and the index of the newest.
struct DistanceCache {
  uint32_t distance[4] = {0, 0, 0, 0};
  int recent = 0;

  void Reset() { *this = DistanceCache(); }
  uint32_t Peek(int k) const { return distance[(recent - k) & 3]; }
  // Takes the k-th most recent distance (0 = newest) and moves it to the front.
  // Those newer than it move back one place; written without branches on k, which a
  // decoder meets in no predictable order.
  uint32_t Reuse(int k) {
    const uint32_t d0 = distance[recent];
    const uint32_t d1 = distance[(recent - 1) & 3];
    const uint32_t d2 = distance[(recent - 2) & 3];
    const uint32_t d = distance[(recent - k) & 3];
    distance[(recent - 3) & 3] = k >= 3 ? d2 : distance[(recent - 3) & 3];
    distance[(recent - 2) & 3] = k >= 2 ? d1 : d2;
    distance[(recent - 1) & 3] = k >= 1 ? d0 : d1;
    distance[recent] = d;
    return d;
  }
  void Push(uint32_t d) {
    recent = (recent + 1) & 3;
    distance[recent] = d;
  }
};

// Bytes a match adds to its coded length: reused distances 0 and 1 add 2, 2 and 3 add 3; new
// distances add 2 up to 255, 3 up to 8191, else 4.
inline int ReuseExtraLength(int k) { return k <= 1 ? 2 : 3; }
inline int NewDistanceExtraLength(uint32_t distance) { return 2 + (distance > 255) + (distance > 8191); }

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

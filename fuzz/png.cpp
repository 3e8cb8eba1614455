// Fuzzes the PNG decoder (all colour types, depths and interlacing) over DataFile. Chunk CRCs
// are recomputed before decoding, so mutated chunk contents reach the decoder instead of being
// refused at the checksum.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "io/data_file.h"
#include "io/image_decode.h"

namespace {

uint32_t BigEndian(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void FixChunkCrcs(std::vector<uint8_t>* bytes) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (bytes->size() < 8 || std::memcmp(bytes->data(), kSignature, 8) != 0) return;
  size_t at = 8;
  while (at + 12 <= bytes->size()) {
    const size_t length = BigEndian(&(*bytes)[at]);
    if (length > bytes->size() - at - 12) break;
    const uLong crc = crc32(0L, &(*bytes)[at + 4], static_cast<uInt>(length + 4));
    uint8_t* out = &(*bytes)[at + 8 + length];
    out[0] = static_cast<uint8_t>(crc >> 24);
    out[1] = static_cast<uint8_t>(crc >> 16);
    out[2] = static_cast<uint8_t>(crc >> 8);
    out[3] = static_cast<uint8_t>(crc);
    at += length + 12;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<uint8_t> bytes(data, data + size);
  FixChunkCrcs(&bytes);
  DataFile file;
  file.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  DecodedImage image;
  if (DecodePng(file, &image) == kPngOk) {
    volatile uint8_t last = image.pixels[static_cast<size_t>(image.width) * image.height * 4 - 1];
    (void)last;
  }
  return 0;
}

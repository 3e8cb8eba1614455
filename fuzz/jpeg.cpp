// Fuzzes the JPEG decoder over its DataFile source manager and returning error handler.
#include <cstddef>
#include <cstdint>

#include "io/data_file.h"
#include "io/image_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  DataFile file;
  file.OpenMemory(data, static_cast<int32_t>(size));
  DecodedImage image;
  if (DecodeJpeg(file, &image) == kJpegOk) {
    // The whole block is there: touch its last written byte.
    volatile uint8_t last = image.pixels[static_cast<size_t>(image.width) * image.height * 3 - 1];
    (void)last;
  }
  return 0;
}

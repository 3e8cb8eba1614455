// Fuzzes the PNG decoder (all colour types, depths and interlacing) over DataFile.
#include <cstddef>
#include <cstdint>

#include "io/data_file.h"
#include "io/image_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  DataFile file;
  file.OpenMemory(data, static_cast<int32_t>(size));
  DecodedImage image;
  if (DecodePng(file, &image) == kPngOk) {
    volatile uint8_t last = image.pixels[static_cast<size_t>(image.width) * image.height * 4 - 1];
    (void)last;
  }
  return 0;
}

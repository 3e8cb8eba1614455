// Test pictures made at test time, so no binary fixtures are needed: JPEG through the project's
// encoder, PNG of every layout the decoder meets (palettes, 16 bits, interlacing) with libpng.
//   auto jpg = EncodeJpeg(w, h, rgb);                // baseline, quality 100, no chroma subsampling
//   auto png = EncodePng(w, h, PNG_COLOR_TYPE_RGBA, 8, samples);
//   WriteFile(dir + "/data/rock.jpg", jpg);
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <png.h>

#include "io/image_write.h"

namespace testimg {

// components 3 (RGB) or 1 (gray); samples top row first. Colour at full resolution, so a
// decoded pixel is as near its sample as the quality allows. Empty when the encoder refuses.
inline std::vector<uint8_t> EncodeJpeg(int width, int height, const std::vector<uint8_t>& samples,
                                       int components = 3, int quality = 100) {
  JpegOptions options;
  options.quality = quality;
  options.fullChroma = true;
  std::vector<uint8_t> bytes;
  std::string why;
  if (samples.size() < static_cast<size_t>(width) * height * components ||
      !::EncodeJpeg(&bytes, samples.data(), width, height, components, options, &why)) {
    return {};
  }
  return bytes;
}

struct PngOptions {
  bool interlace = false;
  std::vector<png_color> palette;
  std::vector<uint8_t> trns;  // palette alpha values
};

// samples are packed rows as libpng expects them for the colour type and depth (16-bit samples
// big-endian, depths below 8 packed high bits first).
inline std::vector<uint8_t> EncodePng(int width, int height, int colorType, int bitDepth,
                                      const std::vector<uint8_t>& samples, const PngOptions& options = {}) {
  std::vector<uint8_t> bytes;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(
      png, &bytes,
      [](png_structp p, png_bytep data, png_size_t n) {
        auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        v->insert(v->end(), data, data + n);
      },
      nullptr);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth, colorType,
               options.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!options.palette.empty())
    png_set_PLTE(png, info, options.palette.data(), static_cast<int>(options.palette.size()));
  if (!options.trns.empty())
    png_set_tRNS(png, info, options.trns.data(), static_cast<int>(options.trns.size()), nullptr);
  png_write_info(png, info);
  size_t rowBytes = png_get_rowbytes(png, info);
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int i = 0; i < height; ++i) rows[static_cast<size_t>(i)] = const_cast<png_bytep>(&samples[i * rowBytes]);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return bytes;
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  // An empty file gets no write at all (fwrite must not be handed the null data of an empty vector).
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// A fresh, empty directory under the system's temporary directory.
inline std::string FreshDir(const std::string& name) {
  auto dir = std::filesystem::temp_directory_path() / ("quillon-" + name + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}

}  // namespace testimg

// Writing pictures: 8-bit RGBA or RGB rows (top row first) to PNG, and RGB or gray rows to
// JPEG. Used by the offline render, the single-frame capture, the tools and the tests. Output is
// deterministic (no time stamps).
//
//   std::string why;
//   if (!WritePng("frame.png", rgba.data(), w, h, 4, &why)) fprintf(stderr, "%s\n", why.c_str());
//   std::vector<uint8_t> jpg;
//   EncodeJpeg(&jpg, rgb.data(), w, h, 3, JpegOptions{}, &why);
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// channels is 3 (RGB) or 4 (RGBA). Returns false and says why on failure.
bool WritePng(const std::string& path, const uint8_t* pixels, int width, int height, int channels,
              std::string* why, int compressionLevel = 6);

// The same into memory.
bool EncodePng(std::vector<uint8_t>* out, const uint8_t* pixels, int width, int height, int channels,
               std::string* why, int compressionLevel = 6);

// The same, compressed for speed (zlib level 1 after the Sub filter): for rendered frames about
// a tenth larger than the default, several times faster.
bool WritePngQuick(const std::string& path, const uint8_t* pixels, int width, int height, int channels,
                   std::string* why);
bool EncodePngQuick(std::vector<uint8_t>* out, const uint8_t* pixels, int width, int height, int channels,
                    std::string* why);

struct JpegOptions {
  int quality = 90;          // 1..100
  bool fullChroma = false;   // true: colour at full resolution; false: libjpeg's default 2x2 subsampling
  bool optimize = false;     // optimised Huffman tables (smaller files, two passes)
};

// components is 3 (RGB) or 1 (gray); rows top first. Returns false and says why on failure.
bool EncodeJpeg(std::vector<uint8_t>* out, const uint8_t* samples, int width, int height, int components,
                const JpegOptions& options, std::string* why);

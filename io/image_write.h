// Writing pictures: 8-bit RGBA or RGB rows (top row first) to a PNG file. Used by the offline
// render, the single-frame capture and the tools. Output is deterministic (no time stamps).
//
//   std::string why;
//   if (!WritePng("frame.png", rgba.data(), w, h, 4, &why)) fprintf(stderr, "%s\n", why.c_str());
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

// Image decoding: JPEG (libjpeg-turbo) and PNG (libpng) files read through DataFile, so archive
// members never touch the disk. Both give a DecodedImage, top row first:
//   LoadJpeg: packed RGB, 3 bytes a pixel (the block holds width x height x 4 bytes, of which
//             the first three quarters are written); returns 24, or 2 (no file), 3 (no header),
//             4 (corrupt data or an image too large).
//   LoadPng:  RGBA, 4 bytes a pixel; returns 32, or 0 on any failure. An image in which no pixel
//             outside the first row and column is transparent gets alpha = (R + G + B) / 3.
// On failure the DecodedImage is left empty. Nothing is printed; diagnostics go to Log(), and
// when `why` is given it receives the reason in words ("not found", "picture is 20000x20 pixels,
// more than ...", the library's own message). A JPEG that decodes only in part (the file ends
// early, or the library reported damage and carried on) still returns 24, with `why` saying so:
// callers that want the whole picture check it.
//
//   DecodedImage img;
//   if (LoadJpeg("data\\rock.jpg", &img) == kJpegOk) ... img.pixels ...
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class DataFile;

// A decoded picture: RGB (3 bytes) or RGBA (4 bytes) per pixel, rows top first.
struct DecodedImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

constexpr int kJpegOk = 24;
constexpr int kJpegNoFile = 2;
constexpr int kJpegNoHeader = 3;
constexpr int kJpegBadData = 4;
constexpr int kPngOk = 32;
constexpr int kPngFailed = 0;

// Pictures larger than this (in either direction, or in total pixels) are refused: no texture
// of that size is of use and a forged header must not make us allocate gigabytes.
constexpr int32_t kMaxImageSide = 16384;
constexpr int64_t kMaxImagePixels = int64_t{4096} * 4096 * 2;

int LoadJpeg(const char* name, DecodedImage* image, std::string* why = nullptr);
int LoadPng(const char* name, DecodedImage* image, std::string* why = nullptr);

// The same, from a DataFile the caller has opened (tools, tests and fuzzing use memory files).
int DecodeJpeg(DataFile& file, DecodedImage* image, std::string* why = nullptr);
int DecodePng(DataFile& file, DecodedImage* image, std::string* why = nullptr);

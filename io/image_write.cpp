#include "io/image_write.h"

#include <png.h>

#include <cstdio>
#include <cstring>

namespace {

struct Sink {
  std::vector<uint8_t>* out;
};

void WriteToVector(png_structp png, png_bytep data, png_size_t length) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  sink->out->insert(sink->out->end(), data, data + length);
}

void NoFlush(png_structp) {}

void OnError(png_structp png, png_const_charp message) {
  auto* why = static_cast<std::string*>(png_get_error_ptr(png));
  if (why) *why = message;
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

}  // namespace

bool EncodePng(std::vector<uint8_t>* out, const uint8_t* pixels, int width, int height, int channels,
               std::string* why, int compressionLevel) {
  std::string ignored;
  std::string* message = why ? why : &ignored;
  if (!pixels || width <= 0 || height <= 0 || (channels != 3 && channels != 4)) {
    *message = "nothing to write (empty picture or unsupported channel count)";
    return false;
  }
  out->clear();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message, OnError, OnWarning);
  if (!png) {
    *message = "out of memory";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  Sink sink{out};
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(png, &sink, WriteToVector, NoFlush);
  png_set_compression_level(png, compressionLevel);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(channels);
  for (int y = 0; y < height; ++y) {
    png_write_row(png, const_cast<png_bytep>(pixels + stride * static_cast<size_t>(y)));
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool WritePng(const std::string& path, const uint8_t* pixels, int width, int height, int channels, std::string* why,
              int compressionLevel) {
  std::vector<uint8_t> bytes;
  if (!EncodePng(&bytes, pixels, width, height, channels, why, compressionLevel)) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    if (why) *why = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok && why) *why = "cannot write " + path;
  return ok;
}

#include "io/image_write.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

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

// JPEG output appended to a vector through a small staging buffer.
struct JpegVectorDestination {
  jpeg_destination_mgr pub;
  std::vector<uint8_t>* out;
  JOCTET buffer[4096];
};

void JpegInitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<JpegVectorDestination*>(cinfo->dest);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = sizeof dest->buffer;
}

boolean JpegEmptyBuffer(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<JpegVectorDestination*>(cinfo->dest);
  dest->out->insert(dest->out->end(), dest->buffer, dest->buffer + sizeof dest->buffer);
  JpegInitDestination(cinfo);
  return TRUE;
}

void JpegTermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<JpegVectorDestination*>(cinfo->dest);
  dest->out->insert(dest->out->end(), dest->buffer, dest->buffer + (sizeof dest->buffer - dest->pub.free_in_buffer));
}

// Error manager that returns to the caller instead of ending the program.
struct JpegWriteErrors {
  jpeg_error_mgr pub;
  jmp_buf back;
  char message[JMSG_LENGTH_MAX];
};

void JpegWriteFailed(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegWriteErrors*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, errors->message);
  longjmp(errors->back, 1);
}

void JpegIgnoreMessage(j_common_ptr) {}

// Everything that may longjmp lives here, touching only plain values and pointers, so nothing
// with a destructor is skipped.
bool CompressJpeg(jpeg_compress_struct* cinfo, JpegWriteErrors* errors, JpegVectorDestination* dest,
                  const uint8_t* samples, int width, int height, int components, const JpegOptions& options) {
  if (setjmp(errors->back)) return false;
  jpeg_create_compress(cinfo);
  dest->pub.init_destination = JpegInitDestination;
  dest->pub.empty_output_buffer = JpegEmptyBuffer;
  dest->pub.term_destination = JpegTermDestination;
  cinfo->dest = &dest->pub;
  cinfo->image_width = static_cast<JDIMENSION>(width);
  cinfo->image_height = static_cast<JDIMENSION>(height);
  cinfo->input_components = components;
  cinfo->in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, options.quality, TRUE);
  if (options.fullChroma) {
    for (int c = 0; c < cinfo->num_components; ++c) {
      cinfo->comp_info[c].h_samp_factor = 1;
      cinfo->comp_info[c].v_samp_factor = 1;
    }
  }
  cinfo->optimize_coding = options.optimize ? TRUE : FALSE;
  jpeg_start_compress(cinfo, TRUE);
  const size_t stride = static_cast<size_t>(width) * static_cast<size_t>(components);
  while (cinfo->next_scanline < cinfo->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(samples + stride * cinfo->next_scanline);
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

}  // namespace

bool EncodeJpeg(std::vector<uint8_t>* out, const uint8_t* samples, int width, int height, int components,
                const JpegOptions& options, std::string* why) {
  out->clear();
  // JPEG sizes stop at 65500; the quality scale runs from 1 to 100.
  if (!samples || width <= 0 || height <= 0 || width > 65500 || height > 65500 ||
      (components != 1 && components != 3) || options.quality < 1 || options.quality > 100) {
    if (why) *why = "nothing to write (empty picture, unsupported size, channel count or quality)";
    return false;
  }
  jpeg_compress_struct cinfo{};
  JpegWriteErrors errors{};
  JpegVectorDestination dest{};
  dest.out = out;
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = JpegWriteFailed;
  errors.pub.output_message = JpegIgnoreMessage;
  const bool ok = CompressJpeg(&cinfo, &errors, &dest, samples, width, height, components, options);
  jpeg_destroy_compress(&cinfo);
  if (!ok) {
    out->clear();
    if (why) *why = std::string("JPEG encoder: ") + errors.message;
  }
  return ok;
}

namespace {

bool Encode(std::vector<uint8_t>* out, const uint8_t* pixels, int width, int height, int channels, std::string* why,
            int compressionLevel, bool quick) {
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
  if (quick) {
    // zlib's fastest level after the cheapest useful filter: rendered frames come out about a
    // tenth larger than at the default setting, in a fifth of the time.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  }
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

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string* why) {
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

}  // namespace

bool EncodePng(std::vector<uint8_t>* out, const uint8_t* pixels, int width, int height, int channels,
               std::string* why, int compressionLevel) {
  return Encode(out, pixels, width, height, channels, why, compressionLevel, false);
}

bool EncodePngQuick(std::vector<uint8_t>* out, const uint8_t* pixels, int width, int height, int channels,
                    std::string* why) {
  return Encode(out, pixels, width, height, channels, why, 1, true);
}

bool WritePng(const std::string& path, const uint8_t* pixels, int width, int height, int channels, std::string* why,
              int compressionLevel) {
  std::vector<uint8_t> bytes;
  return EncodePng(&bytes, pixels, width, height, channels, why, compressionLevel) && WriteBytes(path, bytes, why);
}

bool WritePngQuick(const std::string& path, const uint8_t* pixels, int width, int height, int channels,
                   std::string* why) {
  std::vector<uint8_t> bytes;
  return EncodePngQuick(&bytes, pixels, width, height, channels, why) && WriteBytes(path, bytes, why);
}

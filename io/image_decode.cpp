#include "io/image_decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>
#include <png.h>

#include "io/data_file.h"
#include "platform/log.h"

namespace {

bool SizeAllowed(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImagePixels;
}

// A decoder's message kept for the caller: fixed storage, so it survives a longjmp.
struct Message {
  char text[200] = {};
  bool tooLarge = false;  // the text gives the picture's size
  void Set(const char* what) {
    if (text[0] == 0) std::snprintf(text, sizeof text, "%s", what);
  }
};

void TellSize(Message* message, int64_t width, int64_t height) {
  char text[200];
  std::snprintf(text, sizeof text, "picture is %lldx%lld pixels, more than the %dx%d and %lld pixels allowed",
                static_cast<long long>(width), static_cast<long long>(height), kMaxImageSide, kMaxImageSide,
                static_cast<long long>(kMaxImagePixels));
  message->Set(text);
  message->tooLarge = true;
}

// ---------------------------------------------------------------------------------------------
// JPEG

constexpr size_t kJpegInputBlock = 4096;

// libjpeg source manager over a DataFile; the public fields come first so libjpeg can use it.
struct DataFileJpegSource {
  jpeg_source_mgr pub;
  DataFile* file;
  JOCTET* buffer;
  boolean startOfFile;
  boolean endedEarly;  // the data ran out and an end marker was made up
};

void InitSource(j_decompress_ptr cinfo) {
  reinterpret_cast<DataFileJpegSource*>(cinfo->src)->startOfFile = TRUE;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<DataFileJpegSource*>(cinfo->src);
  uint32_t count = src->file->Read(src->buffer, kJpegInputBlock);
  if (count == 0) {
    if (src->startOfFile) return FALSE;  // no data at all: the header reader gives up
    // A file that ends early finishes as if it were complete.
    src->endedEarly = TRUE;
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    count = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = count;
  src->startOfFile = FALSE;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long n) {
  auto* src = reinterpret_cast<DataFileJpegSource*>(cinfo->src);
  if (n <= 0) return;
  while (n > static_cast<long>(src->pub.bytes_in_buffer)) {
    n -= static_cast<long>(src->pub.bytes_in_buffer);
    // A refill that delivers nothing (only possible before any data) ends the skip.
    if (!FillInputBuffer(cinfo)) {
      src->pub.bytes_in_buffer = 0;
      return;
    }
  }
  src->pub.next_input_byte += n;
  src->pub.bytes_in_buffer -= static_cast<size_t>(n);
}

void TermSource(j_decompress_ptr) {}

void InstallSource(j_decompress_ptr cinfo, DataFile* file) {
  auto* src = static_cast<DataFileJpegSource*>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(DataFileJpegSource)));
  src->buffer = static_cast<JOCTET*>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kJpegInputBlock));
  src->file = file;
  src->startOfFile = TRUE;
  src->endedEarly = FALSE;
  src->pub.init_source = InitSource;
  src->pub.fill_input_buffer = FillInputBuffer;
  src->pub.skip_input_data = SkipInputData;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = TermSource;
  src->pub.bytes_in_buffer = 0;
  src->pub.next_input_byte = nullptr;
  cinfo->src = &src->pub;
}

// Error manager that returns to the loader instead of ending the program.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  jmp_buf back;
  Message error;    // what ended the decode
  Message warning;  // the first damage the library reported and carried on from
};

void JpegErrorExit(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  Log("jpeg: %s", text);
  auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  err->error.Set(text);
  longjmp(err->back, 1);
}

void JpegOutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  Log("jpeg: %s", text);
  reinterpret_cast<JpegErrorManager*>(cinfo->err)->warning.Set(text);
}

// Everything that may longjmp lives here; only plain values and pointers are touched after the
// return point, so nothing with a destructor is skipped.
int DecodeJpegGuarded(jpeg_decompress_struct* cinfo, JpegErrorManager* err, DataFile* file, DecodedImage* image,
                      bool* headerRead) {
  if (setjmp(err->back)) return kJpegBadData;
  jpeg_create_decompress(cinfo);
  InstallSource(cinfo, file);
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return kJpegNoHeader;
  *headerRead = true;
  // Gray files are widened to RGB so every picture comes out with three bytes a pixel.
  cinfo->out_color_space = JCS_RGB;
  if (!SizeAllowed(cinfo->image_width, cinfo->image_height)) {
    Log("jpeg: %ux%u is too large", cinfo->image_width, cinfo->image_height);
    TellSize(&err->error, cinfo->image_width, cinfo->image_height);
    return kJpegBadData;
  }
  jpeg_start_decompress(cinfo);
  const size_t stride = static_cast<size_t>(cinfo->output_width) * cinfo->output_components;
  if (cinfo->output_components != 3) {
    err->error.Set("colour layout that cannot be turned into RGB");
    return kJpegBadData;
  }
  image->width = static_cast<int32_t>(stride / 3);
  image->height = static_cast<int32_t>(cinfo->output_height);
  image->pixels.assign(static_cast<size_t>(image->width) * image->height * 4, 0);
  JSAMPLE* row = image->pixels.data();
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW rows[1] = {row};
    if (jpeg_read_scanlines(cinfo, rows, 1) != 1) {
      err->error.Set("rows missing");
      return kJpegBadData;
    }
    row += stride;
  }
  jpeg_finish_decompress(cinfo);
  return kJpegOk;
}

// ---------------------------------------------------------------------------------------------
// PNG

void PngRead(png_structp png, png_bytep data, png_size_t length) {
  auto* file = static_cast<DataFile*>(png_get_io_ptr(png));
  if (file->Read(data, static_cast<uint32_t>(length)) != length) png_error(png, "Read Error");
}

void PngError(png_structp png, png_const_charp message) {
  Log("png: %s", message);
  if (auto* kept = static_cast<Message*>(png_get_error_ptr(png))) kept->Set(message);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp message) { Log("png: %s", message); }

// As for JPEG: only the pointers given are used across the return point.
bool DecodePngGuarded(png_structp png, png_infop info, DataFile* file, DecodedImage* image,
                      std::vector<png_bytep>* rows, Message* message) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, file, PngRead);
  png_set_sig_bytes(png, 0);
  // libpng's own bound stays well above ours, so a picture too large is refused by the check
  // below, which can say its size.
  png_set_user_limits(png, 1000000, 1000000);
  png_read_info(png, info);

  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
  if (!SizeAllowed(width, height)) {
    Log("png: %ux%u is too large", static_cast<unsigned>(width), static_cast<unsigned>(height));
    TellSize(message, width, height);
    return false;
  }

  png_set_strip_16(png);
  png_set_packing(png);
  if (bitDepth < 8) png_set_packswap(png);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_expand(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_expand(png);
  // Every file is treated as having gamma 0.5, whatever it declares.
  png_set_gamma(png, static_cast<double>(2.2f), 0.5);
  png_set_swap(png);
  // Gray and gray + alpha are widened to RGB so every file comes out as RGBA.
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);

  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4 || png_get_bit_depth(png, info) != 8 ||
      png_get_channels(png, info) != 4) {
    Log("png: unexpected pixel layout after conversion");
    message->Set("pixel layout that cannot be turned into RGBA");
    return false;
  }

  image->width = static_cast<int32_t>(width);
  image->height = static_cast<int32_t>(height);
  image->pixels.assign(static_cast<size_t>(width) * height * 4, 0);
  rows->resize(height);
  for (png_uint_32 i = 0; i < height; ++i) (*rows)[i] = image->pixels.data() + static_cast<size_t>(i) * width * 4;
  // Each pass writes straight into the picture's rows, so interlaced files combine correctly.
  for (int pass = 0; pass < passes; ++pass) png_read_rows(png, rows->data(), nullptr, height);
  png_read_end(png, nullptr);
  return true;
}

}  // namespace

int DecodeJpeg(DataFile& file, DecodedImage* image, std::string* why) {
  *image = DecodedImage{};
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  JpegErrorManager err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = JpegErrorExit;
  err.pub.output_message = JpegOutputMessage;
  bool headerRead = false;
  int result = DecodeJpegGuarded(&cinfo, &err, &file, image, &headerRead);
  // An error before the header was complete is a header failure.
  if (result == kJpegBadData && !headerRead) result = kJpegNoHeader;
  const bool endedEarly = cinfo.src && reinterpret_cast<DataFileJpegSource*>(cinfo.src)->endedEarly;
  jpeg_destroy_decompress(&cinfo);
  if (result != kJpegOk) *image = DecodedImage{};
  if (why) {
    why->clear();
    const std::string detail = err.error.text[0] ? std::string(": ") + err.error.text : "";
    if (result == kJpegNoHeader) {
      *why = "JPEG header unreadable" + detail;
    } else if (result == kJpegBadData) {
      *why = err.error.tooLarge ? std::string(err.error.text) : "JPEG data corrupt" + detail;
    } else if (endedEarly) {
      *why = "only partly decoded: the file ends before the picture does";
    } else if (err.pub.num_warnings > 0) {
      *why = std::string("only partly decoded: ") + (err.warning.text[0] ? err.warning.text : "damaged data");
    }
  }
  return result;
}

int LoadJpeg(const char* name, DecodedImage* image, std::string* why) {
  *image = DecodedImage{};
  DataFile file;
  file.Open(name, "rb");
  if (file.HasError()) {
    if (why) *why = OpenProblemText(file.Problem());
    return kJpegNoFile;
  }
  int result = DecodeJpeg(file, image, why);
  file.Close();
  return result;
}

int DecodePng(DataFile& file, DecodedImage* image, std::string* why) {
  *image = DecodedImage{};
  if (why) why->clear();
  Message message;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, PngError, PngWarning);
  if (!png) return kPngFailed;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return kPngFailed;
  }
  std::vector<png_bytep> rows;
  bool ok = DecodePngGuarded(png, info, &file, image, &rows, &message);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!ok) {
    *image = DecodedImage{};
    if (why) {
      const std::string text = message.text[0] ? message.text : "unknown error";
      *why = message.tooLarge ? text : "PNG not decodable: " + text;
    }
    return kPngFailed;
  }
  // No pixel outside the first row and column less than opaque: the image gets a
  // brightness-derived alpha (black transparent, white opaque).
  const int32_t w = image->width;
  const int32_t h = image->height;
  uint8_t* px = image->pixels.data();
  size_t seeThrough = 0;
  for (int32_t i = 1; i < h; ++i)
    for (int32_t j = 1; j < w; ++j) seeThrough += px[(static_cast<size_t>(i) * w + j) * 4 + 3] != 255;
  if (seeThrough == 0) {
    for (size_t k = 0; k < static_cast<size_t>(w) * h; ++k) {
      uint8_t* p = px + k * 4;
      p[3] = static_cast<uint8_t>((p[0] + p[1] + p[2]) / 3);
    }
  }
  return kPngOk;
}

int LoadPng(const char* name, DecodedImage* image, std::string* why) {
  *image = DecodedImage{};
  DataFile file;
  file.Open(name, "rb");
  if (file.HasError()) {
    if (why) *why = OpenProblemText(file.Problem());
    return kPngFailed;
  }
  int result = DecodePng(file, image, why);
  file.Close();
  return result;
}

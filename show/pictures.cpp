#include "show/pictures.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "io/image_decode.h"
#include "platform/log.h"
#include "show/mipmaps.h"
#include "show/viewport.h"

namespace {

constexpr int kPictureWidth = 640;
constexpr int kPictureHeight = 480;
constexpr int kCanvasWidth = 1024;
constexpr int kCanvasHeight = 512;

// False when nothing could be decoded. A picture decoded only in part is kept (it is what the
// library made of the file), with *why saying so.
bool Decode(const std::string& file, bool png, DecodedImage* image, std::string* why) {
  std::string reason;
  const bool ok = png ? LoadPng(file.c_str(), image, &reason) == kPngOk : LoadJpeg(file.c_str(), image, &reason) == kJpegOk;
  if (why) *why = reason;
  return ok;
}

// Nearest-neighbour resampling of a picture to 640 x 480, 4 bytes a pixel out, bottom row first
// (the order GL takes rows in). bytesPerPixel is 3 (alpha 255) or 4.
std::vector<uint8_t> FitPicture(const DecodedImage& image, int bytesPerPixel) {
  std::vector<uint8_t> out(static_cast<size_t>(kPictureWidth) * kPictureHeight * 4);
  for (int r = 0; r < kPictureHeight; ++r) {
    const int sr = static_cast<int>(static_cast<int64_t>(r) * image.height / kPictureHeight);
    uint8_t* d = &out[static_cast<size_t>(kPictureHeight - 1 - r) * kPictureWidth * 4];
    for (int c = 0; c < kPictureWidth; ++c, d += 4) {
      const int sc = static_cast<int>(static_cast<int64_t>(c) * image.width / kPictureWidth);
      const uint8_t* s = &image.pixels[(static_cast<size_t>(sr) * image.width + sc) * bytesPerPixel];
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      d[3] = bytesPerPixel == 4 ? s[3] : 255;
    }
  }
  return out;
}

// A 640 x 480 RGBA picture, top row first, turned bottom row first.
std::vector<uint8_t> FlipRows(const uint8_t* picture) {
  const size_t row = static_cast<size_t>(kPictureWidth) * 4;
  std::vector<uint8_t> out(row * kPictureHeight);
  for (int r = 0; r < kPictureHeight; ++r)
    std::copy(picture + static_cast<size_t>(r) * row, picture + static_cast<size_t>(r + 1) * row,
              &out[static_cast<size_t>(kPictureHeight - 1 - r) * row]);
  return out;
}

// Counts textures made and changes of any fullscreen picture's texture (filled, turned into
// the canvas).
uint64_t pictureGeneration = 0;

// The slot's alpha box from its 640 x 480 picture (RGBA, bottom row first).
void FindAlphaBox(const DecodedImage& picture, ImageSlot* slot) {
  int left = kPictureWidth, right = -1, bottom = kPictureHeight, top = -1;
  for (int r = 0; r < kPictureHeight; ++r) {
    const uint8_t* p = &picture.pixels[static_cast<size_t>(r) * kPictureWidth * 4];
    int first = -1, last = -1;
    for (int c = 0; c < kPictureWidth; ++c) {
      if (p[c * 4 + 3] != 0) {
        if (first < 0) first = c;
        last = c;
      }
    }
    if (first < 0) continue;
    left = std::min(left, first);
    right = std::max(right, last);
    bottom = std::min(bottom, r);
    top = r;
  }
  slot->alphaLeft = static_cast<int16_t>(left);
  slot->alphaRight = static_cast<int16_t>(right);
  slot->alphaBottom = static_cast<int16_t>(bottom);
  slot->alphaTop = static_cast<int16_t>(top);
}

// One quad, corners given as s, t, x, y, z.
struct Corner {
  float s, t, x, y, z;
};

void Quad(const Corner (&corners)[4], bool textured) {
  glBegin(GL_QUADS);
  for (const Corner& c : corners) {
    if (textured) glTexCoord2f(c.s, c.t);
    glVertex3f(c.x, c.y, c.z);
  }
  glEnd();
}

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif

// The bare picture's texture: the picture inside a ring of transparent black one texel wide,
// which clamping to the edge repeats outward, as the canvas has around its picture.
constexpr int kFramedWidth = kPictureWidth + 2;
constexpr int kFramedHeight = kPictureHeight + 2;

// The framed picture's texel (x, y) (ring included) from a 640 x 480 picture, bottom row first.
const uint8_t* FramedTexel(const uint8_t* picture, int x, int y) {
  static const uint8_t kClear[4] = {0, 0, 0, 0};
  if (x < 1 || y < 1 || x > kPictureWidth || y > kPictureHeight) return kClear;
  return picture + (static_cast<size_t>(y - 1) * kPictureWidth + (x - 1)) * 4;
}

// The kept part of the framed picture, rows bottom first.
std::vector<uint8_t> KeptTexels(const ImageSlot& slot, const uint8_t* picture) {
  std::vector<uint8_t> kept(static_cast<size_t>(slot.keptWidth) * slot.keptHeight * 4);
  uint8_t* d = kept.data();
  for (int y = 0; y < slot.keptHeight; ++y)
    for (int x = 0; x < slot.keptWidth; ++x, d += 4)
      std::copy_n(FramedTexel(picture, slot.keptLeft + x, slot.keptBottom + y), 4, d);
  return kept;
}

bool KeepsPart(const ImageSlot& slot) { return slot.keptWidth != kFramedWidth || slot.keptHeight != kFramedHeight; }

// The 640 x 480 picture, bottom row first, from the kept part of its framed texels: what was
// not kept is clear black.
std::vector<uint8_t> PictureFromKept(const ImageSlot& slot, const uint8_t* kept) {
  std::vector<uint8_t> picture(static_cast<size_t>(kPictureWidth) * kPictureHeight * 4, 0);
  for (int y = 0; y < slot.keptHeight; ++y) {
    for (int x = 0; x < slot.keptWidth; ++x) {
      const int px = slot.keptLeft + x - 1, py = slot.keptBottom + y - 1;
      if (px < 0 || py < 0 || px >= kPictureWidth || py >= kPictureHeight) continue;
      std::copy_n(&kept[(static_cast<size_t>(y) * slot.keptWidth + x) * 4], 4,
                  &picture[(static_cast<size_t>(py) * kPictureWidth + px) * 4]);
    }
  }
  return picture;
}

// Keeps only the alpha box and two texels around it when every texel further out is clear and
// black, so nothing is lost, and when that saves at least half the texture.
void ChooseKeptPart(const DecodedImage& picture, ImageSlot* slot) {
  if (slot->alphaLeft > slot->alphaRight || slot->alphaBottom > slot->alphaTop) return;
  // Framed coordinates are the picture's plus one.
  const int left = std::max(0, slot->alphaLeft + 1 - 2), right = std::min(kFramedWidth - 1, slot->alphaRight + 1 + 2);
  const int bottom = std::max(0, slot->alphaBottom + 1 - 2), top = std::min(kFramedHeight - 1, slot->alphaTop + 1 + 2);
  const int width = right - left + 1, height = top - bottom + 1;
  if (static_cast<long>(width) * height * 2 > static_cast<long>(kFramedWidth) * kFramedHeight) return;
  // Everything beyond one texel round the box must be clear black: the kept part's own edge
  // (clamped outward) and all that is dropped.
  for (int y = 0; y < kPictureHeight; ++y) {
    const uint8_t* row = &picture.pixels[static_cast<size_t>(y) * kPictureWidth * 4];
    const bool nearRows = y >= slot->alphaBottom - 1 && y <= slot->alphaTop + 1;
    for (int x = 0; x < kPictureWidth; ++x) {
      if (nearRows && x >= slot->alphaLeft - 1 && x <= slot->alphaRight + 1) continue;
      if (row[x * 4] | row[x * 4 + 1] | row[x * 4 + 2] | row[x * 4 + 3]) return;
    }
  }
  slot->keptLeft = static_cast<int16_t>(left);
  slot->keptBottom = static_cast<int16_t>(bottom);
  slot->keptWidth = static_cast<int16_t>(width);
  slot->keptHeight = static_cast<int16_t>(height);
}

// Whether the view is large enough that the picture is never shrunk by more than the mipmap
// selection rounds away: then only level 0 is ever sampled.
bool LevelZeroOnly() {
  const ViewportSize& view = CurrentViewport();
  return view.width * 5 >= kPictureWidth * 4 && view.height * 5 >= kPictureHeight * 4;
}

// A texture uploaded as the bare picture (level 0 only) is turned into the mipmapped canvas,
// from its own level 0, when the view becomes small enough to need the smaller levels.
void MakeCanvasTexture(const ImageSlot& slot) {
  std::vector<uint8_t> kept(static_cast<size_t>(slot.keptWidth) * slot.keptHeight * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, kept.data());
  const DecodedImage canvas = BuildCanvas(PictureFromKept(slot, kept.data()).data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  UploadMipmaps(GL_RGBA, kCanvasWidth, kCanvasHeight, canvas.pixels.data());
  slot.picture->width = kCanvasWidth;
  slot.picture->height = kCanvasHeight;
  ++pictureGeneration;
}

// The quad, or without draw only what drawing it leaves behind: the current texture
// coordinate is its last corner's.
void PictureQuad(const Corner (&corners)[4], bool draw) {
  if (draw) {
    Quad(corners, true);
  } else {
    glTexCoord2f(corners[3].s, corners[3].t);
  }
}

// Where a bare picture at this view can put anything: the pixels whose filtered sample reaches
// a texel of the alpha box (a texel i is sampled by view positions within one texel of its
// centre), with a pixel to spare. Returns false when that is the whole view.
bool AlphaScissor(const ImageSlot& slot, int* x, int* y, int* width, int* height) {
  const ViewportSize& view = CurrentViewport();
  if (slot.alphaLeft > slot.alphaRight || slot.alphaBottom > slot.alphaTop) {
    *x = view.x;
    *y = view.y;
    *width = *height = 0;
    return true;
  }
  auto span = [](int first, int last, int texels, int pixels, int* from, int* to) {
    const double scale = static_cast<double>(pixels) / texels;
    *from = std::max(0, static_cast<int>(std::floor((first - 0.5) * scale - 0.5)) - 1);
    *to = std::min(pixels - 1, static_cast<int>(std::ceil((last + 1.5) * scale - 0.5)) + 1);
  };
  int left = 0, right = 0, bottom = 0, top = 0;
  span(slot.alphaLeft, slot.alphaRight, kPictureWidth, view.width, &left, &right);
  span(slot.alphaBottom, slot.alphaTop, kPictureHeight, view.height, &bottom, &top);
  if (left == 0 && bottom == 0 && right == view.width - 1 && top == view.height - 1) return false;
  *x = view.x + left;
  *y = view.y + bottom;
  *width = right - left + 1;
  *height = top - bottom + 1;
  return true;
}

// The picture over the whole view. Where only level 0 is sampled, the plain linear filter gives
// the same pixels without the software rasterizer's per-pixel level selection, and the texture
// is the bare picture in its ring of transparent black, so the edges blend as they would on the
// canvas.
void ImageQuad(const ImageSlot& slot, bool draw) {
  UploadPicture(slot);
  glBindTexture(GL_TEXTURE_2D, slot.texture);
  const bool levelZeroOnly = LevelZeroOnly();
  const bool bare = slot.picture && slot.picture->width == kPictureWidth;
  if (bare && !levelZeroOnly) MakeCanvasTexture(slot);
  if (bare && levelZeroOnly) {
    // The view spans framed texels 1 to 641 and 1 to 481, wherever the kept part lies.
    const float w = slot.keptWidth, h = slot.keptHeight;
    const float s0 = (1.0f - slot.keptLeft) / w, s1 = (kFramedWidth - 1.0f - slot.keptLeft) / w;
    const float t0 = (1.0f - slot.keptBottom) / h, t1 = (kFramedHeight - 1.0f - slot.keptBottom) / h;
    int x = 0, y = 0, width = 0, height = 0;
    const bool scissor = draw && !glIsEnabled(GL_SCISSOR_TEST) && AlphaScissor(slot, &x, &y, &width, &height);
    if (scissor) {
      glEnable(GL_SCISSOR_TEST);
      glScissor(x, y, width, height);
    }
    PictureQuad({{s0, t0, -1, -1, -1}, {s1, t0, 1, -1, -1}, {s1, t1, 1, 1, -1}, {s0, t1, -1, 1, -1}}, draw);
    if (scissor) glDisable(GL_SCISSOR_TEST);
    return;
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, levelZeroOnly ? GL_LINEAR : GL_LINEAR_MIPMAP_NEAREST);
  PictureQuad(
      {{0.0f, 0.0625f, -1, -1, -1}, {0.625f, 0.0625f, 1, -1, -1}, {0.625f, 1.0f, 1, 1, -1}, {0.0f, 1.0f, -1, 1, -1}},
      draw);
}

}  // namespace

void EnableTexturing() { glEnable(GL_TEXTURE_2D); }

uint32_t MakeTexture(const std::string& file, bool png, bool mipmaps, std::string* why) {
  DecodedImage image;
  if (!Decode(file, png, &image, why)) {
    Log("texture %s not made", file.c_str());
    return 0;
  }
  const int w = image.width;
  const int h = image.height;
  ++pictureGeneration;
  GLuint texture = 0;
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (!png) {
    // Bottom row first; pure black becomes transparent.
    std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
    for (int r = 0; r < h; ++r) {
      const uint8_t* s = &image.pixels[static_cast<size_t>(h - 1 - r) * w * 3];
      uint8_t* d = &rgba[static_cast<size_t>(r) * w * 4];
      for (int c = 0; c < w; ++c, s += 3, d += 4) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = (s[0] == 0 && s[1] == 0 && s[2] == 0) ? 0 : 255;
      }
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmaps ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    if (mipmaps) {
      UploadMipmaps(GL_RGBA, w, h, rgba.data());
    } else {
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    }
  } else {
    // Rows as stored: the picture's top row is texture row 0. Level 0 holds no alpha until the
    // mipmap builder replaces it with a 4-component level.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mipmaps ? GL_LINEAR_MIPMAP_NEAREST : GL_LINEAR);
    if (mipmaps) {
      UploadMipmaps(4, w, h, image.pixels.data());
    } else {
      glTexImage2D(GL_TEXTURE_2D, 0, 3, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.pixels.data());
    }
  }
  return texture;
}

DecodedImage BuildCanvas(const uint8_t* picture) {
  DecodedImage canvas;
  canvas.width = kCanvasWidth;
  canvas.height = kCanvasHeight;
  canvas.pixels.assign(static_cast<size_t>(kCanvasWidth) * kCanvasHeight * 4, 0);
  // Picture row k from the bottom sits in canvas row 32 + k (bottom first): its top in row 511.
  for (int k = 0; k < kPictureHeight; ++k) {
    const uint8_t* s = picture + static_cast<size_t>(k) * kPictureWidth * 4;
    uint8_t* d = &canvas.pixels[static_cast<size_t>(kCanvasHeight - kPictureHeight + k) * kCanvasWidth * 4];
    std::copy(s, s + kPictureWidth * 4, d);
  }
  return canvas;
}

ImageSlot MakeFullscreenImage(const std::string& file, bool png, std::string* why) {
  DecodedImage image;
  if (!Decode(file, png, &image, why)) {
    Log("fullscreen image %s not made", file.c_str());
    return {};
  }
  if (image.width != kPictureWidth || image.height != kPictureHeight) {
    Log("fullscreen image %s is %dx%d, resampled to 640x480", file.c_str(), image.width, image.height);
  }
  // JPEG pixels are opaque; PNG pixels keep their alpha. The slot keeps the 640 x 480 picture,
  // bottom row first, until its texture is filled.
  auto picture = std::make_shared<DecodedImage>();
  picture->width = kPictureWidth;
  picture->height = kPictureHeight;
  if (png && image.width == kPictureWidth && image.height == kPictureHeight &&
      image.pixels.size() >= static_cast<size_t>(kPictureWidth) * kPictureHeight * 4) {
    picture->pixels = FlipRows(image.pixels.data());  // already 640 x 480 RGBA
  } else {
    picture->pixels = FitPicture(image, png ? 4 : 3);
  }
  std::vector<uint8_t>().swap(image.pixels);

  ImageSlot slot;
  FindAlphaBox(*picture, &slot);
  ChooseKeptPart(*picture, &slot);
  // Until the upload, a picture that keeps only part holds only that part: the titles and
  // credits wait for their textures in a tenth of the memory.
  if (KeepsPart(slot)) {
    std::vector<uint8_t> kept = KeptTexels(slot, picture->pixels.data());
    picture->pixels.swap(kept);
  }
  GLuint texture = 0;
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  // The picture is uploaded when first drawn or by UploadNextPicture, whichever comes first.
  slot.texture = texture;
  slot.picture = std::move(picture);
  ++pictureGeneration;
  return slot;
}

bool UploadPicture(const ImageSlot& slot) {
  if (slot.texture == 0 || !slot.picture || slot.picture->pixels.empty()) return false;
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, slot.texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (LevelZeroOnly()) {
    // The bare picture, one level: the view never samples anything smaller. The linear filter
    // is set first so the driver does not make room for the levels.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    if (KeepsPart(slot)) {
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, slot.keptWidth, slot.keptHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   slot.picture->pixels.data());
    } else {
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kFramedWidth, kFramedHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
      const std::vector<uint8_t> zeros(static_cast<size_t>(kFramedWidth) * 4, 0);
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kFramedWidth, 1, GL_RGBA, GL_UNSIGNED_BYTE, zeros.data());
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, kFramedHeight - 1, kFramedWidth, 1, GL_RGBA, GL_UNSIGNED_BYTE,
                      zeros.data());
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 1, 1, kPictureHeight, GL_RGBA, GL_UNSIGNED_BYTE, zeros.data());
      glTexSubImage2D(GL_TEXTURE_2D, 0, kFramedWidth - 1, 1, 1, kPictureHeight, GL_RGBA, GL_UNSIGNED_BYTE,
                      zeros.data());
      glTexSubImage2D(GL_TEXTURE_2D, 0, 1, 1, kPictureWidth, kPictureHeight, GL_RGBA, GL_UNSIGNED_BYTE,
                      slot.picture->pixels.data());
    }
  } else {
    const DecodedImage canvas =
        BuildCanvas(KeepsPart(slot) ? PictureFromKept(slot, slot.picture->pixels.data()).data() : slot.picture->pixels.data());
    UploadMipmaps(GL_RGBA, kCanvasWidth, kCanvasHeight, canvas.pixels.data());
    slot.picture->width = kCanvasWidth;
    slot.picture->height = kCanvasHeight;
  }
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  // The texture holds the picture now; every copy of the slot shares it and sees it emptied.
  // Its width and height stay to say how the texture holds it.
  std::vector<uint8_t>().swap(slot.picture->pixels);
  ++pictureGeneration;
  return true;
}

uint64_t TextureGeneration() { return pictureGeneration; }

bool UploadNextPicture(const ShowTables& tables) {
  const size_t count = std::min(static_cast<size_t>(std::max(tables.imageCount, 0)), tables.images.size());
  for (size_t i = 0; i < count; ++i)
    if (UploadPicture(tables.images[i])) return true;
  return false;
}

void SetOverlayProjection() {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, 1.0, 0.5, 2.0);
}

namespace {

void FullscreenImage(const ImageSlot& slot, float a, bool draw) {
  EnableTexturing();
  glEnable(GL_ALPHA_TEST);
  glDisable(GL_LIGHTING);
  glShadeModel(GL_SMOOTH);
  glDisable(GL_CULL_FACE);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glEnable(GL_BLEND);
  glColor4f(1.0f, 1.0f, 1.0f, a);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  ImageQuad(slot, draw);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_MODELVIEW);
}

}  // namespace

void DrawFullscreenImage(const ImageSlot& slot, float a) { FullscreenImage(slot, a, true); }

void LeaveFullscreenImageState(const ImageSlot& slot, float a) { FullscreenImage(slot, a, false); }

void DrawFullscreenImageBlended(const ImageSlot& slot, float a) {
  EnableTexturing();
  glDisable(GL_LIGHTING);
  glShadeModel(GL_SMOOTH);
  glDisable(GL_CULL_FACE);
  glEnable(GL_ALPHA_TEST);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glColor4f(a, a, a, a);
  ImageQuad(slot, true);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_MODELVIEW);
}

namespace {

void TextureOverlay(uint32_t texture, float a, bool draw) {
  if (a <= 0.0f) return;
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  EnableTexturing();
  glBindTexture(GL_TEXTURE_2D, texture);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glEnable(GL_ALPHA_TEST);
  glBlendFunc(GL_ONE, GL_ONE);
  glColor4f(a, a, a, 1.0f);
  PictureQuad({{0, 0, -1, -1, -1}, {1, 0, 1, -1, -1}, {1, 1, 1, 1, -1}, {0, 1, -1, 1, -1}}, draw);
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
}

}  // namespace

void DrawTextureOverlay(uint32_t texture, float a) { TextureOverlay(texture, a, true); }

void LeaveTextureOverlayState(uint32_t texture, float a) { TextureOverlay(texture, a, false); }

void DrawForegroundTexture(uint32_t texture) {
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  EnableTexturing();
  glBindTexture(GL_TEXTURE_2D, texture);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_ALPHA_TEST);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  // The quad stands at depth -1 like every other overlay: at depth 0 it would lie in front of
  // the overlay projection's near plane and be clipped away, and a foreground the script names
  // would never show.
  Quad({{1, 1, 1, -1, -1}, {0, 1, -1, -1, -1}, {0, 0, -1, 1, -1}, {1, 0, 1, 1, -1}}, true);
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
}

void FadeToBlack(float b) {
  if (b >= 1.0f) return;
  if (b < 0.0f) b = 0.0f;
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_LIGHTING);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ZERO, GL_SRC_COLOR);
  glColor4f(b, b, b, 1.0f);
  glDisable(GL_ALPHA_TEST);
  Quad({{0, 0, -1, -1, -1}, {0, 0, 1, -1, -1}, {0, 0, 1, 1, -1}, {0, 0, -1, 1, -1}}, false);
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_BLEND);
  glDepthMask(GL_TRUE);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glEnable(GL_ALPHA_TEST);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

bool TextureTableLookup::Find(const std::string& lowerCaseName, uint32_t* texture) const {
  auto found = textures_.find(lowerCaseName);
  if (found == textures_.end()) return false;
  *texture = found->second;
  return true;
}

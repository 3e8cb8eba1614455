#include "show/mipmaps.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstddef>

namespace {

bool PowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

}  // namespace

std::vector<uint8_t> HalveRgba(const uint8_t* rgba, int width, int height) {
  const int w = width > 1 ? width / 2 : 1;
  const int h = height > 1 ? height / 2 : 1;
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
  const size_t stride = static_cast<size_t>(width) * 4;
  uint8_t* d = out.data();
  if (width > 1 && height > 1) {
    // Four texels, rounded to nearest.
    for (int y = 0; y < h; ++y) {
      const uint8_t* a = rgba + static_cast<size_t>(2 * y) * stride;
      const uint8_t* b = a + stride;
      for (int x = 0; x < w; ++x, a += 8, b += 8, d += 4) {
        for (int c = 0; c < 4; ++c) d[c] = static_cast<uint8_t>((a[c] + a[c + 4] + b[c] + b[c + 4] + 2) >> 2);
      }
    }
  } else {
    // A single row or column (both lie packed in memory): pairs along it, rounded down.
        const uint8_t* a = rgba;
    for (int i = 0; i < w * h; ++i, a += 8, d += 4) {
      for (int c = 0; c < 4; ++c) d[c] = static_cast<uint8_t>((a[c] + a[c + 4]) >> 1);
    }
  }
  return out;
}

int UploadMipmaps(int internalFormat, int width, int height, const uint8_t* rgba) {
  GLint largest = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
  if (!PowerOfTwo(width) || !PowerOfTwo(height) || width > largest || height > largest) {
    return gluBuild2DMipmaps(GL_TEXTURE_2D, internalFormat, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  }
  GLint alignment = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  std::vector<uint8_t> level;
  const uint8_t* above = rgba;
  for (int n = 1; width > 1 || height > 1; ++n) {
    std::vector<uint8_t> next = HalveRgba(above, width, height);
    width = width > 1 ? width / 2 : 1;
    height = height > 1 ? height / 2 : 1;
    glTexImage2D(GL_TEXTURE_2D, n, internalFormat, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, next.data());
    level = std::move(next);
    above = level.data();
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
  return 0;
}

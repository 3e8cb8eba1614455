#include "show/mipmaps.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "tests/show/gl_fixture.h"

namespace {

// Noise that exercises every rounding case of the box filter.
std::vector<uint8_t> Noise(int w, int h, uint32_t seed) {
  std::vector<uint8_t> v(static_cast<size_t>(w) * h * 4);
  for (uint8_t& b : v) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return v;
}

// Every level of the bound texture, read back as RGBA.
std::vector<std::vector<uint8_t>> Levels(int w, int h) {
  std::vector<std::vector<uint8_t>> levels;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  for (int n = 0;; ++n) {
    std::vector<uint8_t> level(static_cast<size_t>(w) * h * 4);
    glGetTexImage(GL_TEXTURE_2D, n, GL_RGBA, GL_UNSIGNED_BYTE, level.data());
    levels.push_back(std::move(level));
    if (w == 1 && h == 1) break;
    w = w > 1 ? w / 2 : 1;
    h = h > 1 ? h / 2 : 1;
  }
  return levels;
}

class Mipmaps : public GlTest {};

TEST_F(Mipmaps, LevelsAreTheBytesTheUtilityLibraryMakes) {
  const int sizes[][2] = {{16, 16}, {32, 8}, {4, 64}, {8, 1}, {1, 8}, {1, 1}};
  uint32_t seed = 7;
  for (const auto& size : sizes) {
    const int w = size[0], h = size[1];
    for (GLint format : {GL_RGBA, 3}) {
      std::vector<uint8_t> pixels = Noise(w, h, ++seed);
      GLuint textures[2] = {0, 0};
      glGenTextures(2, textures);
      glBindTexture(GL_TEXTURE_2D, textures[0]);
      glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
      ASSERT_EQ(gluBuild2DMipmaps(GL_TEXTURE_2D, format, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data()), 0);
      auto expected = Levels(w, h);
      glBindTexture(GL_TEXTURE_2D, textures[1]);
      ASSERT_EQ(UploadMipmaps(format, w, h, pixels.data()), 0);
      auto got = Levels(w, h);
      ASSERT_EQ(got.size(), expected.size());
      for (size_t n = 0; n < got.size(); ++n) EXPECT_EQ(got[n], expected[n]) << w << "x" << h << " level " << n;
      glDeleteTextures(2, textures);
    }
  }
}

TEST(HalveRgba, AveragesBlocksRowsAndColumns) {
  // 2 x 2 -> 1 texel, rounded to nearest; 2 x 1 and 1 x 2 -> rounded down.
  const uint8_t square[16] = {0, 1, 255, 10, 1, 1, 255, 10, 0, 1, 254, 10, 0, 0, 254, 11};
  EXPECT_EQ(HalveRgba(square, 2, 2), (std::vector<uint8_t>{0, 1, 255, 10}));
  const uint8_t pair[8] = {0, 3, 255, 1, 1, 4, 254, 2};
  EXPECT_EQ(HalveRgba(pair, 2, 1), (std::vector<uint8_t>{0, 3, 254, 1}));
  EXPECT_EQ(HalveRgba(pair, 1, 2), (std::vector<uint8_t>{0, 3, 254, 1}));
}

}  // namespace

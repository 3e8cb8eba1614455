#include "show/sprite_outline.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "show/effects.h"
#include "show/mipmaps.h"
#include "show/pictures.h"
#include "show/viewport.h"
#include "tests/show/gl_fixture.h"

namespace {

using Shape = std::vector<std::array<float, 2>>;

// Whether (s, t) lies inside the convex polygon (or on its edge).
bool Inside(const Shape& p, double s, double t) {
  if (p.size() < 3) return false;
  double sign = 0.0;
  for (size_t i = 0; i < p.size(); ++i) {
    const auto& a = p[i];
    const auto& b = p[(i + 1) % p.size()];
    const double cross = (b[0] - a[0]) * (t - a[1]) - (b[1] - a[1]) * (s - a[0]);
    if (std::fabs(cross) < 1e-9) continue;
    if (sign == 0.0) sign = cross;
    if ((cross > 0) != (sign > 0)) return false;
  }
  return true;
}

double Area(const Shape& p) {
  double a = 0.0;
  for (size_t i = 0; i < p.size(); ++i) {
    const auto& u = p[i];
    const auto& v = p[(i + 1) % p.size()];
    a += u[0] * v[1] - v[0] * u[1];
  }
  return std::fabs(a) * 0.5;
}

// Every level of a w x h RGBA picture (level 0 first), as GL's mipmaps halve it.
std::vector<std::vector<uint8_t>> Levels(std::vector<uint8_t> rgba, int w, int h) {
  std::vector<std::vector<uint8_t>> levels{rgba};
  while (w > 1 || h > 1) {
    rgba = HalveRgba(rgba.data(), w, h);
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
    levels.push_back(rgba);
  }
  return levels;
}

std::vector<uint8_t> WithAlphaAt(int w, int h, const std::vector<std::pair<int, int>>& texels) {
  std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4, 0);
  for (const auto& [x, y] : texels) {
    uint8_t* p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
    p[0] = p[1] = p[2] = 200;
    p[3] = 255;
  }
  return rgba;
}

TEST(SpriteOutlines, CoverEverySampleThatReachesATexelWithAlphaAndLittleElse) {
  // One texel with alpha in the middle of a 64 x 64 level 0: samples within a texel and a half
  // of it reach it (s * 64 between 30.5 and 32.5 for texel 31); at level k it spreads to a
  // texel of that level.
  const auto levels = Levels(WithAlphaAt(64, 64, {{31, 20}}), 64, 64);
  const SpriteOutline outline = OutlineFromLevels(levels, 64, 64, true, true);
  ASSERT_FALSE(outline.whole);
  ASSERT_EQ(outline.levels.size(), 7u);
  const Shape& first = outline.levels[0];
  EXPECT_TRUE(Inside(first, 30.55 / 64, 19.55 / 64));
  EXPECT_TRUE(Inside(first, 32.45 / 64, 21.45 / 64));
  EXPECT_TRUE(Inside(first, 31.5 / 64, 20.5 / 64));
  EXPECT_FALSE(Inside(first, 29.5 / 64, 20.5 / 64));
  EXPECT_FALSE(Inside(first, 31.5 / 64, 23.0 / 64));
  EXPECT_LT(Area(first), 5.0 / (64 * 64));
  // Level 1 (32 x 32): texel (15, 10) has alpha; its reach is 14.5 .. 16.5 of 32.
  EXPECT_TRUE(Inside(outline.levels[1], 16.4 / 32, 10.5 / 32));
  EXPECT_TRUE(Inside(outline.levels[1], 14.6 / 32, 9.6 / 32));
  // Each level's outline holds the ones before it, and the last, a single texel that
  // repeats, is everything.
  for (size_t k = 1; k < outline.levels.size(); ++k) {
    for (const auto& corner : outline.levels[k - 1]) EXPECT_TRUE(Inside(outline.levels[k], corner[0], corner[1]));
  }
  EXPECT_GE(Area(outline.levels.back()), Area(first));
}

TEST(SpriteOutlines, AnEdgeTexelIsReachedFromTheOtherEdgeOnlyWhenTheTextureRepeats) {
  const auto levels = Levels(WithAlphaAt(32, 32, {{0, 16}}), 32, 32);
  const SpriteOutline repeating = OutlineFromLevels(levels, 32, 32, true, false);
  const SpriteOutline clamped = OutlineFromLevels(levels, 32, 32, false, false);
  // A sample at s = 31.8 / 32 mixes texel 31 with texel 0 when the texture repeats.
  EXPECT_TRUE(Inside(repeating.levels[0], 31.8 / 32, 16.5 / 32));
  EXPECT_FALSE(Inside(clamped.levels[0], 31.8 / 32, 16.5 / 32));
  EXPECT_TRUE(Inside(clamped.levels[0], 0.01, 16.5 / 32));
  // A texture with no alpha anywhere draws nothing at all.
  const SpriteOutline empty = OutlineFromLevels(Levels(WithAlphaAt(8, 8, {}), 8, 8), 8, 8, true, true);
  EXPECT_FALSE(empty.whole);
  for (const Shape& level : empty.levels) EXPECT_TRUE(level.empty());
}

// Column-major matrices as GL keeps them.
std::array<float, 16> Perspective90(double aspect) {
  const double f = 1.0, nearPlane = 1.0, farPlane = 10000.0;
  std::array<float, 16> m{};
  m[0] = static_cast<float>(f / aspect);
  m[5] = static_cast<float>(f);
  m[10] = static_cast<float>((farPlane + nearPlane) / (nearPlane - farPlane));
  m[11] = -1.0f;
  m[14] = static_cast<float>(2 * farPlane * nearPlane / (nearPlane - farPlane));
  return m;
}

std::array<float, 16> Translation(float x, float y, float z) {
  std::array<float, 16> m{};
  m[0] = m[5] = m[10] = m[15] = 1.0f;
  m[12] = x;
  m[13] = y;
  m[14] = z;
  return m;
}

TEST(SpriteOutlines, TheLevelBoundFollowsTheSpritesSizeOnScreen) {
  SpriteOutline outline;
  outline.width = outline.height = 128;
  outline.levels.resize(8, Shape{{0, 0}, {1, 0}, {1, 1}, {0, 1}});
  outline.whole = false;
  const auto projection = Perspective90(1.0);
  // Facing the eye 4 units away in a 512-pixel view: 2 units span 128 pixels, a texel a pixel.
  // The sum over both axes (2) and a quarter more give a level of detail of 1.3: level 1,
  // and one to spare.
  EXPECT_EQ(SpriteLevelBound(projection.data(), Translation(0, 0, -4).data(), 512, 512, outline), 2);
  // Eight times further: three levels smaller.
  EXPECT_EQ(SpriteLevelBound(projection.data(), Translation(0, 0, -32).data(), 512, 512, outline), 5);
  // Close up, magnified: level 0 and one to spare.
  EXPECT_EQ(SpriteLevelBound(projection.data(), Translation(0, 0, -1.5f).data(), 512, 512, outline), 1);
  // Wholly behind the eye: nothing is drawn, any level will do; crossing the near plane: only
  // the part in front counts (close, so a small level).
  EXPECT_EQ(SpriteLevelBound(projection.data(), Translation(0, 0, 5).data(), 512, 512, outline), 0);
  std::array<float, 16> tilted = Translation(0, 0, -1.2f);
  tilted[9] = 0.9f;  // z grows with y: the top of the quad comes towards the eye, past the near plane
  EXPECT_LE(SpriteLevelBound(projection.data(), tilted.data(), 512, 512, outline), 2);
  // Seen edge-on: the last level.
  std::array<float, 16> edgeOn = Translation(0, 0, -4);
  edgeOn[0] = 0.0f;
  edgeOn[2] = 1.0f;  // x goes into z
  EXPECT_EQ(SpriteLevelBound(projection.data(), edgeOn.data(), 512, 512, outline), 7);
}

// The sprite field drawn with outlines against the same field drawn as whole quads.
class SpriteFieldOutlines : public ::testing::Test {
 protected:
  void Open(int width, int height) {
    display_ = CreateHeadlessDisplay();
    std::string why;
    ASSERT_TRUE(display_->Open({width, height, false, "test"}, &why)) << why;
    InitGl(width, height);
  }
  void TearDown() override {
    if (display_) display_->Close();
  }
  std::vector<uint8_t> Draw(const EffectsState& effects, double t, uint32_t texture) {
    glClearColor(0.2f, 0.3f, 0.4f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SpriteField(effects, t, texture);
    std::vector<uint8_t> rgba;
    int w = 0, h = 0;
    EXPECT_TRUE(display_->ReadPixels(&rgba, &w, &h));
    return rgba;
  }
  // A star of alpha in a clear 64 x 64 texture, touching the left edge (so repeat matters),
  // made as PNG sprite textures are: mipmapped, linear-mipmap-nearest.
  static GLuint StarTexture() {
    std::vector<uint8_t> rgba(64 * 64 * 4, 0);
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) {
        const double dx = x - 31.5, dy = y - 31.5;
        const bool star = std::fabs(dx) * std::fabs(dy) < 40.0 && std::fabs(dx) + std::fabs(dy) < 30.0;
        const bool edge = x == 0 && y > 28 && y < 36;
        if (!star && !edge) continue;
        uint8_t* p = &rgba[(static_cast<size_t>(y) * 64 + x) * 4];
        p[0] = static_cast<uint8_t>(100 + x * 2);
        p[1] = static_cast<uint8_t>(250 - y * 2);
        p[2] = 180;
        p[3] = static_cast<uint8_t>(edge ? 255 : 120 + (x + y) % 100);
      }
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    UploadMipmaps(4, 64, 64, rgba.data());
    return texture;
  }
  std::unique_ptr<HeadlessDisplay> display_;
};

TEST_F(SpriteFieldOutlines, DrawEveryPixelTheWholeQuadsDraw) {
  for (const auto& size : {std::pair{800, 600}, std::pair{320, 240}}) {
    SCOPED_TRACE(std::to_string(size.first));
    Open(size.first, size.second);
    EffectsState effects;
    InitEffects(&effects);
    const GLuint texture = StarTexture();

    EffectsState whole;
    whole.unitQuad = effects.unitQuad;
    whole.outlines[texture].generation = TextureGeneration();  // traced as "draw it whole"
    for (double t : {0.0, 2100.0, 5333.0, 9000.0}) {
      SCOPED_TRACE(t);
      const std::vector<uint8_t> quads = Draw(whole, t, texture);
      const std::vector<uint8_t> outlined = Draw(effects, t, texture);
      ASSERT_FALSE(effects.outlines.at(texture).whole);
      size_t drawn = 0, off = 0;
      for (size_t i = 0; i < quads.size(); i += 4) {
        const bool background = quads[i] == 51 && quads[i + 1] == 77 && quads[i + 2] == 102;
        drawn += !background;
        int worst = 0;
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(quads[i + c] - outlined[i + c]));
        off += worst > 2;
      }
      EXPECT_GT(drawn, 1000u);
      // The outline's triangles interpolate the texture coordinates a rounding step apart
      // from the quad's, which moves the odd pixel whose alpha sits at the alpha test's
      // threshold across it (and this blend turns such a pixel dark or leaves it); an outline
      // too tight would cut whole edges off.
      EXPECT_LE(off, std::max<size_t>(6, drawn / 4000)) << "pixels that differ by more than rounding";
    }
    GLfloat coord[4];
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, coord);
    EXPECT_EQ(coord[0], 0.0f);
    EXPECT_EQ(coord[1], 0.0f);
    glDeleteTextures(1, &texture);
    glDeleteLists(effects.unitQuad, 1);
    display_->Close();
  }
}

}  // namespace

// What the driver keeps of a frame until it is done grows with every draw that changes the
// fragment state; the 256 sprites of a field are 256 draws, and each must not bring a new
// copy of that state (with the colour set between draws: 4.5-13 MB a field, on the software
// rasterizer the tests run on; under 0.4 MB with the colour given with the vertices).
TEST_F(SpriteFieldOutlines, AFieldAddsLittleToTheFrameTheDriverHolds) {
#if defined(__GLIBC__)
  Open(640, 480);
  EffectsState effects;
  InitEffects(&effects);
  const GLuint texture = StarTexture();
  Draw(effects, 0.0, texture);  // outlines made, shaders compiled, buffers in place
  for (double t : {2100.0, 50000.0, 368400.0}) {
    EXPECT_LT(DriverFrameGrowth([&] { SpriteField(effects, t, texture); }), 2u << 20)
        << "bytes held for one field at t " << t;
  }
  glDeleteTextures(1, &texture);
  glDeleteLists(effects.unitQuad, 1);
#else
  GTEST_SKIP() << "needs the C library's heap statistics";
#endif
}

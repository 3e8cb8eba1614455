#include "show/pictures.h"

#include <GL/gl.h>

#include <algorithm>

#include "io/data_file.h"
#include "tests/io/image_writer.h"
#include "tests/show/gl_fixture.h"

namespace {

// A picture whose top half is one colour and bottom half another, RGB, top row first.
std::vector<uint8_t> Halves(int w, int h, std::array<uint8_t, 3> top, std::array<uint8_t, 3> bottom) {
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) rgb[(static_cast<size_t>(y) * w + x) * 3 + c] = y < h / 2 ? top[c] : bottom[c];
  return rgb;
}

std::vector<uint8_t> RgbToRgba(const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> rgba;
  for (size_t i = 0; i < rgb.size(); i += 3) rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
  return rgba;
}

class Pictures : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    dir_ = testimg::FreshDir("pictures");
    scope_ = std::make_unique<DataSourceScope>(DataSource{nullptr, dir_});
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    SetOverlayProjection();
    glMatrixMode(GL_MODELVIEW);
  }
  void Put(const std::string& name, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(testimg::WriteFile(dir_ + "/data/" + name, bytes));
  }

  std::string dir_;
  std::unique_ptr<DataSourceScope> scope_;
};

TEST_F(Pictures, FadeToBlackKeepsThatShareOfEachPixelAndOneChangesNothing) {
  ClearTo(200 / 255.0f, 100 / 255.0f, 40 / 255.0f);
  FadeToBlack(1.0f);
  FadeToBlack(1.5f);
  Grab();
  EXPECT_RGB_NEAR(At(10, 10), 200, 100, 40, 1);

  FadeToBlack(0.25f);
  Grab();
  EXPECT_RGB_NEAR(At(10, 10), 50, 25, 10, 1);
  EXPECT_RGB_NEAR(At(63, 63), 50, 25, 10, 1);
  EXPECT_RGB_NEAR(At(0, 0), 50, 25, 10, 1);
  // What it leaves behind: blending and the alpha test on, colour white, depth test back on.
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[0], 1.0f);

  FadeToBlack(-3.0f);  // below 0 counts as 0
  Grab();
  EXPECT_RGB_NEAR(At(10, 10), 0, 0, 0, 0);
}

TEST_F(Pictures, FullscreenImageAtHalfBrightnessAddsHalfThePicture) {
  Put("title.jpg", testimg::EncodeJpeg(640, 480, Halves(640, 480, {200, 100, 20}, {200, 100, 20})));
  std::string why;
  ImageSlot slot = MakeFullscreenImage("data\\title.jpg", false, &why);
  ASSERT_NE(slot.texture, 0u) << why;
  ASSERT_TRUE(slot.picture);
  ClearTo(40 / 255.0f, 40 / 255.0f, 40 / 255.0f);
  DrawFullscreenImage(slot, 0.5f);
  Grab();
  EXPECT_RGB_NEAR(At(32, 32), 140, 90, 50, 3);
  EXPECT_RGB_NEAR(At(5, 58), 140, 90, 50, 3);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLboolean depthWrites = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  EXPECT_TRUE(depthWrites);
}

TEST_F(Pictures, FullscreenImageShrunkFarIsAveragedNotAliased) {
  // Stripes two pixels wide; shown ten times smaller, only the mipmaps give an even grey.
  std::vector<uint8_t> rgb(640 * 480 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = (i / 3 % 640 / 2) % 2 ? 0 : 255;
  Put("stripes.png", testimg::EncodePng(640, 480, PNG_COLOR_TYPE_RGB, 8, rgb));
  ImageSlot slot = MakeFullscreenImage("data\\stripes.png", true);
  ASSERT_NE(slot.texture, 0u);
  ClearTo(0.0f, 0.0f, 0.0f);
  DrawFullscreenImage(slot, 1.0f);
  Grab();
  int lowest = 255, highest = 0;
  for (int x = 8; x < 56; ++x) {
    lowest = std::min(lowest, At(x, 32)[0]);
    highest = std::max(highest, At(x, 32)[0]);
  }
  EXPECT_LE(highest - lowest, 8);
  EXPECT_GT(lowest, 16);
}

TEST_F(Pictures, ImagesAreUploadedOneAtATimeAndLetTheirCanvasGo) {
  Put("a.png", testimg::EncodePng(640, 480, PNG_COLOR_TYPE_RGB, 8, Halves(640, 480, {0, 255, 0}, {0, 255, 0})));
  Put("b.png", testimg::EncodePng(640, 480, PNG_COLOR_TYPE_RGB, 8, Halves(640, 480, {0, 0, 255}, {0, 0, 255})));
  ShowTables tables;
  tables.images[0] = MakeFullscreenImage("data\\a.png", true);
  tables.images[1] = MakeFullscreenImage("data\\b.png", true);
  tables.imageCount = 2;
  ASSERT_TRUE(tables.images[0].picture && tables.images[1].picture);
  EXPECT_FALSE(tables.images[0].picture->pixels.empty());
  EXPECT_TRUE(UploadNextPicture(tables));
  EXPECT_TRUE(tables.images[0].picture->pixels.empty());
  EXPECT_FALSE(tables.images[1].picture->pixels.empty());
  EXPECT_TRUE(UploadNextPicture(tables));
  EXPECT_FALSE(UploadNextPicture(tables));
  EXPECT_FALSE(UploadPicture(tables.images[1]));
  // Both textures hold their pictures, whether uploaded ahead or on the first draw.
  ClearTo(0.0f, 0.0f, 0.0f);
  DrawFullscreenImage(tables.images[1], 1.0f);
  Grab();
  EXPECT_RGB_NEAR(At(32, 32), 0, 0, 85, 2);  // a PNG without alpha is as opaque as it is bright
  ImageSlot late = MakeFullscreenImage("data\\a.png", true);
  ClearTo(0.0f, 0.0f, 0.0f);
  DrawFullscreenImage(late, 1.0f);
  Grab();
  EXPECT_RGB_NEAR(At(32, 32), 0, 85, 0, 2);
  EXPECT_TRUE(late.picture->pixels.empty());
  glDeleteTextures(1, &late.texture);
  for (int i = 0; i < 2; ++i) glDeleteTextures(1, &tables.images[static_cast<size_t>(i)].texture);
}

// The texture's level-0 width, and whether the bound texture has a level 1.
int LevelZeroWidth(GLuint texture) {
  glBindTexture(GL_TEXTURE_2D, texture);
  GLint width = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  return width;
}

TEST_F(Pictures, LargeViewGetsTheBarePictureWhichBecomesTheCanvasWhenTheViewShrinks) {
  Put("duo.jpg", testimg::EncodeJpeg(640, 480, Halves(640, 480, {250, 0, 0}, {0, 0, 250})));
  // A view the size of the picture: only its bottom-left 64 x 64 lands in the frame.
  ResizeViewport(640, 480);
  ImageSlot slot = MakeFullscreenImage("data\\duo.jpg", false);
  ASSERT_NE(slot.texture, 0u);
  ASSERT_EQ(slot.picture->pixels.size(), 640u * 480 * 4);
  EXPECT_TRUE(UploadPicture(slot));
  EXPECT_EQ(slot.picture->width, 640);
  EXPECT_EQ(LevelZeroWidth(slot.texture), 642);  // with its transparent ring
  ClearTo(0.0f, 0.0f, 0.0f);
  DrawFullscreenImage(slot, 1.0f);
  Grab();
  EXPECT_RGB_NEAR(At(32, 32), 0, 0, 250, 4);
  EXPECT_RGB_NEAR(At(0, 63), 0, 0, 250, 4);  // the corner's own pixel, not blended with the border

  // The whole picture in 64 x 64: the canvas with its levels, made from the texture itself,
  // upright.
  ResizeViewport(64, 64);
  SetOverlayProjection();
  glMatrixMode(GL_MODELVIEW);
  ClearTo(0.0f, 0.0f, 0.0f);
  DrawFullscreenImage(slot, 1.0f);
  Grab();
  EXPECT_EQ(slot.picture->width, 1024);
  EXPECT_EQ(LevelZeroWidth(slot.texture), 1024);
  EXPECT_RGB_NEAR(At(32, 8), 250, 0, 0, 4);
  EXPECT_RGB_NEAR(At(32, 56), 0, 0, 250, 4);
  glDeleteTextures(1, &slot.texture);
}

TEST_F(Pictures, FullscreenImageIsUprightAndBlendedDrawUsesItsAlpha) {
  Put("sky.png", testimg::EncodePng(640, 480, PNG_COLOR_TYPE_RGB, 8, Halves(640, 480, {255, 255, 255}, {0, 0, 255})));
  ImageSlot slot = MakeFullscreenImage("data\\sky.png", true);
  ASSERT_NE(slot.texture, 0u);
  ClearTo(1.0f, 0.0f, 0.0f);
  DrawFullscreenImageBlended(slot, 1.0f);
  Grab();
  // Top: white, opaque by brightness alpha. Bottom: blue at alpha 85 over red.
  EXPECT_RGB_NEAR(At(32, 8), 255, 255, 255, 2);
  EXPECT_RGB_NEAR(At(32, 56), 255 * 170 / 255, 0, 85, 3);
}

TEST_F(Pictures, CanvasPlacesThePictureTopLeftUprightRestTransparent) {
  std::vector<uint8_t> picture(640 * 480 * 4, 0);
  picture[(479 * 640 + 0) * 4] = 11;                      // top row (bottom first), column 0
  picture[639 * 4 + 3] = 22;                              // bottom row, column 639, alpha
  DecodedImage canvas = BuildCanvas(picture.data());
  ASSERT_EQ(canvas.width, 1024);
  ASSERT_EQ(canvas.height, 512);
  ASSERT_EQ(canvas.pixels.size(), 1024u * 512 * 4);
  EXPECT_EQ(canvas.pixels[(511 * 1024 + 0) * 4], 11);       // bottom-first: top row is row 511
  EXPECT_EQ(canvas.pixels[(32 * 1024 + 639) * 4 + 3], 22);  // bottom picture row is row 32
  EXPECT_EQ(canvas.pixels[(31 * 1024 + 639) * 4 + 3], 0);
}

TEST_F(Pictures, OddSizedMissingAndBrokenFullscreenImages) {
  // Not 640 x 480: resampled, never read past the picture.
  Put("small.jpg", testimg::EncodeJpeg(32, 24, Halves(32, 24, {255, 255, 255}, {0, 0, 0})));
  ImageSlot small = MakeFullscreenImage("data\\small.jpg", false);
  ASSERT_NE(small.texture, 0u);
  const auto& px = small.picture->pixels;
  ASSERT_EQ(px.size(), 640u * 480 * 4);
  EXPECT_GT(px[(479 * 640 + 600) * 4], 240);  // picture top row (bottom first): white
  EXPECT_EQ(px[(479 * 640 + 600) * 4 + 3], 255);
  EXPECT_LT(px[(8 * 640 + 600) * 4], 15);  // near its bottom: black

  std::string why;
  ImageSlot missing = MakeFullscreenImage("data\\none.jpg", false, &why);
  EXPECT_EQ(missing.texture, 0u);
  EXPECT_FALSE(missing.picture);
  EXPECT_EQ(why, "not found");
  Put("broken.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
  EXPECT_EQ(MakeFullscreenImage("data\\broken.png", true, &why).texture, 0u);
  EXPECT_EQ(MakeTexture("data\\broken.png", true, true, &why), 0u);
  EXPECT_FALSE(why.empty());
}

TEST_F(Pictures, JpegTextureIsTransparentWherePureBlack) {
  // Left half pure black, right half white, in whole 8 x 8 blocks so black stays exactly 0.
  std::vector<uint8_t> rgb(16 * 16 * 3, 0);
  for (int y = 0; y < 16; ++y)
    for (int x = 8; x < 16; ++x)
      for (int c = 0; c < 3; ++c) rgb[(y * 16 + x) * 3 + c] = 255;
  Put("mask.jpg", testimg::EncodeJpeg(16, 16, rgb));
  uint32_t texture = MakeTexture("data\\mask.jpg", false, true);
  ASSERT_NE(texture, 0u);
  ClearTo(0.0f, 0.0f, 1.0f);
  DrawForegroundTexture(texture);
  Grab();
  EXPECT_RGB_NEAR(At(12, 32), 0, 0, 255, 1);  // black texels dropped: background shows
  EXPECT_RGB_NEAR(At(50, 32), 255, 255, 255, 2);
}

TEST_F(Pictures, JpegAndPngTexturesAreUpsideDownToEachOther) {
  std::vector<uint8_t> rgb = Halves(16, 16, {255, 0, 0}, {0, 255, 0});
  Put("flag.jpg", testimg::EncodeJpeg(16, 16, rgb));
  Put("flag.png", testimg::EncodePng(16, 16, PNG_COLOR_TYPE_RGBA, 8, RgbToRgba(rgb)));
  uint32_t jpg = MakeTexture("data\\flag.jpg", false, true);
  uint32_t png = MakeTexture("data\\flag.png", true, true);
  ASSERT_NE(jpg, 0u);
  ASSERT_NE(png, 0u);

  ClearTo(0, 0, 0);
  DrawTextureOverlay(jpg, 1.0f);
  Grab();
  EXPECT_RGB_NEAR(At(32, 8), 255, 0, 0, 3);  // JPEG: picture top at the top of the view
  EXPECT_RGB_NEAR(At(32, 56), 0, 255, 0, 3);

  ClearTo(0, 0, 0);
  DrawTextureOverlay(png, 1.0f);
  Grab();
  EXPECT_RGB_NEAR(At(32, 8), 0, 255, 0, 3);  // PNG: picture top at the bottom
  EXPECT_RGB_NEAR(At(32, 56), 255, 0, 0, 3);

  // Overlay brightness scales the texture; nothing at all at 0.
  ClearTo(0, 0, 0);
  DrawTextureOverlay(png, 0.5f);
  DrawTextureOverlay(png, 0.0f);
  Grab();
  EXPECT_RGB_NEAR(At(32, 56), 128, 0, 0, 3);
}

TEST(TextureTableLookup, MapNamesFindTheirJpegThenPng) {
  TextureTable table{{"stone.png", 7}};
  TextureTableLookup lookup(table);
  EXPECT_EQ(FindTextureForMap("C:\\Maps\\Stone.BMP", &lookup), 7u);
  table["stone.jpg"] = 5;
  EXPECT_EQ(FindTextureForMap("C:\\Maps\\Stone.BMP", &lookup), 5u);
  EXPECT_EQ(FindTextureForMap("C:\\Maps\\Grass.BMP", &lookup), 0u);
  // A ".jpg" entry whose picture failed to load is still the map's texture: no ".png" fallback.
  table["stone.jpg"] = 0;
  EXPECT_EQ(FindTextureForMap("C:\\Maps\\Stone.BMP", &lookup), 0u);
}

}  // namespace

#include "show/backdrop.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "io/data_file.h"
#include "platform/platform.h"
#include "show/pictures.h"
#include "show/viewport.h"
#include "tests/io/image_writer.h"

namespace {

// The GL state a fullscreen picture leaves behind, as later drawing would see it.
struct LeftState {
  GLint texture = 0, blendSrc = 0, blendDst = 0, matrixMode = 0;
  GLboolean blend = 0, alphaTest = 0, depthTest = 0, depthMask = 0, lighting = 0, cull = 0, texturing = 0;
  GLfloat colour[4] = {}, texCoord[4] = {};

  static LeftState Read() {
    LeftState s;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture);
    glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
    glGetIntegerv(GL_BLEND_DST, &s.blendDst);
    glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
    s.blend = glIsEnabled(GL_BLEND);
    s.alphaTest = glIsEnabled(GL_ALPHA_TEST);
    s.depthTest = glIsEnabled(GL_DEPTH_TEST);
    s.lighting = glIsEnabled(GL_LIGHTING);
    s.cull = glIsEnabled(GL_CULL_FACE);
    s.texturing = glIsEnabled(GL_TEXTURE_2D);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depthMask);
    glGetFloatv(GL_CURRENT_COLOR, s.colour);
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, s.texCoord);
    return s;
  }
  void ExpectSameAs(const LeftState& o) const {
    EXPECT_EQ(texture, o.texture);
    EXPECT_EQ(blendSrc, o.blendSrc);
    EXPECT_EQ(blendDst, o.blendDst);
    EXPECT_EQ(matrixMode, o.matrixMode);
    EXPECT_EQ(blend, o.blend);
    EXPECT_EQ(alphaTest, o.alphaTest);
    EXPECT_EQ(depthTest, o.depthTest);
    EXPECT_EQ(depthMask, o.depthMask);
    EXPECT_EQ(lighting, o.lighting);
    EXPECT_EQ(cull, o.cull);
    EXPECT_EQ(texturing, o.texturing);
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(colour[i], o.colour[i]) << "colour " << i;
      EXPECT_EQ(texCoord[i], o.texCoord[i]) << "texture coordinate " << i;
    }
  }
};

// Leaves state a part's drawing could leave before the next frame's background.
void Disturb() {
  glColor4f(0.3f, 0.2f, 0.1f, 0.5f);
  glTexCoord2f(5.0f, 7.0f);
  glBindTexture(GL_TEXTURE_2D, 0);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glEnable(GL_LIGHTING);
  glEnable(GL_CULL_FACE);
  glDepthMask(GL_FALSE);
}

// A 640 x 480 RGBA picture of noise with a seed, alpha included (some pixels fully clear, some
// partly, and a clear band at the left and the top), so the blend, the alpha test and the
// drawing kept to the picture's alpha box all matter.
std::vector<uint8_t> Noise(uint32_t seed) {
  std::vector<uint8_t> rgba(640 * 480 * 4);
  uint32_t x = seed;
  for (size_t i = 0; i < rgba.size(); ++i) {
    x = x * 1664525u + 1013904223u;
    rgba[i] = static_cast<uint8_t>(x >> 24);
    const size_t pixel = i / 4;
    if (i % 4 == 3 && ((x >> 8) % 5 == 0 || pixel % 640 < 50 || pixel / 640 < 30)) rgba[i] = 0;
  }
  return rgba;
}

class Backdrop : public ::testing::Test {
 protected:
  void Open(int width, int height) {
    if (display_) display_->Close();
    display_ = CreateHeadlessDisplay();
    std::string why;
    ASSERT_TRUE(display_->Open({width, height, false, "test"}, &why)) << why;
    InitGl(width, height);
    width_ = width;
    height_ = height;
    scope_.reset();
    dir_ = testimg::FreshDir("backdrop");
    scope_ = std::make_unique<DataSourceScope>(DataSource{nullptr, dir_});
  }
  void TearDown() override {
    cache_.Release();
    if (display_) display_->Close();
  }
  BackdropCache::Lookup Lookup() {
    Display* display = display_.get();
    return [display](const char* name) { return display->GlFunction(name); };
  }
  ImageSlot Picture(const std::string& name, uint32_t seed) {
    EXPECT_TRUE(testimg::WriteFile(dir_ + "/data/" + name, testimg::EncodePng(640, 480, PNG_COLOR_TYPE_RGBA, 8,
                                                                              Noise(seed))));
    std::string why;
    ImageSlot slot = MakeFullscreenImage("data\\" + name, true, &why);
    EXPECT_NE(slot.texture, 0u) << why;
    return slot;
  }
  // The frame cleared to a colour, `draw` under the overlay projection, read back.
  template <typename Draw>
  std::vector<uint8_t> FrameOf(Draw draw, float r = 0.0f, float g = 0.0f, float b = 0.0f) {
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    SetOverlayProjection();
    glMatrixMode(GL_MODELVIEW);
    draw();
    std::vector<uint8_t> rgba;
    int w = 0, h = 0;
    EXPECT_TRUE(display_->ReadPixels(&rgba, &w, &h));
    return rgba;
  }
  // A frame as the part renderer starts one: cleared, then the background.
  std::vector<uint8_t> Frame(const ImageSlot& slot, bool cached) {
    return FrameOf([&] {
      if (cached) {
        cache_.Draw(slot);
      } else {
        DrawFullscreenImage(slot, 1.0f);
      }
    });
  }

  std::unique_ptr<HeadlessDisplay> display_;
  std::unique_ptr<DataSourceScope> scope_;
  std::string dir_;
  int width_ = 0, height_ = 0;
  BackdropCache cache_;
};

TEST_F(Backdrop, CopiedFramesAreTheDrawnFramesAndLeaveTheSameState) {
  // 800 x 600 takes the bare picture, 64 x 48 the mipmapped canvas; the last view is
  // letterboxed inside a larger frame, so the copy has to land at the view's origin.
  struct View {
    int frameWidth, frameHeight, x, y, width, height;
  };
  for (const View& v : {View{800, 600, 0, 0, 800, 600}, View{64, 48, 0, 0, 64, 48}, View{700, 600, 30, 45, 640, 480}}) {
    SCOPED_TRACE(std::to_string(v.width) + "x" + std::to_string(v.height) + " at " + std::to_string(v.x));
    Open(v.frameWidth, v.frameHeight);
    if (v.x || v.y) PlaceViewport(v.x, v.y, v.width, v.height);
    cache_.SetLookup(Lookup());
    const ImageSlot slot = Picture("sky.png", 7);

    const std::vector<uint8_t> drawn = Frame(slot, false);
    const LeftState expected = LeftState::Read();
    Disturb();
    const std::vector<uint8_t> first = Frame(slot, true);
    EXPECT_FALSE(cache_.LastDrawCopied());
    Disturb();
    const std::vector<uint8_t> copied = Frame(slot, true);
    EXPECT_TRUE(cache_.LastDrawCopied());
    LeftState::Read().ExpectSameAs(expected);
    EXPECT_TRUE(first == drawn);
    EXPECT_TRUE(copied == drawn);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    cache_.Release();
  }
}

TEST_F(Backdrop, ANewPictureAnotherViewOrClearColourIsDrawnAfresh) {
  Open(800, 600);
  cache_.SetLookup(Lookup());
  const ImageSlot first = Picture("one.png", 1);
  Frame(first, true);
  const std::vector<uint8_t> before = Frame(first, true);
  ASSERT_TRUE(cache_.LastDrawCopied());

  // A new picture under the same texture name (drivers may hand a deleted name out again):
  // its pixels go into the first picture's texture.
  ImageSlot second = Picture("two.png", 2);
  GLuint name = second.texture;
  second.texture = first.texture;
  ASSERT_TRUE(UploadPicture(second));
  glDeleteTextures(1, &name);
  const std::vector<uint8_t> cached = Frame(second, true);
  EXPECT_FALSE(cache_.LastDrawCopied());
  EXPECT_TRUE(cached == Frame(second, false));
  EXPECT_FALSE(cached == before);

  // A smaller view: drawn again at that size.
  Frame(second, true);
  ASSERT_TRUE(cache_.LastDrawCopied());
  ResizeViewport(400, 300);
  const std::vector<uint8_t> small = Frame(second, true);
  EXPECT_FALSE(cache_.LastDrawCopied());
  EXPECT_TRUE(small == Frame(second, false));

  // Another clear colour shows through the clear pixels: drawn again over it.
  Frame(second, true);
  ASSERT_TRUE(cache_.LastDrawCopied());
  glClearColor(0.0f, 0.0f, 0.5f, 1.0f);
  cache_.Draw(second);
  EXPECT_FALSE(cache_.LastDrawCopied());
}

TEST_F(Backdrop, APlainTextureBackgroundIsCopiedAsItWouldBeDrawn) {
  Open(800, 600);
  cache_.SetLookup(Lookup());
  ASSERT_TRUE(testimg::WriteFile(dir_ + "/data/stars.png", testimg::EncodePng(640, 480, PNG_COLOR_TYPE_RGBA, 8, Noise(5))));
  const uint32_t texture = MakeTexture("data\\stars.png", true, true);
  ASSERT_NE(texture, 0u);
  auto frame = [&](bool cached) {
    return FrameOf([&] {
      if (cached) {
        cache_.DrawTexture(texture);
      } else {
        DrawTextureOverlay(texture, 1.0f);
      }
    });
  };
  // The overlay leaves face culling as it finds it: every frame starts from the same disorder.
  Disturb();
  const std::vector<uint8_t> drawn = frame(false);
  const LeftState expected = LeftState::Read();
  Disturb();
  EXPECT_TRUE(frame(true) == drawn);
  Disturb();
  EXPECT_TRUE(frame(true) == drawn);
  EXPECT_TRUE(cache_.LastDrawCopied());
  LeftState::Read().ExpectSameAs(expected);

  // A fullscreen picture after the texture is not mistaken for it, nor the texture after it.
  const ImageSlot slot = Picture("sky.png", 6);
  EXPECT_TRUE(Frame(slot, true) == Frame(slot, false));
  EXPECT_TRUE(frame(true) == drawn);
  EXPECT_FALSE(cache_.LastDrawCopied());
}

TEST_F(Backdrop, WithoutTheEntryPointsEveryFrameDrawsThePicture) {
  Open(320, 240);
  cache_.SetLookup([](const char*) -> void* { return nullptr; });
  const ImageSlot slot = Picture("sky.png", 3);
  const std::vector<uint8_t> drawn = Frame(slot, false);
  EXPECT_TRUE(Frame(slot, true) == drawn);
  EXPECT_TRUE(Frame(slot, true) == drawn);
  EXPECT_FALSE(cache_.LastDrawCopied());
}

}  // namespace

namespace {

using PictureAlphaBox = Backdrop;

TEST_F(PictureAlphaBox, AForegroundDrawnWithinItsAlphaBoxIsTheWholeDrawing) {
  // A clear picture but for a few islands: full texels near the bottom left and the top right,
  // a faint one and a small patch; kept to its alpha box, the drawing must be the same as over
  // the whole view at every scale the bare picture is drawn at.
  std::vector<uint8_t> rgba(640 * 480 * 4, 0);
  auto put = [&rgba](int x, int yFromTop, uint8_t alpha) {
    uint8_t* p = &rgba[(static_cast<size_t>(yFromTop) * 640 + x) * 4];
    p[0] = 250;
    p[1] = 180;
    p[2] = 60;
    p[3] = alpha;
  };
  put(37, 401, 255);
  put(598, 12, 255);
  put(420, 300, 6);
  for (int y = 200; y < 204; ++y)
    for (int x = 300; x < 306; ++x) put(x, y, 200);
  for (const auto& size : {std::pair{640, 480}, std::pair{1024, 768}, std::pair{800, 600}, std::pair{700, 530},
                          std::pair{1600, 1200}}) {
    SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second));
    Open(size.first, size.second);
    ASSERT_TRUE(testimg::WriteFile(dir_ + "/data/islands.png", testimg::EncodePng(640, 480, PNG_COLOR_TYPE_RGBA, 8, rgba)));
    const ImageSlot slot = MakeFullscreenImage("data\\islands.png", true);
    ASSERT_NE(slot.texture, 0u);
    EXPECT_EQ(slot.alphaLeft, 37);
    EXPECT_EQ(slot.alphaRight, 598);
    EXPECT_EQ(slot.alphaBottom, 479 - 401);
    EXPECT_EQ(slot.alphaTop, 479 - 12);
    ImageSlot whole = slot;
    whole.alphaLeft = whole.alphaBottom = 0;
    whole.alphaRight = 639;
    whole.alphaTop = 479;

    auto frame = [this](const ImageSlot& s) {
      auto pixels = FrameOf([&] { DrawFullscreenImageBlended(s, 1.0f); }, 0.1f, 0.2f, 0.3f);
      EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
      return pixels;
    };
    const std::vector<uint8_t> full = frame(whole);
    const std::vector<uint8_t> boxed = frame(slot);
    size_t differing = 0, drawn = 0;
    for (size_t i = 0; i < full.size(); i += 4) {
      differing += std::memcmp(&full[i], &boxed[i], 3) != 0;
      drawn += full[i] != 26;  // 0.1 of 255: the clear colour's red
    }
    EXPECT_EQ(differing, 0u);
    EXPECT_GT(drawn, 24u);
  }
}

}  // namespace

namespace {

using PictureKeptPart = Backdrop;

TEST_F(PictureKeptPart, AMostlyClearPictureKeepsOnlyItsBoxAndDrawsTheSame) {
  // Two pictures alike but for one clear texel far from the rest whose colour is not black: the
  // first keeps only its alpha box and a margin, the second must keep everything. Drawn, they
  // are the same picture.
  std::vector<uint8_t> rgba(640 * 480 * 4, 0);
  for (int y = 150; y < 230; ++y) {
    for (int x = 100; x < 400; ++x) {
      uint8_t* p = &rgba[(static_cast<size_t>(y) * 640 + x) * 4];
      p[0] = static_cast<uint8_t>(x);
      p[1] = static_cast<uint8_t>(y * 3);
      p[2] = static_cast<uint8_t>(x + y);
      p[3] = static_cast<uint8_t>((x * 7 + y * 13) % 256);
    }
  }
  std::vector<uint8_t> marked = rgba;
  marked[(static_cast<size_t>(460) * 640 + 620) * 4 + 1] = 90;  // clear, but green
  for (const auto& size : {std::pair{1024, 768}, std::pair{640, 480}, std::pair{64, 48}}) {
    SCOPED_TRACE(std::to_string(size.first));
    Open(size.first, size.second);
    ASSERT_TRUE(testimg::WriteFile(dir_ + "/data/kept.png", testimg::EncodePng(640, 480, PNG_COLOR_TYPE_RGBA, 8, rgba)));
    ASSERT_TRUE(testimg::WriteFile(dir_ + "/data/whole.png", testimg::EncodePng(640, 480, PNG_COLOR_TYPE_RGBA, 8, marked)));
    const ImageSlot kept = MakeFullscreenImage("data\\kept.png", true);
    const ImageSlot whole = MakeFullscreenImage("data\\whole.png", true);
    // Rows count from the bottom in the frame: picture rows 150..229 are framed rows 251..330.
    EXPECT_EQ(kept.keptLeft, 100 + 1 - 2);
    EXPECT_EQ(kept.keptWidth, 300 + 4);
    EXPECT_EQ(kept.keptBottom, 480 - 230 + 1 - 2);
    EXPECT_EQ(kept.keptHeight, 80 + 4);
    EXPECT_EQ(whole.keptWidth, 642);
    EXPECT_EQ(whole.keptHeight, 482);
    // Until its texture is filled the picture waits in what it keeps.
    EXPECT_EQ(kept.picture->pixels.size(), 304u * 84 * 4);
    EXPECT_EQ(whole.picture->pixels.size(), 640u * 480 * 4);

    auto frame = [this](const ImageSlot& s) {
      return FrameOf([&] { DrawFullscreenImageBlended(s, 1.0f); }, 0.3f, 0.2f, 0.1f);
    };
    const std::vector<uint8_t> a = frame(kept), b = frame(whole);
    if (size.first >= 512) {
      GLint width = 0;
      glBindTexture(GL_TEXTURE_2D, kept.texture);
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
      EXPECT_EQ(width, 304);
    }
    // Texture coordinates interpolated from other corner values may round a sample a step
    // apart: a colour may move by one, and a pixel whose alpha sits on the alpha test's
    // threshold may cross it; nothing more.
    size_t moved = 0, crossed = 0;
    for (size_t i = 0; i < a.size(); i += 4) {
      int worst = 0;
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a[i + c] - b[i + c]));
      moved += worst > 0;
      crossed += worst > 1;
    }
    EXPECT_LE(moved, a.size() / 4 / 5000);
    EXPECT_LE(crossed, 2u);
  }
}

}  // namespace

#include "show/effects.h"

#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "io/data_file.h"
#include "show/clip_draw.h"
#include "show/ob3.h"
#include "show/viewport.h"
#include "tests/io/image_writer.h"
#include "tests/show/gl_fixture.h"
#include "tests/show/show_writer.h"

namespace {

TEST(Effects, EaseAngleAtItsTurningPoints) {
  const double period = 2033.0;
  const double quarter = M_PI / 2 * period;  // c = 0
  EXPECT_NEAR(EaseAngle(quarter - 1e-6, period), 90.0, 1e-6);
  EXPECT_NEAR(EaseAngle(quarter + 1e-6, period), 90.0, 1e-6);
  EXPECT_DOUBLE_EQ(EaseAngle(0.0, period), 180.0);          // c = 1
  EXPECT_NEAR(EaseAngle(M_PI * period, period), 0.0, 1e-9);  // c = -1
  // Stays within 0..180 on the way.
  for (double k = 0; k < 20000; k += 37) {
    EXPECT_GE(EaseAngle(k, 1545.0), 0.0);
    EXPECT_LE(EaseAngle(k, 1545.0), 180.0);
  }
}

TEST(Effects, LookupTakesTheFirstRegisteredNameContainingTheEntrysName) {
  EffectsState effects;
  RegisterEffects(&effects);
  EXPECT_EQ(FindEffect(effects, "droid"), 1);
  EXPECT_EQ(FindEffect(effects, "droid2"), 2);
  EXPECT_EQ(FindEffect(effects, "droid3"), 3);
  EXPECT_EQ(FindEffect(effects, "tunnel"), 4);
  EXPECT_EQ(FindEffect(effects, "nnel"), 4);
  EXPECT_EQ(FindEffect(effects, "tunnelvision"), -1);
  EXPECT_EQ(FindEffect(effects, "Droid1"), -1);  // names compare as bytes
}

TEST(Effects, RingSpanAndDepths) {
  RingSpan at0 = RingsAt(0.0);
  EXPECT_EQ(at0.first, 0);
  EXPECT_EQ(at0.last, 119);
  EXPECT_DOUBLE_EQ(at0.Depth(0), 36000.0);
  EXPECT_DOUBLE_EQ(at0.Depth(119), 36000.0 - 600.0 * 119);

  // b = 250: B = 2.5, rings 2 .. 122 (n < 122.5); ring 2 stands 300 further back than B.
  RingSpan later = RingsAt(250.0);
  EXPECT_EQ(later.first, 2);
  EXPECT_EQ(later.last, 122);
  EXPECT_DOUBLE_EQ(later.Depth(2), 36300.0);

  // A position no ring index can hold draws nothing instead of overflowing.
  RingSpan beyond = RingsAt(1e300);
  EXPECT_LT(beyond.last, beyond.first);
  RingSpan nan = RingsAt(std::nan(""));
  EXPECT_LT(nan.last, nan.first);
}

TEST(Effects, RandomSequenceStartsFromTheRuntimeDefaultSeed) {
  EffectRandom random;
  EXPECT_EQ(random.Next(), 41);
  EXPECT_EQ(random.Next(), 18467);
  EXPECT_EQ(random.Next(), 6334);
  EXPECT_EQ(random.Next(), 26500);
  EffectRandom again;
  EXPECT_EQ(again.Next(), 41);
}

class EffectsGl : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    dir_ = testimg::FreshDir("effects");
    ASSERT_TRUE(testimg::WriteFile(dir_ + "/data/star.ob3", testshow::StarOb3(300)));
    std::vector<uint8_t> white(8 * 8 * 3, 255);
    ASSERT_TRUE(testimg::WriteFile(dir_ + "/data/glow.jpg", testimg::EncodeJpeg(8, 8, white)));
    scope_ = std::make_unique<DataSourceScope>(DataSource{nullptr, dir_});
    InitEffects(&effects_);
    ASSERT_NE(effects_.starMesh.displayList, 0u);
    textures_["glow.jpg"] = MakeTexture("data\\glow.jpg", false, true);
  }

  PartEntry Effect(const std::string& name, int32_t speed, int32_t fov) {
    PartEntry entry;
    entry.name = name;
    entry.background = "glow.jpg";
    entry.isEffect = 1;
    entry.speed = speed;
    entry.fieldOfView = fov;
    return entry;
  }

  std::vector<uint8_t> Draw(EffectsState* effects, const PartEntry& entry, float f) {
    ResizeViewport(kWidth, kHeight);
    ClearTo(0, 0, 0);
    RunEffect(effects, textures_, entry, f);
    glMatrixMode(GL_MODELVIEW);
    Grab();
    return Frame();
  }

  static int Lit(const std::vector<uint8_t>& frame) {
    int lit = 0;
    for (size_t i = 0; i < frame.size(); i += 4) lit += (frame[i] | frame[i + 1] | frame[i + 2]) != 0;
    return lit;
  }

  std::string dir_;
  std::unique_ptr<DataSourceScope> scope_;
  EffectsState effects_;
  TextureTable textures_;
};

TEST_F(EffectsGl, EachEffectDrawsAndMovesOverTime) {
  for (const char* name : {"droid1", "tunnel", "droid3"}) {
    PartEntry entry = Effect(name, 3000, 90);
    std::vector<uint8_t> early = Draw(&effects_, entry, 10.0f);
    std::vector<uint8_t> later = Draw(&effects_, entry, 40.0f);
    EXPECT_GT(Lit(early), 0) << name;
    EXPECT_NE(early, later) << name;
  }
  // An unknown name draws nothing.
  EXPECT_EQ(Lit(Draw(&effects_, Effect("tunnelvision", 3000, 90), 10.0f)), 0);
}

TEST_F(EffectsGl, RingEffectsLeaveTheirTransformsOnTheProjectionMatrix) {
  ResizeViewport(kWidth, kHeight);
  RunEffect(&effects_, textures_, Effect("tunnel", 1, 90), 0.0f);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_PROJECTION);
  GLfloat modelView[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, modelView);
  EXPECT_EQ(modelView[0], 1.0f);
  EXPECT_EQ(modelView[12], 0.0f);
  GLint depth = 0;
  glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, 1);  // every push was popped
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(EffectsGl, Droid2IsRandomPerFrameButTheSameOnEveryRun) {
  PartEntry entry = Effect("droid2", 1, 90);
  EffectsState second;
  InitEffects(&second);
  std::vector<std::vector<uint8_t>> first, again;
  for (int i = 0; i < 3; ++i) first.push_back(Draw(&effects_, entry, static_cast<float>(i)));
  for (int i = 0; i < 3; ++i) again.push_back(Draw(&second, entry, static_cast<float>(i)));
  EXPECT_EQ(first, again);
  EXPECT_NE(first[0], first[1]);
}

// The ring members are drawn in one batch, taken to clip coordinates here: the same picture as
// calling the star's list under each member's matrices after setting its colour (a pixel on
// an edge may fall the other way, and interpolating the colour may move a channel by a
// rounding step), the same current values after, and the matrices left as they were.
TEST_F(EffectsGl, RingStarsDrawInOneBatchAsTheirListsWould) {
  const Ob3Mesh& star = effects_.starMesh;
  ASSERT_TRUE(Ob3Drawable(star));
  const float colours[3][3] = {{0.93f, 0.5f, 0.25f}, {0.73f, 0.6f, 0.55f}, {0.53f, 0.7f, 0.85f}};
  auto frame = [&](bool fromList, std::array<float, 3>* texCoordAndNormalZ) {
    ResizeViewport(kWidth, kHeight);
    ClearTo(0.1f, 0.2f, 0.3f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-1.0, 1.0, -1.0, 1.0, 1.0, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(3.0f, -2.0f, 0.0f);  // a modelview of its own, which the batch folds in
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textures_["glow.jpg"]);
    GLfloat projection[16], modelview[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    ClipBatch batch;
    for (int i = 0; i < 3; ++i) {
      const float* colour = colours[i];
      if (fromList) {
        glPushMatrix();
        glTranslatef(-150.0f + 150.0f * i, 40.0f * i - 40.0f, -700.0f);
        glRotatef(30.0f * i + 10.0f, 0.3f, 1.0f, 0.2f);
        glColor3f(colour[0], colour[1], colour[2]);
        glCallList(star.displayList);
        glPopMatrix();
      } else {
        Transform toClip = Transform::Of(projection);
        toClip.Multiply(Transform::Of(modelview));
        toClip.Translate(-150.0f + 150.0f * i, 40.0f * i - 40.0f, -700.0f);
        toClip.Rotate(30.0f * i + 10.0f, 0.3f, 1.0f, 0.2f);
        batch.AddTriangles(toClip, star.cornerPositions.data(), star.cornerTexCoords.data(),
                           star.cornerPositions.size() / 3, colour[0], colour[1], colour[2]);
      }
    }
    if (!fromList) {
      glMatrixMode(GL_PROJECTION);  // the ring effects draw with the projection matrix selected
      batch.Draw();
      GLint mode = 0;
      glGetIntegerv(GL_MATRIX_MODE, &mode);
      EXPECT_EQ(mode, GL_PROJECTION);
      GLfloat projectionAfter[16], modelviewAfter[16];
      glGetFloatv(GL_PROJECTION_MATRIX, projectionAfter);
      glGetFloatv(GL_MODELVIEW_MATRIX, modelviewAfter);
      EXPECT_TRUE(std::equal(projection, projection + 16, projectionAfter));
      EXPECT_TRUE(std::equal(modelview, modelview + 16, modelviewAfter));
      LeaveOb3Current(star, colours[2][0], colours[2][1], colours[2][2]);
    }
    GLfloat colour[4], texCoord[4], normal[3];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord);
    glGetFloatv(GL_CURRENT_NORMAL, normal);
    EXPECT_EQ(colour[0], 0.53f);
    EXPECT_EQ(colour[2], 0.85f);
    *texCoordAndNormalZ = {texCoord[0], texCoord[1], normal[2]};
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY) || glIsEnabled(GL_COLOR_ARRAY) || glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    glDisable(GL_TEXTURE_2D);
    Grab();
    return Frame();
  };
  std::array<float, 3> listLeft{}, batchLeft{};
  const std::vector<uint8_t> list = frame(true, &listLeft);
  const std::vector<uint8_t> batched = frame(false, &batchLeft);
  EXPECT_EQ(listLeft, batchLeft);
  size_t drawn = 0, apart = 0;
  for (size_t i = 0; i < list.size(); i += 4) {
    drawn += list[i] != 26;
    bool differs = false;
    for (int c = 0; c < 3; ++c) differs = differs || std::abs(list[i + c] - batched[i + c]) > 1;
    apart += differs;
  }
  EXPECT_GT(drawn, 200u);
  EXPECT_LE(apart, 0u) << "of " << drawn;

  // A star that never loaded draws nothing, and the colour is set all the same.
  const Ob3Mesh missing;
  EXPECT_FALSE(Ob3Drawable(missing));
  LeaveOb3Current(missing, 0.25f, 0.5f, 0.75f);
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_EQ(colour[1], 0.5f);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// What the driver keeps of a frame until it is done grows with every draw that changes the
// fragment state; a tunnel draws some 480 stars, and each must not bring a new copy of that
// state (with the colour set between draws: 4.5 MB a tunnel of this star at 640 x 480 on the
// software rasterizer the tests run on; 0.2 MB with the colour given with the corners).
TEST(EffectsFrame, ATunnelAddsLittleToTheFrameTheDriverHolds) {
#if defined(__GLIBC__)
  const std::string dir = testimg::FreshDir("tunnel-frame");
  ASSERT_TRUE(testimg::WriteFile(dir + "/data/star.ob3", testshow::StarOb3(2000)));
  DataSourceScope scope(DataSource{nullptr, dir});
  auto display = CreateHeadlessDisplay();
  std::string why;
  ASSERT_TRUE(display->Open({640, 480, false, "test"}, &why)) << why;
  InitGl(640, 480);
  EffectsState effects;
  InitEffects(&effects);
  std::vector<uint8_t> rgba(64 * 64 * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 7 % 251);
  ASSERT_TRUE(testimg::WriteFile(dir + "/data/rings.png", testimg::EncodePng(64, 64, PNG_COLOR_TYPE_RGBA, 8, rgba)));
  TextureTable textures;
  textures["rings.png"] = MakeTexture("data\\rings.png", true, true);
  PartEntry entry;
  entry.background = "rings.png";
  entry.name = "tunnel";
  entry.isEffect = 1;
  entry.speed = 500;
  entry.fieldOfView = 90;
  for (float f : {0.0f, 400.0f, 7300.0f}) {
    EXPECT_LT(DriverFrameGrowth([&] { RunEffect(&effects, textures, entry, f); }), 1u << 20)
        << "bytes held for one tunnel at frame " << f;
  }
  display->Close();
#else
  GTEST_SKIP() << "needs the C library's heap statistics";
#endif
}

}  // namespace

#include "show/effects.h"

#include <GL/gl.h>

#include <cmath>

#include "io/data_file.h"
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

}  // namespace

#include "show/part_renderer.h"

#include <GL/gl.h>

#include "io/data_file.h"
#include "scene/render_globals.h"
#include "scene/scene.h"
#include "show/effects.h"
#include "show/part_rules.h"
#include "show/show_loaders.h"
#include "tests/show/gl_fixture.h"
#include "tests/show/test_show.h"

namespace {

class PartRendering : public GlTest {
 protected:
  void SetUp() override {
    GlTest::SetUp();
    dir_ = testshow::WriteShow("parts");
    scope_ = std::make_unique<DataSourceScope>(DataSource{nullptr, dir_});
    globals_ = std::make_unique<RenderGlobalsScope>(RenderGlobals{});
  }

  // Loads the generated show through the real loaders.
  void LoadShow() {
    GlScriptLoaders loaders(tables_, effects_, [] {});
    ParseScript(tables_, loaders);
    ASSERT_EQ(tables_.failures, std::vector<std::string>{});
  }

  // A timeline of count plain parts showing nothing, for the per-part special cases.
  void PlainParts(int count) {
    tables_.timeline.assign(static_cast<size_t>(count), PartEntry{});
    for (PartEntry& part : tables_.timeline) part.background = part.foreground = "standard";
  }

  // The generated show with 84 plain parts, part 82 showing box.scx's red square at the centre
  // (its frame 30).
  void RedSquareInPart82() {
    LoadShow();
    PlainParts(84);
    tables_.timeline[82].name = "box.scx";
    tables_.timeline[82].startFrame = 30;
  }

  std::shared_ptr<Scene> LoadScene(const std::string& name) {
    TextureTableLookup lookup(tables_.textureTable);
    auto scene = std::make_shared<Scene>();
    scene->Load(("data\\" + name).c_str(), {&lookup, true});
    EXPECT_EQ(scene->LoadProblem(), "");
    return scene;
  }

  // Timeline part 90 draws box.scx, then box.scx again, then extra.scx third in its chain.
  void LatePartWithThreeScenes() {
    std::vector<PartEntry> parts(91);
    for (PartEntry& part : parts) part.background = part.foreground = "standard";
    parts[90].name = "box.scx";
    parts[90].next = 0;
    tables_.timeline = parts;
    PartEntry second, third;
    second.name = "box.scx";
    second.next = 1;
    third.name = "extra.scx";
    tables_.addedEntries = {second, third};
  }

  std::vector<uint8_t> Render(int part, float frames, float showTime = 1.0f, float step = 0.01f) {
    PartRenderer renderer(tables_, effects_);
    renderer.RenderPart(part, frames, showTime, step);
    Grab();
    return Frame();
  }

  std::string dir_;
  std::unique_ptr<DataSourceScope> scope_;
  std::unique_ptr<RenderGlobalsScope> globals_;
  ShowTables tables_;
  EffectsState effects_;
};

TEST_F(PartRendering, Part57FlashesTwoJpgOutThenFadesToBlack) {
  PlainParts(60);
  tables_.textureTable["2.jpg"] = MakeTexture("data\\2.jpg", false, true);
  tables_.textureTable["red.jpg"] = MakeTexture("data\\red.jpg", false, true);
  Render(57, 5.0f);
  EXPECT_RGB_NEAR(At(32, 32), 128, 128, 128, 2);  // brightness 1 - 5 x 0.1
  Render(57, 12.0f);
  EXPECT_RGB_NEAR(At(32, 32), 0, 0, 0, 0);
  Render(56, 5.0f);  // only parts 57 and 58 flash
  EXPECT_RGB_NEAR(At(32, 32), 0, 0, 0, 0);
  // Frame 40: whatever the part drew is darkened to half.
  tables_.timeline[57].background = "red.jpg";
  Render(57, 40.0f);
  EXPECT_RGB_NEAR(At(32, 32), 128, 0, 0, 2);
  Render(57, 50.0f);
  EXPECT_RGB_NEAR(At(32, 32), 0, 0, 0, 0);
}

TEST_F(PartRendering, Part92FadesOverItsFirst128Frames) {
  PlainParts(93);
  tables_.textureTable["red.jpg"] = MakeTexture("data\\red.jpg", false, true);
  tables_.timeline[92].background = "red.jpg";
  Render(92, 64.0f);
  EXPECT_RGB_NEAR(At(10, 10), 128, 0, 0, 2);
  Render(92, 0.0f);
  EXPECT_RGB_NEAR(At(10, 10), 255, 0, 0, 1);
}

TEST_F(PartRendering, ClippingPlanesAndCullingPerPartUpToTheEdgesOfEachRange) {
  PlainParts(94);
  RenderGlobals& g = CurrentRenderGlobals();
  const struct {
    int part;
    float nearPlane, farPlane;
    int culling;
  } cases[] = {{0, 1.0f, 10000.0f, 0},   {1, 1.0f, 10000.0f, 1},    {2, 1.0f, 10000.0f, 0},
               {47, 1.0f, 10000.0f, 0},  {48, 20.0f, 4500.0f, 0},   {49, 1.0f, 10000.0f, 0},
               {55, 1.0f, 10000.0f, 0},  {56, 10.0f, 10000.0f, 0},  {57, 1.0f, 10000.0f, 0},
               {58, 1.0f, 10000.0f, 0},  {59, 0.05f, 10000.0f, 0},  {69, 0.05f, 10000.0f, 0},
               {70, 1.0f, 10000.0f, 0},  {92, 1.0f, 10000.0f, 0}};
  for (const auto& c : cases) {
    Render(c.part, 1.0f);
    EXPECT_EQ(g.NearPlane, c.nearPlane) << c.part;
    EXPECT_EQ(g.FarPlane, c.farPlane) << c.part;
    EXPECT_EQ(g.TransparentCulling, c.culling) << c.part;
  }
}

TEST_F(PartRendering, LaterChainEntriesDrawInFrontAndCamerasMatchBySubstring) {
  LoadShow();
  ASSERT_EQ(tables_.timeline.size(), 4u);
  ASSERT_EQ(tables_.addedEntries.size(), 5u);
  // Timeline part 0 at frame 30: the red square sits at the centre, the green one stands further away
  // but is drawn later on a cleared depth buffer, so it covers the red one.
  Render(0, 30.0f);
  EXPECT_RGB_NEAR(At(32, 32), 0, 255, 0, 2);
  // The part's camera field "cam" picked camera01.
  ASSERT_NE(tables_.sceneTable["box.scx"]->Camera(), nullptr);
  EXPECT_EQ(tables_.sceneTable["box.scx"]->Camera()->name, "camera01");
  // Around the squares the fullscreen image (blue) shows.
  EXPECT_RGB_NEAR(At(1, 1), 0, 0, 200, 4);

  // Without its chained scene the red square shows.
  tables_.timeline[0].next = -1;
  Render(0, 30.0f);
  EXPECT_RGB_NEAR(At(32, 32), 255, 0, 0, 2);
}

TEST_F(PartRendering, MissingNamesAreSkipped) {
  LoadShow();
  tables_.timeline[0].background = "nowhere.jpg";
  tables_.timeline[0].foreground = "nothing.png";
  tables_.addedEntries[0].name = "gone.scx";
  Render(0, 30.0f);
  EXPECT_RGB_NEAR(At(32, 32), 255, 0, 0, 2);
  EXPECT_RGB_NEAR(At(1, 1), 0, 0, 0, 0);
  Render(17, 1.0f);  // an index past the timeline: a black frame
  EXPECT_RGB_NEAR(At(32, 32), 0, 0, 0, 0);
}

TEST_F(PartRendering, TextureBackgroundAndForegroundBothShow) {
  LoadShow();
  tables_.timeline[2].next = -1;  // no effects over it
  tables_.timeline[2].foreground = "standard";
  Render(2, 1.0f);
  EXPECT_RGB_NEAR(At(1, 1), 255, 0, 0, 2);  // red.jpg behind
  tables_.timeline[2].foreground = "green.png";
  Render(2, 1.0f);
  // green.png has no transparent pixel, so its alpha is its brightness (255 / 3 = 85): the
  // foreground blends one third green over the red background.
  EXPECT_RGB_NEAR(At(1, 1), 170, 85, 0, 3);
}

TEST_F(PartRendering, OnlyABackgroundCopiedOverTheWholeFrameTakesThePlaceOfTheClear) {
  PlainParts(3);
  tables_.textureTable["red.jpg"] = MakeTexture("data\\red.jpg", false, true);
  tables_.timeline[1].background = "red.jpg";
  const std::vector<uint8_t> drawn = Render(1, 3.0f);  // no cache: drawn over a cleared frame
  PartRenderer renderer(tables_, effects_);
  renderer.SetGlLookup([this](const char* name) { return display_->GlFunction(name); });
  // Each frame starts from what the last one left: green.
  auto frameOver = [&](int part, bool covers) {
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    renderer.SetViewCoversFrame(covers);
    renderer.RenderPart(part, 3.0f, 1.0f, 0.0f);
    Grab();
    return Frame();
  };
  EXPECT_EQ(frameOver(1, true), drawn);  // the cache is filled
  EXPECT_EQ(frameOver(1, true), drawn);  // and copied in place of the clear
  // No background: the frame is cleared.
  frameOver(0, true);
  EXPECT_RGB_NEAR(At(32, 32), 0, 0, 0, 0);
  // A view with bars beside it: the bars are cleared, the copy fills the view.
  PlaceViewport(8, 0, kWidth - 16, kHeight);
  frameOver(1, false);
  frameOver(1, false);
  EXPECT_RGB_NEAR(At(2, 32), 0, 0, 0, 0);
  EXPECT_RGB_NEAR(At(32, 32), 255, 0, 0, 2);
  PlaceViewport(0, 0, kWidth, kHeight);
}

TEST_F(PartRendering, LogoOverParts16To40AndPart83DropsItsFirstAddedSceneLate) {
  LoadShow();
  std::vector<PartEntry> parts(84);
  for (PartEntry& part : parts) part.background = part.foreground = "standard";
  tables_.timeline = parts;
  tables_.addedEntries.clear();
  tables_.sceneTable[kLogoScene] = LoadScene("box.scx");
  // The logo is drawn at frame show time x 30 - 620: at 21.667 s that is frame 30, the red
  // square at the centre.
  Render(16, 0.0f, 650.0f / 30.0f);
  EXPECT_RGB_NEAR(At(32, 32), 255, 0, 0, 2);
  Render(41, 0.0f, 650.0f / 30.0f);
  EXPECT_RGB_NEAR(At(32, 32), 0, 0, 0, 0);

  tables_.timeline[83].next = 0;
  PartEntry added;
  added.name = "box.scx";
  added.startFrame = 30;
  tables_.addedEntries.push_back(added);
  Render(83, 0.0f, 239.0f);
  EXPECT_RGB_NEAR(At(32, 32), 255, 0, 0, 2);
  Render(83, 0.0f, 239.5f);
  EXPECT_RGB_NEAR(At(32, 32), 0, 0, 0, 0);
}

TEST_F(PartRendering, ThirdChainEntryOfLatePartsKeepsFadingItsFirstStyle) {
  LoadShow();
  LatePartWithThreeScenes();
  Scene& extra = *tables_.sceneTable["extra.scx"];
  Scene& box = *tables_.sceneTable["box.scx"];
  Render(90, 1.0f, 1.0f, 0.25f);
  Render(90, 2.0f, 1.0f, 0.25f);
  EXPECT_FLOAT_EQ(extra.styles[0]->opacity, 0.5f);
  EXPECT_FLOAT_EQ(box.styles[0]->opacity, 1.0f);
  Render(89, 2.0f, 1.0f, 0.25f);  // earlier parts leave it alone
  EXPECT_FLOAT_EQ(extra.styles[0]->opacity, 0.5f);
}

TEST_F(PartRendering, ReplayChangesWhatDrawingChangesButDrawsNothing) {
  LoadShow();
  LatePartWithThreeScenes();
  tables_.timeline[90].camera = "cam";
  Scene& extra = *tables_.sceneTable["extra.scx"];
  Scene& box = *tables_.sceneTable["box.scx"];
  box.SetCamera(nullptr);

  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  PartRenderer renderer(tables_, effects_);
  renderer.ReplayPart(90, 1.0f, 1.0f, 0.25f);
  renderer.ReplayPart(90, 2.0f, 1.0f, 0.25f);
  // The same fade and camera choice as two drawn frames ...
  EXPECT_FLOAT_EQ(extra.styles[0]->opacity, 0.5f);
  ASSERT_NE(box.Camera(), nullptr);
  EXPECT_EQ(box.Camera()->name, "camera01");
  // ... and the frame is untouched: not even cleared.
  Grab();
  EXPECT_RGB_NEAR(At(32, 32), 0, 0, 255, 0);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(PartRendering, TestShowFramesDifferOverTimeAndFromPartToPart) {
  LoadShow();
  std::vector<std::vector<uint8_t>> frames;
  for (int part = 0; part < 3; ++part)
    for (float f : {5.0f, 25.0f, 50.0f}) frames.push_back(Render(part, f, part * 2.0f + f / 30.0f));
  for (size_t i = 0; i < frames.size(); ++i)
    for (size_t j = i + 1; j < frames.size(); ++j) EXPECT_NE(frames[i], frames[j]) << i << " " << j;
  GLint depth = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, 1);
  glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, 1);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(PartRendering, Part58FlashesFourJpgAndAFlashWithoutItsPictureIsWhite) {
  PlainParts(60);
  tables_.textureTable["4.jpg"] = MakeTexture("data\\red.jpg", false, true);
  tables_.textureTable["2.jpg"] = MakeTexture("data\\2.jpg", false, true);
  Render(58, 5.0f);
  EXPECT_RGB_NEAR(At(32, 32), 128, 0, 0, 2);  // 4.jpg (red here) at brightness 0.5
  Render(58, 9.0f);
  EXPECT_RGB_NEAR(At(32, 32), 26, 0, 0, 2);
  // A flash texture that failed to load, or is not in the table at all, draws as texture 0
  // does: plain white at the flash's brightness.
  tables_.textureTable["4.jpg"] = 0;
  Render(58, 5.0f);
  EXPECT_RGB_NEAR(At(32, 32), 128, 128, 128, 2);
  tables_.textureTable.erase("4.jpg");
  Render(58, 2.0f);
  EXPECT_RGB_NEAR(At(32, 32), 204, 204, 204, 2);
  // Part 58 darkens to black after frame 30 like part 57.
  tables_.textureTable["red.jpg"] = MakeTexture("data\\red.jpg", false, true);
  tables_.timeline[58].background = "red.jpg";
  Render(58, 45.0f);
  EXPECT_RGB_NEAR(At(32, 32), 64, 0, 0, 2);
  tables_.timeline[59].background = "red.jpg";
  Render(59, 45.0f);
  EXPECT_RGB_NEAR(At(32, 32), 255, 0, 0, 1);
}

TEST_F(PartRendering, LogoShowsFromPart16ToPart40BothIncluded) {
  LoadShow();
  std::vector<PartEntry> parts(42);
  for (PartEntry& part : parts) part.background = part.foreground = "standard";
  tables_.timeline = parts;
  tables_.sceneTable[kLogoScene] = LoadScene("box.scx");
  for (int part : {15, 16, 40, 41}) {
    Render(part, 0.0f, 650.0f / 30.0f);
    const bool logo = part >= 16 && part <= 40;
    SCOPED_TRACE(part);
    EXPECT_RGB_NEAR(At(32, 32), logo ? 255 : 0, 0, 0, 2);
  }
}

TEST_F(PartRendering, Part69RunsFiveFramesBehindEverywhereInItsFrame) {
  LoadShow();
  std::vector<PartEntry> parts(71);
  for (PartEntry& part : parts) {
    part.background = part.foreground = "standard";
    part.name = "box.scx";
    part.camera = "camera01";
  }
  tables_.timeline = parts;
  // The red square slides from x = -2 at frame 0 to x = 2 at frame 60.
  const std::vector<uint8_t> behind = Render(69, 35.0f);
  EXPECT_EQ(Render(68, 30.0f), behind);
  EXPECT_NE(Render(68, 35.0f), behind);
  EXPECT_EQ(Render(70, 35.0f), Render(68, 35.0f)) << "only part 69 runs behind";
}

TEST_F(PartRendering, Part83DropsOnlyItsFirstChainedEntryAfter239Seconds) {
  LoadShow();
  std::vector<PartEntry> parts(84);
  for (PartEntry& part : parts) part.background = part.foreground = "standard";
  tables_.timeline = parts;
  tables_.timeline[83].next = 0;
  PartEntry first, second;
  first.name = "box.scx";  // the red square at the centre at frame 30
  first.startFrame = 30;
  first.next = 1;
  second.name = "extra.scx";  // a green square behind it, drawn after it on a cleared depth buffer
  second.startFrame = 0;
  tables_.addedEntries = {first, second};
  // Both drawn before 239 s: the green square covers the middle, the red one shows around it.
  Render(83, 0.0f, 238.0f);
  EXPECT_RGB_NEAR(At(32, 32), 0, 255, 0, 2);
  EXPECT_RGB_NEAR(At(32, 26), 255, 0, 0, 2);
  // After it only the red one goes.
  Render(83, 0.0f, 239.5f);
  EXPECT_RGB_NEAR(At(32, 32), 0, 255, 0, 2);
  EXPECT_RGB_NEAR(At(32, 26), 0, 0, 0, 0);
  // Other parts keep the whole chain.
  tables_.timeline[82].next = 0;
  Render(82, 0.0f, 239.5f);
  EXPECT_RGB_NEAR(At(32, 26), 255, 0, 0, 2);
}

// An effect in the chain draws without depth, so it is not given a cleared depth buffer of its
// own; the scene after it still is, and covers the scene before it as in a chain of two scenes.
TEST_F(PartRendering, AfterAnEffectTheNextSceneStillDrawsOnAClearedDepthBuffer) {
  RedSquareInPart82();
  tables_.timeline[82].next = 0;
  PartEntry effect, behind;
  effect.isEffect = true;
  effect.name = "no such effect";  // draws nothing: only the chain's depth handling is looked at
  effect.next = 1;
  behind.name = "extra.scx";  // a green square behind the red one
  tables_.addedEntries = {effect, behind};
  Render(82, 0.0f);
  EXPECT_RGB_NEAR(At(32, 32), 0, 255, 0, 2);
  EXPECT_RGB_NEAR(At(32, 26), 255, 0, 0, 2);
}

// The ring effects leave depth writes off, which would make a plain depth clear do nothing:
// the next frame must still start on a cleared depth buffer, not on the depth last drawn.
TEST_F(PartRendering, AFrameStartsOnAClearedDepthBufferAfterDepthWritesWereLeftOff) {
  RedSquareInPart82();
  tables_.timeline[83].name = "extra.scx";  // the green square, further away
  Render(82, 0.0f);
  EXPECT_RGB_NEAR(At(32, 32), 255, 0, 0, 2);
  glDepthMask(GL_FALSE);  // as a ring effect at the end of a chain leaves it
  Render(83, 0.0f);
  EXPECT_RGB_NEAR(At(32, 32), 0, 255, 0, 2);
  // Which the tunnel does.
  PartEntry tunnel;
  tunnel.isEffect = true;
  tunnel.name = "tunnel";
  tunnel.speed = 100;
  tunnel.fieldOfView = 90;
  glDepthMask(GL_TRUE);
  RunEffect(&effects_, tables_.textureTable, tunnel, 1.0f);
  GLboolean writes = GL_TRUE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &writes);
  EXPECT_FALSE(writes);
}

TEST_F(PartRendering, LatePartsFromNinetyOnFadeTheirThirdEntry) {
  LoadShow();
  LatePartWithThreeScenes();
  tables_.timeline.resize(93);
  for (int part : {91, 92}) {
    tables_.timeline[static_cast<size_t>(part)] = tables_.timeline[90];
    tables_.timeline[static_cast<size_t>(part)].background = "standard";
  }
  Scene& extra = *tables_.sceneTable["extra.scx"];
  Render(91, 1.0f, 1.0f, 0.125f);
  EXPECT_FLOAT_EQ(extra.styles[0]->opacity, 0.875f);
  Render(92, 1.0f, 1.0f, 0.125f);
  EXPECT_FLOAT_EQ(extra.styles[0]->opacity, 0.75f);
}

TEST_F(PartRendering, ReplayAdvancesTheRandomSequenceAsDrawingDoes) {
  LoadShow();
  // Timeline part 2 chains tunnel and droid2.
  EffectsState replayed;
  InitEffects(&replayed);
  PartRenderer drawing(tables_, effects_);
  PartRenderer replaying(tables_, replayed);
  for (int frame = 0; frame < 5; ++frame) {
    drawing.RenderPart(2, static_cast<float>(frame), 4.0f, 0.0f);
    replaying.ReplayPart(2, static_cast<float>(frame), 4.0f, 0.0f);
  }
  EffectRandom fresh;
  for (int i = 0; i < 10; ++i) fresh.Next();
  const int32_t expected = fresh.Next();
  EXPECT_EQ(effects_.random.Next(), expected);
  EXPECT_EQ(replayed.random.Next(), expected);
  // The next drawn frame is the same whether the frames before it were drawn or replayed.
  EXPECT_EQ(Render(2, 6.0f, 4.2f), [&] {
    PartRenderer after(tables_, replayed);
    after.RenderPart(2, 6.0f, 4.2f, 0.0f);
    Grab();
    return Frame();
  }());
}

TEST_F(PartRendering, FirstPartsSecondMeshIsDrawnThroughItsStylesEveryFrame) {
  // A scene of two meshes: the script's last step takes mesh number 1 off its display list and
  // leaves number 0 on it.
  SceneDesc d = testshow::OneSquareScene("first", "red.bmp", 1.0f, {StillVectorKey(0, {0, 0, 0})});
  d.nodes.push_back(scenetest::Square("second", {2, 0, 0}, 0.5f, 0));
  d.nodes.push_back(scenetest::Square("third", {-2, 0, 0}, 0.5f, 0));
  testimg::WriteFile(dir_ + "/data/two.scx", WriteScene(d));
  testimg::WriteFile(dir_ + "/script.txt",
                     testshow::ScriptBytes({"[textures]", "red.jpg", "", "[scenes]", "two.scx", "box.scx", "",
                                            "[part]", "two.scx", "2000", "0", "camera01", "standard", "standard",
                                            "[part]", "box.scx", "4000", "0", "camera01", "standard", "standard", ""}));
  LoadShow();
  Scene& two = *tables_.sceneTable["two.scx"];
  EXPECT_TRUE(two.FindMesh(0)->displayListInUse);
  EXPECT_FALSE(two.FindMesh(1)->displayListInUse);
  EXPECT_TRUE(two.FindMesh(2)->displayListInUse);
  EXPECT_TRUE(tables_.sceneTable["box.scx"]->FindMesh(0)->displayListInUse);
}

}  // namespace

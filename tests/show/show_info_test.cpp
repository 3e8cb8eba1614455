#include <cstdio>
#include <cstdlib>

#include "io/data_file.h"
#include "scene/scene.h"
#include "show/show_loaders.h"
#include "tests/show/gl_fixture.h"
#include "tests/show/test_show.h"

namespace {

class ShowInfo : public GlTest {
 protected:
  // Loads a show written with the given script and returns PrintShowInfo's result and text.
  int Info(const std::vector<std::string>& script, std::string* text, int* swaps = nullptr) {
    std::string dir = testshow::WriteShow("info", script);
    for (const auto& [name, bytes] : extraFiles_) testimg::WriteFile(dir + "/" + name, bytes);
    DataSourceScope scope(DataSource{nullptr, dir});
    int swapCount = 0;
    GlScriptLoaders loaders(tables_, effects_, [&] {
      ++swapCount;
      Grab();  // what the loading screen put up
    });
    ParseScript(tables_, loaders);
    if (swaps) *swaps = swapCount;
    // A temporary file rather than a memory stream: Windows' C runtime has none.
    FILE* out = std::tmpfile();
    if (!out) return -1;
    int result = PrintShowInfo(tables_, out);
    std::fflush(out);
    const long size = std::ftell(out);
    std::rewind(out);
    text->assign(static_cast<size_t>(size > 0 ? size : 0), '\0');
    const size_t got = std::fread(text->data(), 1, text->size(), out);
    text->resize(got);
    std::fclose(out);
    return result;
  }

  ShowTables tables_;
  EffectsState effects_;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> extraFiles_;
};

TEST_F(ShowInfo, TestShowListsItsTimelineAndTablesAndPasses) {
  std::string text;
  int swaps = 0;
  // The test show draws one foreground from a texture (the renderer tests need that path); with
  // it made a fullscreen image, everything is loaded.
  std::vector<std::string> script = testshow::ScriptLines();
  script[3] = "green.png fullscreen";
  EXPECT_EQ(Info(script, &text, &swaps), 0) << text;
  EXPECT_EQ(swaps, 1);  // the loading screen was shown: the grey loading.jpg fills the view
  EXPECT_RGB_NEAR(At(32, 32), 90, 90, 90, 3);
  EXPECT_RGB_NEAR(At(16, 48), 90, 90, 90, 3);
  ASSERT_EQ(tables_.imageTable.count("loading"), 1u);
  EXPECT_EQ(tables_.imageTable["loading"], 0);
  EXPECT_NE(tables_.images[0].texture, 0u);
  EXPECT_EQ(tables_.imageTable["title.jpg"], 1);
  EXPECT_EQ(FindEffect(effects_, "tunnel"), 4);
  EXPECT_NE(effects_.starMesh.displayList, 0u);
  // The first part's second mesh is drawn through its styles every frame; box.scx has one
  // mesh only, so nothing changed there.
  EXPECT_EQ(tables_.sceneTable["box.scx"]->FindMesh(1), nullptr);

  EXPECT_NE(text.find("timeline: 4 parts"), std::string::npos) << text;
  EXPECT_NE(text.find("scene box.scx  camera cam  background title.jpg  foreground standard"), std::string::npos);
  EXPECT_NE(text.find("+ scene extra.scx  start frame 0  camera camera01"), std::string::npos);
  EXPECT_NE(text.find("+ effect droid2  texture glow.jpg  start frame 0  speed 1  field of view 90"),
            std::string::npos);
  EXPECT_NE(text.find("   1  title.jpg"), std::string::npos);
  EXPECT_NE(text.find("   2  green.png"), std::string::npos);
  EXPECT_NE(text.find("everything the script names is loaded"), std::string::npos);
}

TEST_F(ShowInfo, MissingTextureAndOtherBrokenNamesAreReported) {
  std::vector<std::string> script = testshow::ScriptLines();
  script.insert(script.begin() + 1, "absent.jpg");
  // Timeline part 1 gets an added scene that is not in [scenes] and an unknown effect.
  script.insert(script.end() - 1, {"[addpart]", "nowhere.scx", "0", "cam", "[addeffect]", "sparkle", "absent.jpg",
                                   "0", "1", "90"});
  std::string text;
  EXPECT_NE(Info(script, &text), 0);
  EXPECT_NE(text.find("absent.jpg: not found"), std::string::npos) << text;
  EXPECT_NE(text.find("added scene 'nowhere.scx' is not in [scenes]"), std::string::npos) << text;
  EXPECT_NE(text.find("effect 'sparkle' is not a built-in effect"), std::string::npos) << text;
  EXPECT_NE(text.find("absent.jpg  (not loaded)"), std::string::npos) << text;
}

TEST_F(ShowInfo, BrokenSceneAndFullscreenImageAreFailures) {
  std::vector<std::string> script = testshow::ScriptLines();
  script.insert(script.begin() + 1, "ghost.png fullscreen");
  script.insert(script.begin() + 9, "lost.scx");
  std::string text;
  EXPECT_NE(Info(script, &text), 0);
  EXPECT_NE(text.find("ghost.png: not found"), std::string::npos) << text;
  EXPECT_NE(text.find("lost.scx: not found"), std::string::npos) << text;
  // The failed image still has its slot (empty), so later images keep their indices.
  EXPECT_EQ(tables_.imageTable["ghost.png"], 1);
  EXPECT_EQ(tables_.images[1].texture, 0u);
}

TEST_F(ShowInfo, SceneNestedDeeperThanTheMatrixStackIsNamedWithItsDepth) {
  SceneDesc deep = testshow::OneSquareScene("plate", "red.bmp", 1.0f, {StillVectorKey(0, {})});
  NodeDesc* at = &deep.nodes.emplace_back(StillNode(kDummyKind, "branch", {}));
  for (int level = 2; level <= 40; ++level) at = &at->children.emplace_back(StillNode(kDummyKind, "branch", {}));
  extraFiles_ = {{"data/deep.scx", WriteScene(deep)}};
  std::vector<std::string> script = testshow::ScriptLines();
  script.insert(script.begin() + 10, "deep.scx");
  ASSERT_EQ(script[9], "extra.scx");
  std::string text;
  EXPECT_EQ(Info(script, &text), 1);
  GLint capacity = 0;
  glGetIntegerv(GL_MAX_MODELVIEW_STACK_DEPTH, &capacity);
  const std::string expected = "deep.scx: nodes nested 40 levels deep, but the matrix stack takes " +
                               std::to_string(capacity - 2) + ": deeper levels are not drawn";
  EXPECT_NE(text.find(expected), std::string::npos) << text;
  // The scene itself loaded whole.
  ASSERT_TRUE(tables_.sceneTable["deep.scx"]);
  EXPECT_EQ(tables_.sceneTable["deep.scx"]->LoadProblem(), "");
  EXPECT_EQ(tables_.sceneTable["deep.scx"]->Depth(), 40);
}

}  // namespace

// Scene rendering in the headless GL context: camera placement, lighting switch, the light
// pass, opaque and see-through passes, and the guarded failure cases.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cmath>

#include "platform/platform.h"
#include "scene/render_globals.h"
#include "scene_fixtures.h"
using namespace scenetest;

namespace {

constexpr int kWidth = 128;
constexpr int kHeight = 100;

class SceneRender : public ::testing::Test {
 protected:
  void SetUp() override {
    display_ = CreateHeadlessDisplay();
    std::string error;
    if (!display_->Open({kWidth, kHeight, false, "scene test"}, &error)) GTEST_SKIP() << error;
    glViewport(0, 0, kWidth, kHeight);
    glAlphaFunc(GL_GREATER, 0.01f);  // as the player sets it at start-up
    red_ = MakeTexture(255, 0, 0);
    green_ = MakeTexture(0, 255, 0);
    textures_.names = {{"red.jpg", red_}, {"green.png", green_}};
    Clear();
  }
  void TearDown() override {
    if (display_) display_->Close();
  }

  static uint32_t MakeTexture(uint8_t r, uint8_t g, uint8_t b) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    const uint8_t texels[16] = {r, g, b, 255, r, g, b, 255, r, g, b, 255, r, g, b, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 0);
    return name;
  }

  static void Clear() {
    glClearColor(0.0f, 0.0f, 0.25f, 1.0f);
    glClearDepth(1.0);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

  void Load(Scene* scene, const SceneDesc& desc) {
    std::vector<uint8_t> bytes = WriteScene(desc);
    DataFile file;
    file.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
    SceneLoadOptions options;
    options.textures = &textures_;
    scene->LoadFrom(file, options);
    ASSERT_EQ(scene->LoadProblem(), "");
  }

  // RGBA of the pixel at column x, row y counted from the bottom (GL's window coordinates).
  std::array<int, 4> Pixel(int x, int y) {
    uint8_t p[4];
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2], p[3]};
  }
  float Depth(int x, int y) {
    float d = 0;
    glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &d);
    return d;
  }

  // Window position of a world point seen by a camera at (0, -10, 0) looking at the origin
  // with field of view 0.5 and the fixed aspect ratio.
  static void Project(const Vector3& p, int* x, int* y) {
    double fovy = 0.5 * 360.0 * 0.31830989161357204 * M_PI / 180.0;
    double f = 1.0 / std::tan(fovy / 2.0);
    double distance = p.y + 10.0;
    double ndcX = f / 1.2769230769230768 * p.x / distance;
    double ndcY = f * p.z / distance;
    *x = static_cast<int>((ndcX + 1.0) / 2.0 * kWidth);
    *y = static_cast<int>((ndcY + 1.0) / 2.0 * kHeight);
  }

  static SceneDesc Stage() {
    SceneDesc d;
    AddCamera(&d, "cam", {0, -10, 0}, {0, 0, 0});
    d.materials.push_back(TextureMaterial("red", "C:\\maps\\RED.BMP", 1.0f));
    d.materials.push_back(TextureMaterial("green", "green.bmp", 1.0f));
    d.materials.push_back(TextureMaterial("ghost", "red.bmp", 0.5f));
    return d;
  }

  std::unique_ptr<HeadlessDisplay> display_;
  TextureMapLookup textures_;
  uint32_t red_ = 0, green_ = 0;
};

const std::array<int, 4> kBackground = {0, 0, 64, 255};

}  // namespace

TEST_F(SceneRender, TexturedMeshLandsWhereTheCameraSaysAndRollTurnsAboutWorldZ) {
  SceneDesc d = Stage();
  const Vector3 centre(2, 0, 1);
  d.nodes.push_back(Square("sq", centre, 0.5f, 0));
  Scene scene;
  Load(&scene, d);
  scene.Render(0.0f, nullptr);
  int x, y;
  Project(centre, &x, &y);
  EXPECT_EQ(Pixel(x, y), (std::array<int, 4>{255, 0, 0, 255}));
  EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), kBackground);
  int left, below;
  Project(centre - Vector3(0.7f, 0, 0.7f), &left, &below);
  EXPECT_EQ(Pixel(left, below), kBackground);
  // A horizontal view keeps its up vector along z: roll about world z changes nothing.
  auto* cam = scene.Camera();
  cam->rollTrack.keys[0].value = 1.3f;
  Clear();
  scene.Render(0.0f, nullptr);
  EXPECT_EQ(Pixel(x, y), (std::array<int, 4>{255, 0, 0, 255}));
  // The view sits in the projection matrix; the modelview is left at identity.
  float mv[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, mv);
  EXPECT_EQ(mv[12], 0.0f);
  EXPECT_EQ(mv[0], 1.0f);
}

TEST_F(SceneRender, WithoutLightNodesTheSceneIsFlatAndUnlit) {
  SceneDesc d = Stage();
  d.nodes.push_back(Square("sq", {0, 0, 0}, 1.0f, 0));
  Scene scene;
  Load(&scene, d);
  glEnable(GL_LIGHTING);
  scene.Render(0.0f, nullptr);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  GLint shade = 0;
  glGetIntegerv(GL_SHADE_MODEL, &shade);
  EXPECT_EQ(shade, GL_FLAT);
  EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), (std::array<int, 4>{255, 0, 0, 255}));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(SceneRender, LightsAreLitAtTwiceTheirPositionAndOnlyEightAreSetUp) {
  SceneDesc d = Stage();
  d.nodes.push_back(Square("sq", {0, 0, 0}, 1.0f, 0));
  d.nodes.push_back(StillNode(kLightKind, "lamp", {1, 2, 3}));
  Scene one;
  Load(&one, d);
  one.Render(0.0f, nullptr);
  EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
  GLint shade = 0;
  glGetIntegerv(GL_SHADE_MODEL, &shade);
  EXPECT_EQ(shade, GL_SMOOTH);
  float position[4];
  glGetLightfv(GL_LIGHT0, GL_POSITION, position);
  EXPECT_FLOAT_EQ(position[0], 2.0f);  // the matrix and the position both translate
  EXPECT_FLOAT_EQ(position[1], 4.0f);
  EXPECT_FLOAT_EQ(position[2], 6.0f);
  EXPECT_FLOAT_EQ(position[3], 1.0f);
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));  // switched off again after the frame

  SceneDesc many = Stage();
  for (int i = 0; i < 10; ++i) {
    NodeDesc lamp = StillNode(kLightKind, "lamp", {static_cast<float>(i + 1), 0, 0});
    lamp.colour[0] = 0.1f * static_cast<float>(i);
    many.nodes.push_back(lamp);
  }
  Scene ten;
  Load(&ten, many);
  while (glGetError() != GL_NO_ERROR) {
  }
  ten.Render(0.0f, nullptr);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  EXPECT_EQ(ten.lightCount, 10);
  EXPECT_EQ(ten.enabledLights, 8);
  glGetLightfv(GL_LIGHT7, GL_POSITION, position);
  EXPECT_FLOAT_EQ(position[0], 16.0f);
  for (int i = 0; i < 8; ++i) EXPECT_FALSE(glIsEnabled(static_cast<GLenum>(GL_LIGHT0 + i)));
}

TEST_F(SceneRender, OpaqueMeshesFirstThenSeeThroughWithDepthWritesOff) {
  SceneDesc d = Stage();
  // The see-through square comes first in the tree and stands in front; drawn in the later
  // pass it adds half its red onto the green behind it and leaves the depth of the green.
  d.nodes.push_back(Square("ghost", {0, -2, 0}, 1.0f, 2));
  d.nodes.push_back(Square("wall", {0, 0, 0}, 1.0f, 1));
  Scene scene;
  Load(&scene, d);
  ASSERT_TRUE(scene.FindMesh(0)->transparent);
  ASSERT_FALSE(scene.FindMesh(1)->transparent);
  scene.Render(0.0f, nullptr);
  auto p = Pixel(kWidth / 2, kHeight / 2);
  EXPECT_NEAR(p[0], 128, 2);
  EXPECT_EQ(p[1], 255);
  float wallDepth = Depth(kWidth / 2, kHeight / 2);
  EXPECT_LT(wallDepth, 1.0f);
  GLboolean mask = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
  EXPECT_EQ(mask, GL_TRUE);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));

  // Alone, the see-through square colours the frame but writes no depth.
  SceneDesc alone = Stage();
  alone.nodes.push_back(Square("ghost", {0, -2, 0}, 1.0f, 2));
  Scene ghost;
  Load(&ghost, alone);
  Clear();
  ghost.Render(0.0f, nullptr);
  EXPECT_NEAR(Pixel(kWidth / 2, kHeight / 2)[0], 128, 2);
  EXPECT_EQ(Depth(kWidth / 2, kHeight / 2), 1.0f);
}

TEST_F(SceneRender, OpaqueMeshesAreDrawnNearestFirstUnlessTheyBlend) {
  auto genQueries = reinterpret_cast<PFNGLGENQUERIESPROC>(display_->GlFunction("glGenQueries"));
  auto beginQuery = reinterpret_cast<PFNGLBEGINQUERYPROC>(display_->GlFunction("glBeginQuery"));
  auto endQuery = reinterpret_cast<PFNGLENDQUERYPROC>(display_->GlFunction("glEndQuery"));
  auto queryResult = reinterpret_cast<PFNGLGETQUERYOBJECTUIVPROC>(display_->GlFunction("glGetQueryObjectuiv"));
  auto deleteQueries = reinterpret_cast<PFNGLDELETEQUERIESPROC>(display_->GlFunction("glDeleteQueries"));
  if (!genQueries || !beginQuery || !endQuery || !queryResult || !deleteQueries) GTEST_SKIP() << "no occlusion queries";
  // Fragments that passed the depth test while the scene was drawn.
  auto samplesPassed = [&](Scene& scene, const SceneBlend* blend) {
    GLuint query = 0, samples = 0;
    genQueries(1, &query);
    beginQuery(GL_SAMPLES_PASSED, query);
    scene.Render(0.0f, blend);
    endQuery(GL_SAMPLES_PASSED);
    queryResult(query, GL_QUERY_RESULT, &samples);
    deleteQueries(1, &query);
    return samples;
  };
  const std::array<int, 4> red = {255, 0, 0, 255}, green = {0, 255, 0, 255};

  // In tree order a wall far behind, then a small square in front of it on a node of its own.
  SceneDesc d = Stage();
  d.nodes.push_back(Square("far", {0, 2, 0}, 2.0f, 1));
  NodeDesc holder = StillNode(kDummyKind, "holder", {0.5f, 0, 0});
  holder.children.push_back(Square("near", {0, -2, 0}, 0.5f, 0));
  d.nodes.push_back(holder);
  Scene scene;
  Load(&scene, d);
  const GLuint samples = samplesPassed(scene, nullptr);
  std::vector<uint8_t> frame(kWidth * kHeight * 4);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
  GLuint covered = 0, nearArea = 0;
  for (size_t i = 0; i < frame.size(); i += 4) {
    std::array<int, 4> p = {frame[i], frame[i + 1], frame[i + 2], frame[i + 3]};
    if (p != kBackground) ++covered;
    if (p == red) ++nearArea;
  }
  ASSERT_GT(nearArea, 100u);
  ASSERT_GT(covered, 2 * nearArea);
  // The square went first, with its ancestors' matrix: the wall's fragments behind it failed
  // the depth test before they were shaded, and the picture is the one the tree order draws.
  EXPECT_EQ(samples, covered);
  int x, y;
  Project({0.5f, -2, 0}, &x, &y);
  EXPECT_EQ(Pixel(x, y), red);
  Project({-1.5f, 2, 1.5f}, &x, &y);
  EXPECT_EQ(Pixel(x, y), green);

  // Replacing (one, zero) blending leaves the order free; adding does not: both draw in full.
  // The matrix stack is left as the walk leaves it.
  auto expectModelviewLeftAlone = [] {
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0f : 0.0f);
  };
  expectModelviewLeftAlone();
  Clear();
  SceneBlend replace{GL_ONE, GL_ZERO, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 1.0f};
  EXPECT_EQ(samplesPassed(scene, &replace), covered);
  expectModelviewLeftAlone();
  Clear();
  SceneBlend add{GL_ONE, GL_ONE, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 1.0f};
  EXPECT_EQ(samplesPassed(scene, &add), covered + nearArea);
}

// An opaque mesh the nearer ones hide whole is not drawn; the picture is the same as with every
// mesh drawn (a scissor test, which the hidden-mesh test stays out of, draws them all).
TEST_F(SceneRender, OpaqueMeshesHiddenBehindNearerOnesAreLeftOutWithTheSamePicture) {
  SceneDesc d = Stage();
  d.nodes.push_back(Square("hidden", {0.2f, 2, 0.1f}, 0.5f, 0));  // red, behind the wall
  d.nodes.push_back(Square("wall", {0, -2, 0}, 2.5f, 1));         // green, near
  d.nodes.push_back(Square("peeking", {4.5f, 2, 0}, 0.5f, 0));    // red, beside the wall
  d.nodes.push_back(Square("back", {0, 8, 0}, 12.0f, 1));         // farthest, round it all
  Scene scene;
  Load(&scene, d);
  auto frame = [&](bool scissor) {
    Clear();
    if (scissor) {
      glEnable(GL_SCISSOR_TEST);
      glScissor(0, 0, kWidth, kHeight);
    }
    scene.Render(0.0f, nullptr);
    glDisable(GL_SCISSOR_TEST);
    std::vector<uint8_t> pixels(kWidth * kHeight * 4);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
  };
  const std::vector<uint8_t> everything = frame(true);
  EXPECT_EQ(scene.HiddenMeshesSkipped(), 0);
  const std::vector<uint8_t> culled = frame(false);
  EXPECT_EQ(scene.HiddenMeshesSkipped(), 1);
  EXPECT_EQ(culled, everything);
  int x, y;
  Project({4.5f, 2, 0}, &x, &y);
  EXPECT_EQ(Pixel(x, y), (std::array<int, 4>{255, 0, 0, 255}));

  // Moved out from behind the wall, it is drawn.
  d.nodes[2] = Square("hidden", {3.5f, 2, 0.1f}, 0.5f, 0);
  Scene moved;
  Load(&moved, d);
  Clear();
  moved.Render(0.0f, nullptr);
  EXPECT_EQ(moved.HiddenMeshesSkipped(), 0);

  // A wall turned away from the eye is culled: it hides nothing.
  d.nodes[2] = Square("hidden", {0.2f, 2, 0.1f}, 0.5f, 0);
  // Each face's corners the other way round, still as one quadrilateral (a, b, c), (a, c, d).
  std::vector<MeshFace>& faces = d.nodes[3].faces;
  for (MeshFace& face : faces) std::swap(face.corners[1], face.corners[2]);
  std::swap(faces[0], faces[1]);
  Scene turned;
  Load(&turned, d);
  Clear();
  turned.Render(0.0f, nullptr);
  EXPECT_EQ(turned.HiddenMeshesSkipped(), 0);
  Project({0.2f, 2, 0.1f}, &x, &y);
  EXPECT_EQ(Pixel(x, y), (std::array<int, 4>{255, 0, 0, 255}));
}

TEST_F(SceneRender, MeshesDrawnThroughStylesFollowOpacityAndMorphKeys) {
  SceneDesc d = Stage();
  NodeDesc morph = Square("morph", {0, 0, 0}, 0.5f, 0);
  MorphKey a, b;
  a.frame = 0;
  a.value = morph.vertices;
  b.frame = 10;
  for (const Vector3& v : morph.vertices) b.value.push_back(v + Vector3(2, 0, 0));
  morph.morph = {a, b};
  d.nodes.push_back(morph);
  d.nodes.push_back(Square("static", {-2, 0, 0}, 0.5f, 1));
  Scene scene;
  Load(&scene, d);
  EXPECT_FALSE(scene.FindMesh(0)->displayListInUse);  // morph keys: never compiled
  EXPECT_TRUE(scene.FindMesh(1)->displayListInUse);
  scene.Render(10.0f, nullptr);
  int x, y;
  Project({2, 0, 0}, &x, &y);
  EXPECT_EQ(Pixel(x, y)[0], 255);
  EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), kBackground);

  // Drawn through its style every frame, a group whose opacity fell to 0 disappears.
  MeshNode* still = scene.FindMesh(1);
  still->displayListInUse = false;
  Project({-2, 0, 0}, &x, &y);
  Clear();
  scene.Render(10.0f, nullptr);
  EXPECT_EQ(Pixel(x, y)[1], 255);
  scene.styles[1]->opacity = 0.0f;
  Clear();
  scene.Render(10.0f, nullptr);
  EXPECT_EQ(Pixel(x, y), kBackground);
}

TEST_F(SceneRender, MissingCameraOrTargetDrawsNothingAndDegenerateViewsStayFinite) {
  SceneDesc d;
  d.materials.push_back(TextureMaterial("red", "red.bmp", 1.0f));
  d.nodes.push_back(Square("sq", {0, 0, 0}, 5.0f, 0));
  Scene noCamera;
  Load(&noCamera, d);
  noCamera.Render(0.0f, nullptr);
  noCamera.Render(1.0f, nullptr);
  EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), kBackground);

  d.nodes.push_back(StillNode(kCameraKind, "cam", {0, -10, 0}));
  Scene noTarget;
  Load(&noTarget, d);
  ASSERT_NE(noTarget.Camera(), nullptr);
  noTarget.Render(0.0f, nullptr);
  EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), kBackground);

  // Eye on the target, and a view straight down the z axis.
  for (const Vector3& eye : {Vector3(0, 0, 0), Vector3(0, 0, 10)}) {
    SceneDesc v;
    AddCamera(&v, "cam", eye, {0, 0, 0});
    Scene scene;
    Load(&scene, v);
    scene.Render(0.0f, nullptr);
    float m[16];
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    for (float e : m) EXPECT_TRUE(std::isfinite(e));
  }
}

TEST_F(SceneRender, BlendSettingsSetTheCallersFactorsAndAlpha) {
  SceneDesc d = Stage();
  d.nodes.push_back(Square("wall", {0, 0, 0}, 1.0f, 1));
  Scene scene;
  Load(&scene, d);
  SceneBlend blend{GL_ONE, GL_ZERO, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, 0.5f};
  scene.Render(0.0f, &blend);
  GLint src = 0, dst = 0;
  glGetIntegerv(GL_BLEND_SRC, &src);
  glGetIntegerv(GL_BLEND_DST, &dst);
  EXPECT_EQ(src, GL_SRC_ALPHA);
  EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  float colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_FLOAT_EQ(colour[3], 1.0f);  // the display-list call set the style's own opacity
}

TEST_F(SceneRender, LineDualAndReflectionStyles) {
  SceneDesc d = Stage();
  MaterialDesc plain;  // no maps: white lines
  plain.name = "plain";
  MaterialDesc dual = TextureMaterial("dual", "red.bmp", 1.0f);
  dual.maps[kReflectionMapSlot] = {"green.bmp", 1.0f};
  MaterialDesc chrome;
  chrome.name = "chrome";
  chrome.maps[kReflectionMapSlot] = {"green.bmp", 1.0f};
  d.materials.push_back(plain);   // 3
  d.materials.push_back(dual);    // 4
  d.materials.push_back(chrome);  // 5
  d.nodes.push_back(Square("lines", {-2, 0, 0}, 0.5f, 3));
  d.nodes.push_back(Square("dual", {0, 0, 0}, 0.5f, 4));
  d.nodes.push_back(Square("chrome", {2, 0, 0}, 0.5f, 5));
  Scene scene;
  Load(&scene, d);
  scene.Render(0.0f, nullptr);
  int x, y;
  // The corners form one line list: the pair (2, 0) runs through the square's centre.
  Project({-2, 0, 0}, &x, &y);
  bool white = false;
  for (int dx = -1; dx <= 1; ++dx) {
    for (int dy = -1; dy <= 1; ++dy) white = white || Pixel(x + dx, y + dy) == std::array<int, 4>{255, 255, 255, 255};
  }
  EXPECT_TRUE(white);
  Project({-2, 0, -0.25f}, &x, &y);
  EXPECT_EQ(Pixel(x + 3, y), kBackground);  // no filled faces
  Project({0, 0, 0}, &x, &y);
  EXPECT_EQ(Pixel(x, y), kBackground);  // texture and reflection together draw nothing
  Project({2, 0, 0}, &x, &y);
  EXPECT_EQ(Pixel(x, y)[1], 255);  // sphere-mapped green
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(SceneRender, TransparentCullingKeepsSeeThroughBackFacesCulled) {
  SceneDesc d;
  AddCamera(&d, "cam", {0, 10, 0}, {0, 0, 0});  // behind the square: it shows its back
  d.materials.push_back(TextureMaterial("ghost", "red.bmp", 0.5f));
  d.materials.push_back(TextureMaterial("solid", "red.bmp", 1.0f));
  d.nodes.push_back(Square("ghost", {0, 0, 0}, 1.0f, 0));
  Scene scene;
  Load(&scene, d);
  // A compiled display list keeps the culling in force when it was compiled; the flag acts on
  // meshes drawn through their styles every frame.
  scene.FindMesh(0)->displayListInUse = false;
  RenderGlobals values;
  values.TransparentCulling = 0;
  {
    RenderGlobalsScope scope(values);
    scene.Render(0.0f, nullptr);
  }
  // Drawn through its style the group adds at the current colour's alpha (1 here): the style's
  // opacity only chooses the see-through state, it is not applied as a colour.
  EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), (std::array<int, 4>{255, 0, 64, 255}));
  values.TransparentCulling = 1;
  Clear();
  {
    RenderGlobalsScope scope(values);
    scene.Render(0.0f, nullptr);
  }
  EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), kBackground);
  // An opaque textured group is always culled from behind.
  scene.styles[0]->opacity = 1.0f;
  scene.FindMesh(0)->transparent = false;
  Clear();
  scene.Render(0.0f, nullptr);
  EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), kBackground);
}

TEST_F(SceneRender, FadedOutSeeThroughListsSkipTheirFacesAndLeaveTheSameState) {
  SceneDesc d = Stage();
  d.nodes.push_back(Square("ghost", {0, -2, 0}, 1.0f, 2));
  d.nodes.push_back(Square("wall", {3, 0, 0}, 1.0f, 1));
  Scene scene;
  Load(&scene, d);
  EXPECT_NE(scene.FindMesh(0)->stateList, 0u);
  EXPECT_EQ(scene.FindMesh(1)->stateList, 0u);  // an opaque group shows whatever the alpha

  struct State {
    GLint texture = 0, source = 0, destination = 0;
    GLboolean depthMask = GL_FALSE, alphaTest = GL_FALSE, blend = GL_FALSE, cull = GL_FALSE;
    bool operator==(const State&) const = default;
  };
  auto state = [] {
    State s;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture);
    glGetIntegerv(GL_BLEND_SRC, &s.source);
    glGetIntegerv(GL_BLEND_DST, &s.destination);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depthMask);
    s.alphaTest = glIsEnabled(GL_ALPHA_TEST);
    s.blend = glIsEnabled(GL_BLEND);
    s.cull = glIsEnabled(GL_CULL_FACE);
    return s;
  };
  scene.Render(0.0f, nullptr);
  EXPECT_NEAR(Pixel(kWidth / 2, kHeight / 2)[0], 128, 2);
  const State drawn = state();

  // The fade lowers the style's opacity below 0: nothing of the square shows, and the GL is
  // left as the full list leaves it.
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_ALPHA_TEST);
  scene.styles[2]->opacity = -0.25f;
  Clear();
  scene.Render(0.0f, nullptr);
  EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), kBackground);
  EXPECT_EQ(state(), drawn);

  // Lit, the alpha comes from the material, not the colour: the square still shows.
  SceneDesc lit = d;
  NodeDesc lamp = StillNode(kLightKind, "lamp", {0, -4, 0});
  lamp.colour[0] = lamp.colour[1] = lamp.colour[2] = 1.0f;
  lit.nodes.push_back(lamp);
  Scene litScene;
  Load(&litScene, lit);
  litScene.styles[2]->opacity = 0.0f;
  Clear();
  litScene.Render(0.0f, nullptr);
  EXPECT_GT(Pixel(kWidth / 2, kHeight / 2)[0], 0);
}

namespace {

// Window position of a world point as the design's camera sees it, computed from scratch: view
// direction d, side (d.y, -d.x, 0), up = side x d turned by the roll about the world z axis,
// the look-at and a perspective of constant aspect 1.2769230769230768, mapped onto the viewport.
void ReferenceProject(const Vector3& eye, const Vector3& target, double roll, double fovTrack, const Vector3& p,
                      int vx, int vy, int vw, int vh, double* wx, double* wy) {
  auto norm = [](double v[3]) {
    double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int i = 0; i < 3; ++i) v[i] /= l;
  };
  auto cross = [](const double a[3], const double b[3], double r[3]) {
    r[0] = a[1] * b[2] - a[2] * b[1];
    r[1] = a[2] * b[0] - a[0] * b[2];
    r[2] = a[0] * b[1] - a[1] * b[0];
  };
  double d[3] = {target.x - eye.x, target.y - eye.y, target.z - eye.z};
  norm(d);
  double side[3] = {d[1], -d[0], 0};
  norm(side);
  double up0[3];
  cross(side, d, up0);
  norm(up0);
  double up[3] = {std::cos(roll) * up0[0] - std::sin(roll) * up0[1], std::sin(roll) * up0[0] + std::cos(roll) * up0[1],
                  up0[2]};
  // gluLookAt: forward f, s = f x up, u = s x f.
  double s[3], u[3];
  cross(d, up, s);
  norm(s);
  cross(s, d, u);
  double rel[3] = {p.x - eye.x, p.y - eye.y, p.z - eye.z};
  double xe = s[0] * rel[0] + s[1] * rel[1] + s[2] * rel[2];
  double ye = u[0] * rel[0] + u[1] * rel[1] + u[2] * rel[2];
  double ze = -(d[0] * rel[0] + d[1] * rel[1] + d[2] * rel[2]);
  double fovy = fovTrack * 360.0 * 0.31830989161357204 * M_PI / 180.0;
  double f = 1.0 / std::tan(fovy / 2.0);
  double ndcX = f / 1.2769230769230768 * xe / -ze;
  double ndcY = f * ye / -ze;
  *wx = vx + (ndcX + 1.0) / 2.0 * vw;
  *wy = vy + (ndcY + 1.0) / 2.0 * vh;
}

// A chain of `levels` dummy nodes standing still at the origin, each the child of the one before;
// `leaf`, if given, hangs below the last.
NodeDesc DummyChain(int levels, const NodeDesc* leaf = nullptr) {
  std::vector<NodeDesc> chain;
  for (int i = 0; i < levels; ++i) chain.push_back(StillNode(kDummyKind, "link" + std::to_string(i), {}));
  if (leaf) chain.back().children.push_back(*leaf);
  for (int i = levels - 1; i > 0; --i) chain[static_cast<size_t>(i - 1)].children.push_back(chain[static_cast<size_t>(i)]);
  return chain[0];
}

}  // namespace

TEST_F(SceneRender, NestedNodesMultiplyTheirAncestorsMatrices) {
  SceneDesc d = Stage();
  NodeDesc outer = StillNode(kDummyKind, "outer", {2, 0, 0});
  NodeDesc inner = StillNode(kDummyKind, "inner", {0, 0, 1.5f});
  inner.children.push_back(Square("sq", {-1, 0, 0}, 0.3f, 0));
  outer.children.push_back(inner);
  d.nodes.push_back(outer);
  Scene scene;
  Load(&scene, d);
  scene.Render(0.0f, nullptr);
  int x, y;
  Project({1, 0, 1.5f}, &x, &y);  // (2, 0, 0) + (0, 0, 1.5) + (-1, 0, 0)
  EXPECT_EQ(Pixel(x, y), (std::array<int, 4>{255, 0, 0, 255}));
  Project({-1, 0, 0}, &x, &y);  // where the mesh would stand with its own matrix alone
  EXPECT_EQ(Pixel(x, y), kBackground);
  GLint depth = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
  EXPECT_EQ(depth, 1);
}

TEST_F(SceneRender, RollTurnsTheUpVectorAboutWorldZForALookingDownView) {
  // The camera looks down at the origin from above and behind: rolling about world z is not
  // rolling about the view direction.
  const Vector3 eye(0, -8, 6), centre(1.5f, 0, 0.8f);
  for (float roll : {0.0f, 0.9f}) {
    SceneDesc d;
    AddCamera(&d, "cam", eye, {0, 0, 0});
    d.nodes[0].roll = {StillScalarKey(0, roll)};
    d.materials.push_back(TextureMaterial("red", "red.bmp", 1.0f));
    d.nodes.push_back(Square("sq", centre, 0.3f, 0));
    Scene scene;
    Load(&scene, d);
    Clear();
    scene.Render(0.0f, nullptr);
    double wx, wy;
    ReferenceProject(eye, {0, 0, 0}, roll, 0.5, centre, 0, 0, kWidth, kHeight, &wx, &wy);
    EXPECT_EQ(Pixel(static_cast<int>(wx), static_cast<int>(wy)), (std::array<int, 4>{255, 0, 0, 255})) << roll;
    if (roll != 0.0f) {
      double x0, y0;
      ReferenceProject(eye, {0, 0, 0}, 0.0, 0.5, centre, 0, 0, kWidth, kHeight, &x0, &y0);
      ASSERT_GT(std::hypot(wx - x0, wy - y0), 6.0);  // the roll moves the square visibly
      EXPECT_EQ(Pixel(static_cast<int>(x0), static_cast<int>(y0)), kBackground);
    }
  }
}

TEST_F(SceneRender, AspectRatioIsTheFixedOneWhateverTheViewport) {
  // A wide, low viewport: the picture is squeezed, not widened to the window's shape.
  const int vw = 128, vh = 30;
  glViewport(0, 0, vw, vh);
  SceneDesc d = Stage();
  const Vector3 centre(2.5f, 0, 0);
  d.nodes.push_back(Square("sq", centre, 1.0f, 0));
  Scene scene;
  Load(&scene, d);
  scene.Render(0.0f, nullptr);
  double wx, wy;
  ReferenceProject({0, -10, 0}, {0, 0, 0}, 0.0, 0.5, centre, 0, 0, vw, vh, &wx, &wy);
  EXPECT_EQ(Pixel(static_cast<int>(wx), static_cast<int>(wy)), (std::array<int, 4>{255, 0, 0, 255}));
  // With the viewport's own aspect (4.3) the square would stand at x = 68 to 74.
  EXPECT_GT(wx, 80.0);
  EXPECT_EQ(Pixel(71, static_cast<int>(wy)), kBackground);
}

TEST_F(SceneRender, BranchesDeeperThanTheMatrixStackLoseOnlyTheirDeepestLevels) {
  GLint capacity = 0;
  glGetIntegerv(GL_MAX_MODELVIEW_STACK_DEPTH, &capacity);
  ASSERT_LT(capacity, 40);
  // The part renderer pushes once before a chained scene draws; levels from here: capacity - 2.
  const int levels = capacity - 2;

  SceneDesc plain = Stage();
  plain.nodes.push_back(Square("after", {1, 0, 0}, 0.5f, 1));
  SceneDesc deep = Stage();
  deep.nodes.push_back(DummyChain(40));
  deep.nodes.push_back(Square("after", {1, 0, 0}, 0.5f, 1));
  Scene without, with;
  Load(&without, plain);
  Load(&with, deep);
  EXPECT_EQ(with.Depth(), 40);
  EXPECT_EQ(without.Depth(), 1);

  while (glGetError() != GL_NO_ERROR) {
  }
  auto drawPushed = [&](Scene& scene) {
    Clear();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    scene.Render(0.0f, nullptr);
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 2) << "the stack is left as it was found";
    glPopMatrix();
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
  };
  std::vector<uint8_t> reference = drawPushed(without);
  EXPECT_EQ(drawPushed(with), reference);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  // A mesh on the deepest level that fits is drawn; one level further it is not.
  NodeDesc leaf = Square("leaf", {-1, 0, 0}, 0.5f, 0);
  for (int chain : {levels - 1, levels}) {
    SceneDesc d = Stage();
    d.nodes.push_back(DummyChain(chain, &leaf));
    Scene scene;
    Load(&scene, d);
    EXPECT_EQ(scene.Depth(), chain + 1);
    std::vector<uint8_t> pixels = drawPushed(scene);
    int x, y;
    Project({-1, 0, 0}, &x, &y);
    const uint8_t red = pixels[(static_cast<size_t>(y) * kWidth + x) * 4];
    EXPECT_EQ(red, chain + 1 <= levels ? 255 : 0) << "mesh on level " << chain + 1;
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  }
}

// Scene files: the writer/loader round trip, tree and link-up rules, materials and styles,
// normals and node matrices, and malformed files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "scene_fixtures.h"
using namespace scenetest;

namespace {

// Offset of the first int32 equal to value at or after from.
size_t FindInt(const std::vector<uint8_t>& bytes, int32_t value, size_t from = 0) {
  for (size_t i = from; i + 4 <= bytes.size(); ++i) {
    int32_t v;
    std::memcpy(&v, &bytes[i], 4);
    if (v == value) return i;
  }
  return std::string::npos;
}

void PutInt(std::vector<uint8_t>* bytes, size_t at, int32_t value) { std::memcpy(bytes->data() + at, &value, 4); }

SceneDesc RichScene() {
  SceneDesc d;
  d.headerWord1 = 0;
  AddCamera(&d, "Camera01", {0, -10, 0}, {0, 0, 0});
  NodeDesc mesh = Square("Box", {1, 2, 3}, 1.0f, 0);
  mesh.position.push_back(StillVectorKey(40, {5, 6, 7}));
  mesh.position[1].tension = 0.25f;
  mesh.position[1].extra1 = 9.0f;
  mesh.visibility = {0, 20};
  MorphKey mk;
  mk.frame = 3;
  mk.value = mesh.vertices;
  mesh.morph = {mk};
  NodeDesc child = StillNode(kDummyKind, "Hinge", {0, 0, 1});
  child.rotation[0].value = Quaternion(0.5f, 0.5f, 0.5f, 0.5f);
  mesh.children.push_back(child);
  d.nodes.push_back(mesh);
  NodeDesc spot = StillNode(kTargetLightKind, "Spot", {1, 1, 1});
  spot.colour[1] = 0.5f;
  spot.firstScalar = {StillScalarKey(0, 30.0f)};
  d.nodes.push_back(spot);
  d.nodes.push_back(StillNode(kTargetKind, "Spot", {0, 0, 0}));
  NodeDesc lamp = StillNode(kLightKind, "Lamp", {1, 2, 3});
  lamp.colour[0] = 0.25f;
  d.nodes.push_back(lamp);
  d.materials.push_back(TextureMaterial("Stone", "C:\\Maps\\Stone.BMP", 1.0f));
  MaterialDesc chrome;
  chrome.name = "Chrome";
  chrome.maps[kReflectionMapSlot] = {"env.bmp", 0.75f};
  chrome.maps[3] = {"bump.bmp", 2.0f};  // slot without a role: kept only
  d.materials.push_back(chrome);
  return d;
}

}  // namespace

TEST(SceneFile, WriterAndLoaderRoundTripThroughDataFile) {
  SceneDesc desc = RichScene();
  std::vector<uint8_t> bytes = WriteScene(desc);
  MemoryArchive archive;
  archive.Add("DATA\\rich.scx", bytes);
  DataSourceScope source({&archive, ""});
  TextureMapLookup textures;
  textures.names = {{"stone.jpg", 7}, {"env.png", 9}};
  Scene scene;
  SceneLoadOptions options;
  options.textures = &textures;
  options.compileDisplayLists = false;
  scene.Load("data\\rich.scx", options);
  EXPECT_EQ(scene.LoadProblem(), "");

  EXPECT_EQ(scene.headerWord1, 0);
  EXPECT_EQ(scene.headerWord2, 40);  // latest key frame
  ASSERT_EQ(scene.children.size(), 6u);
  const char* names[] = {"camera01", "camera01", "box", "spot", "spot", "lamp"};
  const NodeKind kinds[] = {kCameraKind, kTargetKind, kMeshKind, kTargetLightKind, kTargetKind, kLightKind};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(scene.children[i]->name, names[i]);
    EXPECT_EQ(scene.children[i]->kind, kinds[i]);
    EXPECT_EQ(scene.children[i]->parent, &scene);
  }
  auto* mesh = static_cast<MeshNode*>(scene.children[2].get());
  ASSERT_EQ(mesh->vertices.size(), 4u);
  EXPECT_EQ(mesh->vertices[2], Vector3(1, 0, 1));
  EXPECT_EQ(mesh->fileFaceCount, 2);
  ASSERT_EQ(mesh->groups.size(), 1u);
  ASSERT_EQ(mesh->groups[0].faces.size(), 2u);
  EXPECT_EQ(mesh->groups[0].faces[1].corners[2].vertex, 3);
  EXPECT_FLOAT_EQ(mesh->groups[0].faces[1].corners[1].u, 1.0f);
  EXPECT_EQ(mesh->groups[0].style, scene.styles[0].get());
  ASSERT_EQ(mesh->positionTrack.KeyCount(), 2);
  EXPECT_EQ(mesh->positionTrack.keys[1].frame, 40);
  EXPECT_FLOAT_EQ(mesh->positionTrack.keys[1].tension, 0.25f);
  EXPECT_FLOAT_EQ(mesh->positionTrack.keys[1].extra1, 9.0f);
  EXPECT_EQ(mesh->positionTrack.flags, 0);
  EXPECT_EQ(mesh->visibilityTrack.KeyCount(), 2);
  EXPECT_EQ(mesh->morphTrack.KeyCount(), 1);
  ASSERT_EQ(mesh->children.size(), 1u);
  EXPECT_EQ(mesh->children[0]->name, "hinge");
  EXPECT_EQ(mesh->children[0]->parent, mesh);
  EXPECT_EQ(static_cast<DummyNode*>(mesh->children[0].get())->rotationTrack.keys[0].value,
            Quaternion(0.5f, 0.5f, 0.5f, 0.5f));

  auto* spot = static_cast<TargetLightNode*>(scene.children[3].get());
  EXPECT_FLOAT_EQ(spot->colour[1], 0.5f);
  EXPECT_FLOAT_EQ(spot->firstTrack.keys[0].value, 30.0f);
  EXPECT_EQ(spot->target, scene.children[4].get());
  auto* lamp = static_cast<LightNode*>(scene.children[5].get());
  EXPECT_FLOAT_EQ(lamp->colour[0], 0.25f);
  EXPECT_FLOAT_EQ(lamp->attenuation[2], 1.0f);
  EXPECT_EQ(scene.lightCount, 1);  // the target light does not count

  ASSERT_EQ(scene.Camera(), scene.children[0].get());
  EXPECT_EQ(scene.Camera()->target, scene.children[1].get());
  EXPECT_FLOAT_EQ(scene.Camera()->fieldOfViewTrack.keys[0].value, 0.5f);

  ASSERT_EQ(scene.materials.size(), 2u);
  EXPECT_EQ(scene.materials[0]->name, "Stone");
  EXPECT_EQ(scene.materials[0]->maps[1].fileName, "C:\\Maps\\Stone.BMP");
  EXPECT_EQ(scene.materials[1]->maps[3].fileName, "bump.bmp");
  EXPECT_EQ(scene.materials[1]->StyleCode(), 16);
  ASSERT_EQ(scene.styles.size(), 2u);
  EXPECT_NE(dynamic_cast<TextureStyle*>(scene.styles[0].get()), nullptr);
  EXPECT_EQ(scene.styles[0]->textures, std::vector<uint32_t>{7});
  EXPECT_NE(dynamic_cast<ReflectionStyle*>(scene.styles[1].get()), nullptr);
  EXPECT_EQ(scene.styles[1]->textures, std::vector<uint32_t>{9});
  EXPECT_FLOAT_EQ(scene.styles[1]->opacity, 0.75f);
  // The map names were reduced and rewritten before lookup.
  EXPECT_EQ(textures.asked, (std::vector<std::string>{"stone.jpg", "env.jpg", "env.png"}));
}

TEST(SceneFile, ListStructureAndEmptyScenes) {
  // Top-level list that is just -1: no nodes, the material section is still read.
  SceneDesc empty;
  empty.materials.push_back(TextureMaterial("m", "a.bmp", 1.0f));
  Scene s1;
  LoadBytes(&s1, WriteScene(empty));
  EXPECT_TRUE(s1.children.empty());
  EXPECT_EQ(s1.materials.size(), 1u);
  EXPECT_EQ(s1.LoadProblem(), "");

  // A node followed by another type code has that node as its first child; one followed by -1
  // has none.
  SceneDesc tree;
  NodeDesc a = StillNode(kDummyKind, "a", {});
  a.children.push_back(StillNode(kDummyKind, "b", {}));
  a.children[0].children.push_back(StillNode(kMeshKind, "c", {}));
  tree.nodes = {a, StillNode(kDummyKind, "d", {})};
  Scene s2;
  LoadBytes(&s2, WriteScene(tree));
  ASSERT_EQ(s2.children.size(), 2u);
  ASSERT_EQ(s2.children[0]->children.size(), 1u);
  EXPECT_EQ(s2.children[0]->children[0]->children[0]->name, "c");
  EXPECT_TRUE(s2.children[1]->children.empty());
  EXPECT_EQ(s2.Camera(), nullptr);
}

TEST(SceneFile, CameraAndTargetLinkRules) {
  SceneDesc d;
  AddCamera(&d, "first", {0, 0, 0}, {0, 1, 0});
  NodeDesc group = StillNode(kDummyKind, "group", {});
  group.children.push_back(StillNode(kCameraKind, "second", {}));
  group.children.push_back(StillNode(kTargetKind, "second", {0, 1, 0}));
  group.children.push_back(StillNode(kTargetKind, "second", {0, 2, 0}));  // the last match wins
  group.children.push_back(StillNode(kCameraKind, "lonely", {}));
  group.children.push_back(StillNode(kTargetKind, "lonely.target", {}));  // different name
  NodeDesc holder = StillNode(kDummyKind, "holder", {});
  holder.children.push_back(StillNode(kTargetKind, "orphan", {}));
  group.children.push_back(StillNode(kCameraKind, "orphan", {}));  // its target is a cousin
  group.children.push_back(holder);
  d.nodes.push_back(group);
  Scene s;
  LoadBytes(&s, WriteScene(d));
  // The last camera in parent-before-children order is the scene's camera.
  ASSERT_NE(s.Camera(), nullptr);
  EXPECT_EQ(s.Camera()->name, "orphan");
  EXPECT_EQ(s.Camera()->target, nullptr);
  auto* second = static_cast<CameraNode*>(s.FindNode("second"));
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->target, s.children[2]->children[2].get());
  EXPECT_EQ(static_cast<CameraNode*>(s.FindNode("lonely"))->target, nullptr);
  // Only camera nodes can become the camera.
  EXPECT_FALSE(s.SetCamera(s.FindNode("group")));
  EXPECT_TRUE(s.SetCamera(second));
  EXPECT_EQ(s.Camera(), second);
}

TEST(SceneFile, FindNodeAndFindMeshSearchDepthFirst) {
  SceneDesc d;
  NodeDesc outer = StillNode(kDummyKind, "Rig", {});
  outer.children.push_back(StillNode(kMeshKind, "mesh.inner", {}));
  d.nodes.push_back(outer);
  d.nodes.push_back(StillNode(kMeshKind, "mesh.outer", {}));
  d.nodes.push_back(StillNode(kMeshKind, "CAPS", {}));
  Scene s;
  LoadBytes(&s, WriteScene(d));
  EXPECT_EQ(s.FindNode("mesh")->name, "mesh.inner");  // first of two matches, depth first
  EXPECT_EQ(s.FindNode("outer")->name, "mesh.outer");
  EXPECT_EQ(s.FindNode("CAPS"), nullptr);  // stored lower-case; the text is not lowered
  EXPECT_EQ(s.FindNode("caps")->name, "caps");
  EXPECT_EQ(s.FindNode("rig")->kind, kDummyKind);
  EXPECT_EQ(s.FindNode("nothing"), nullptr);
  EXPECT_EQ(s.FindMesh(0)->name, "mesh.inner");
  EXPECT_EQ(s.FindMesh(1)->name, "mesh.outer");
  EXPECT_EQ(s.FindMesh(2)->name, "caps");
  EXPECT_EQ(s.FindMesh(3), nullptr);
  EXPECT_EQ(s.FindMesh(-1), nullptr);
}

TEST(Materials, StyleCodesOpacityAndTextureNames) {
  SceneMaterial m;
  EXPECT_EQ(m.StyleCode(), 1);
  m.maps[kTextureMapSlot].amount = 0.0f;  // exactly 0 counts as absent
  EXPECT_EQ(m.StyleCode(), 1);
  m.maps[kTextureMapSlot].amount = 0.5f;
  EXPECT_EQ(m.StyleCode(), 8);
  m.maps[kReflectionMapSlot].amount = 1.0f;
  EXPECT_EQ(m.StyleCode(), 24);
  m.maps[kNoStyleSlot].amount = 0.1f;
  EXPECT_EQ(m.StyleCode(), 88);
  EXPECT_EQ(CreateStyle(88), nullptr);
  EXPECT_EQ(CreateStyle(64), nullptr);
  EXPECT_EQ(CreateStyle(1)->TextureCount(), 0);
  EXPECT_EQ(CreateStyle(24)->TextureCount(), 2);

  SceneDesc d;
  MaterialDesc lines;
  lines.name = "lines";
  lines.maps[kTextureMapSlot] = {"zero.bmp", 0.0f};
  MaterialDesc dual = TextureMaterial("dual", "a.bmp", 0.25f);
  dual.maps[kReflectionMapSlot] = {"b.bmp", 0.9f};
  MaterialDesc none = TextureMaterial("none", "c.bmp", 1.0f);
  none.maps[kNoStyleSlot] = {"x.bmp", 1.0f};
  d.materials = {lines, dual, none, TextureMaterial("half", "Half.Bmp", 0.5f)};
  NodeDesc mixed = Square("mixed", {}, 1.0f, 0);
  mixed.groups.push_back({3, {0}});  // a see-through group makes the whole mesh see-through
  NodeDesc solid = Square("solid", {}, 1.0f, 0);
  solid.groups.push_back({2, {1}});  // a group without a style counts as opaque
  d.nodes = {mixed, solid};
  TextureMapLookup textures;
  textures.names = {{"a.jpg", 1}, {"b.png", 2}, {"half.png", 3}};
  Scene s;
  LoadBytes(&s, WriteScene(d), &textures);
  ASSERT_EQ(s.styles.size(), 4u);
  EXPECT_NE(dynamic_cast<LineStyle*>(s.styles[0].get()), nullptr);
  EXPECT_FLOAT_EQ(s.styles[0]->opacity, 1.0f);
  EXPECT_TRUE(s.materials[0]->maps[kTextureMapSlot].fileName.empty());  // amount 0 not stored
  EXPECT_NE(dynamic_cast<DualStyle*>(s.styles[1].get()), nullptr);
  EXPECT_FLOAT_EQ(s.styles[1]->opacity, 0.25f);  // from slot 1
  EXPECT_EQ(s.styles[1]->textures, (std::vector<uint32_t>{1, 2}));
  EXPECT_EQ(s.styles[2], nullptr);
  EXPECT_EQ(s.styles[3]->textures, std::vector<uint32_t>{3});
  EXPECT_TRUE(s.FindMesh(0)->transparent);
  EXPECT_FALSE(s.FindMesh(1)->transparent);
  EXPECT_EQ(s.FindMesh(1)->groups[1].style, nullptr);

  TextureMapLookup t2;
  t2.names = {{"stone.png", 5}};
  EXPECT_EQ(FindTextureForMap("C:\\Maps\\Stone.BMP", &t2), 5u);
  EXPECT_EQ(t2.asked, (std::vector<std::string>{"stone.jpg", "stone.png"}));
  EXPECT_EQ(FindTextureForMap("missing.bmp", &t2), 0u);
  EXPECT_EQ(FindTextureForMap("Stone.bmp", nullptr), 0u);
}

TEST(MeshNormals, AreaWeightedSumOverTheFaceTableThenUnitLength) {
  SceneDesc d;
  NodeDesc n = StillNode(kMeshKind, "tri", {});
  n.vertices = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 1}, {1, 0, 0}, {9, 9, 9}};
  MeshFace big, small;
  big.corners[0] = {0, 0, 0};
  big.corners[1] = {1, 0, 0};
  big.corners[2] = {2, 0, 0};
  small.corners[0] = {0, 0, 0};
  small.corners[1] = {3, 0, 0};
  small.corners[2] = {4, 0, 0};
  n.faces = {big, small};
  n.groups = {};  // faces in no group still count
  d.nodes.push_back(n);
  Scene s;
  LoadBytes(&s, WriteScene(d));
  const MeshNode* m = s.FindMesh(0);
  ASSERT_NE(m, nullptr);
  // (a - b) x (b - c): (0, 0, 4) for the big face and (0, 1, 0) for the small one.
  EXPECT_NEAR(m->normals[1].z, 1.0f, 1e-6f);
  EXPECT_NEAR(m->normals[3].y, 1.0f, 1e-6f);
  EXPECT_NEAR(m->normals[0].y, 1.0f / std::sqrt(17.0f), 1e-6f);
  EXPECT_NEAR(m->normals[0].z, 4.0f / std::sqrt(17.0f), 1e-6f);
  // A vertex on no face keeps a zero normal rather than a non-number.
  EXPECT_EQ(m->normals[5], Vector3());
}

TEST(NodeMatrices, ConjugateRotationScaledColumnsAndKindRules) {
  // A quarter turn about z: the node matrix holds the conjugate rotation (design quirk).
  const float h = std::sqrt(0.5f);
  Matrix4 m = NodeMatrix(Quaternion(h, 0, 0, h), Vector3(2, 3, 4), Vector3(7, 8, 9));
  EXPECT_NEAR(m.m[0], 0.0f, 1e-6f);
  EXPECT_NEAR(m.m[1], -2.0f, 1e-5f);  // the textbook matrix has +sin here
  EXPECT_NEAR(m.m[4], 3.0f, 1e-5f);
  EXPECT_NEAR(m.m[10], 4.0f, 1e-6f);
  EXPECT_EQ(m.m[12], 7.0f);
  EXPECT_EQ(m.m[15], 1.0f);

  SceneDesc d;
  d.nodes.push_back(StillNode(kDummyKind, "still", {1, 2, 3}));
  d.nodes.push_back(StillNode(kTargetKind, "tgt", {4, 5, 6}));
  d.nodes.push_back(StillNode(kCameraKind, "tgt", {7, 8, 9}));
  NodeDesc blink = StillNode(kMeshKind, "blink", {1, 1, 1});
  blink.position.push_back(StillVectorKey(100, {101, 1, 1}));
  blink.visibility = {10, 20};
  d.nodes.push_back(blink);
  NodeDesc lamp = StillNode(kLightKind, "lamp", {0, 0, 0});
  lamp.position.push_back(StillVectorKey(100, {100, 0, 0}));
  lamp.visibility = {0, 1000};
  d.nodes.push_back(lamp);
  Scene s;
  LoadBytes(&s, WriteScene(d));
  for (auto& node : s.children) node->Evaluate(5.0f, true);
  Matrix4 translation = Matrix4::Identity();
  translation.m[12] = 1;
  translation.m[13] = 2;
  translation.m[14] = 3;
  EXPECT_EQ(0, std::memcmp(s.children[0]->matrix.m, translation.m, sizeof translation.m));
  EXPECT_EQ(s.children[1]->position, Vector3(4, 5, 6));
  EXPECT_EQ(s.children[1]->matrix.m[12], 0.0f);  // a target's matrix stays identity
  EXPECT_EQ(s.children[2]->matrix.m[14], 9.0f);
  auto* mesh = static_cast<MeshNode*>(s.children[3].get());
  EXPECT_FLOAT_EQ(mesh->frameTime, 5.0f);
  float shownX = mesh->position.x;
  // Hidden from frame 10: the last transform and frame time stay.
  mesh->Evaluate(15.0f, true);
  EXPECT_EQ(mesh->position.x, shownX);
  EXPECT_FLOAT_EQ(mesh->frameTime, 5.0f);
  mesh->Evaluate(25.0f, true);
  EXPECT_FLOAT_EQ(mesh->frameTime, 25.0f);
  EXPECT_GT(mesh->position.x, shownX);
  // A light is evaluated even while its visibility track hides it.
  s.children[4]->Evaluate(50.0f, true);
  EXPECT_GT(s.children[4]->position.x, 0.0f);
}

TEST(HostileFiles, StopAtTheFirstProblemAndKeepWhatWasRead) {
  SceneDesc d;
  d.nodes.push_back(StillNode(kDummyKind, "kept", {}));
  d.nodes.push_back(StillNode(kDummyKind, "next", {}));
  d.materials.push_back(TextureMaterial("m", "a.bmp", 1.0f));
  const std::vector<uint8_t> good = WriteScene(d);

  // A type code outside 0..5.
  std::vector<uint8_t> bad = good;
  size_t second = FindInt(good, 5, 12);  // the second dummy's type code
  PutInt(&bad, second, 9);
  Scene s1;
  LoadBytes(&s1, bad);
  EXPECT_EQ(s1.children.size(), 1u);
  EXPECT_NE(s1.LoadProblem().find("type code 9"), std::string::npos);
  EXPECT_EQ(s1.LoadProblemOffset(), second);
  EXPECT_TRUE(s1.LoadStopped());
  EXPECT_TRUE(s1.materials.empty());

  // Every truncation: no crash, a problem reported, the nodes before the cut kept.
  for (size_t cut = 0; cut < good.size(); ++cut) {
    std::vector<uint8_t> part(good.begin(), good.begin() + static_cast<long>(cut));
    Scene s;
    LoadBytes(&s, part);
    EXPECT_FALSE(s.LoadProblem().empty()) << cut;
    EXPECT_LE(s.children.size(), 2u);
    if (cut > second) {
      EXPECT_GE(s.children.size(), 1u);
    }
  }

  // A name longer than 127 bytes.
  SceneDesc longName;
  longName.nodes.push_back(StillNode(kDummyKind, std::string(128, 'x'), {}));
  Scene s2;
  LoadBytes(&s2, WriteScene(longName));
  EXPECT_NE(s2.LoadProblem().find("longer than 127"), std::string::npos);
  EXPECT_EQ(s2.LoadProblemOffset(), 12u);
  SceneDesc fits;
  fits.nodes.push_back(StillNode(kDummyKind, std::string(127, 'x'), {}));
  Scene s3;
  LoadBytes(&s3, WriteScene(fits));
  EXPECT_EQ(s3.LoadProblem(), "");
  EXPECT_EQ(s3.children[0]->name.size(), 127u);
}

TEST(HostileFiles, CountsAndIndicesOutOfRange) {
  auto meshScene = [](int32_t material) {
    SceneDesc d;
    d.nodes.push_back(Square("sq", {}, 1.0f, material));
    d.materials.push_back(TextureMaterial("m", "a.bmp", 1.0f));
    return d;
  };
  // An absurd vertex count is refused at its own offset, before any allocation.
  std::vector<uint8_t> bytes = WriteScene(meshScene(0));
  size_t vertexCount = 8 + 4 + 3;  // header, type code, "sq\0"
  PutInt(&bytes, vertexCount, 0x7fffffff);
  Scene s1;
  LoadBytes(&s1, bytes);
  EXPECT_EQ(s1.LoadProblemOffset(), vertexCount);
  EXPECT_NE(s1.LoadProblem().find("vertex count"), std::string::npos);
  ASSERT_EQ(s1.children.size(), 1u);
  EXPECT_TRUE(static_cast<MeshNode*>(s1.children[0].get())->vertices.empty());

  // A corner naming vertex 4 of 4.
  SceneDesc d2 = meshScene(0);
  d2.nodes[0].faces[1].corners[2].vertex = 4;
  bytes = WriteScene(d2);
  Scene s2;
  LoadBytes(&s2, bytes);
  EXPECT_NE(s2.LoadProblem().find("vertex index 4"), std::string::npos);
  EXPECT_EQ(s2.LoadProblemOffset(), vertexCount + 4 + 48 + 4 + 36 + 24);
  EXPECT_TRUE(s2.FindMesh(0)->groups.empty());

  // A group naming face 2 of 2, and one naming a negative face.
  for (int32_t face : {2, -1}) {
    SceneDesc d3 = meshScene(0);
    d3.nodes[0].groups[0].faces = {1, face};
    Scene s3;
    LoadBytes(&s3, WriteScene(d3));
    EXPECT_NE(s3.LoadProblem().find("face index"), std::string::npos) << face;
  }

  // A material index beyond the materials: the group has no style and draws nothing.
  bytes = WriteScene(meshScene(3));
  Scene s4;
  LoadBytes(&s4, bytes);
  EXPECT_NE(s4.LoadProblem().find("material index 3"), std::string::npos);
  EXPECT_EQ(s4.LoadProblemOffset(), FindInt(bytes, 3, vertexCount + 4 + 48 + 4 + 72 + 4));
  EXPECT_EQ(s4.FindMesh(0)->groups[0].style, nullptr);

  // An absurd material count.
  SceneDesc d5;
  bytes = WriteScene(d5);
  PutInt(&bytes, bytes.size() - 4, 1 << 30);
  Scene s5;
  LoadBytes(&s5, bytes);
  EXPECT_NE(s5.LoadProblem().find("material count"), std::string::npos);

  // Morph keys whose vertex count is not the mesh's are dropped.
  SceneDesc d6 = meshScene(0);
  MorphKey mk;
  mk.value = {Vector3(), Vector3()};
  d6.nodes[0].morph = {mk};
  Scene s6;
  LoadBytes(&s6, WriteScene(d6));
  EXPECT_NE(s6.LoadProblem().find("morph"), std::string::npos);
  EXPECT_EQ(s6.FindMesh(0)->morphTrack.KeyCount(), 0);
}

TEST(HostileFiles, DeepNestingAndMissingFiles) {
  SceneDesc d;
  NodeDesc* at = &d.nodes.emplace_back(kDummyKind, "n");
  for (int i = 0; i < 300; ++i) at = &at->children.emplace_back(kDummyKind, "n");
  Scene s;
  LoadBytes(&s, WriteScene(d));
  EXPECT_NE(s.LoadProblem().find("nested deeper"), std::string::npos);
  int depth = 0;
  for (const SceneNode* n = &s; !n->children.empty(); n = n->children[0].get()) ++depth;
  EXPECT_EQ(depth, kMaxSceneDepth);

  MemoryArchive archive;
  DataSourceScope source({&archive, "/nonexistent-quillon-dir"});
  Scene missing;
  missing.Load("data\\nothere.scx");
  EXPECT_NE(missing.LoadProblem().find("cannot open"), std::string::npos);
  EXPECT_TRUE(missing.children.empty());
}

TEST(HostileFiles, AMorphTrackThatDoesNotFitIsDroppedAndLoadingGoesOn) {
  // Two ways a morph record read whole cannot be used: keys of another vertex count than the
  // mesh, and keys that differ among themselves.
  for (int variant = 0; variant < 2; ++variant) {
    SceneDesc d;
    NodeDesc mesh = Square("sq", {}, 1.0f, 0);
    MorphKey a, b;
    a.value = variant == 0 ? std::vector<Vector3>{Vector3(), Vector3()} : mesh.vertices;
    b.frame = 10;
    b.value = variant == 0 ? a.value : std::vector<Vector3>(3);
    mesh.morph = {a, b};
    mesh.children.push_back(StillNode(kDummyKind, "child", {}));
    d.nodes.push_back(mesh);
    d.nodes.push_back(StillNode(kDummyKind, "after", {1, 2, 3}));
    d.materials.push_back(TextureMaterial("m", "a.bmp", 1.0f));
    Scene s;
    LoadBytes(&s, WriteScene(d));
    EXPECT_NE(s.LoadProblem().find("morph"), std::string::npos) << variant;
    EXPECT_FALSE(s.LoadStopped());
    ASSERT_NE(s.FindMesh(0), nullptr);
    EXPECT_EQ(s.FindMesh(0)->morphTrack.KeyCount(), 0) << variant;
    EXPECT_EQ(s.FindMesh(0)->children.size(), 1u) << variant;
    ASSERT_EQ(s.children.size(), 2u) << variant;
    EXPECT_EQ(s.children[1]->name, "after");
    ASSERT_EQ(s.materials.size(), 1u) << variant;
    EXPECT_NE(s.styles[0], nullptr);
    EXPECT_EQ(s.FindMesh(0)->groups[0].style, s.styles[0].get());
  }
}

TEST(SceneWriter, RefusesWhatTheFileCannotCarryAndWritesAnyLastFrame) {
  std::vector<uint8_t> bytes = {1, 2, 3};
  std::string why;
  SceneDesc root;
  root.nodes.emplace_back(kSceneKind, "root");
  EXPECT_FALSE(WriteScene(root, &bytes, &why));
  EXPECT_NE(why.find("kind 0"), std::string::npos) << why;
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(WriteScene(root).empty());

  SceneDesc nested;
  nested.nodes.push_back(StillNode(kDummyKind, "top", {}));
  nested.nodes[0].children.emplace_back(static_cast<NodeKind>(7), "odd");
  EXPECT_FALSE(WriteScene(nested, &bytes, &why));
  EXPECT_NE(why.find("odd"), std::string::npos) << why;

  SceneDesc zero;
  zero.nodes.push_back(StillNode(kDummyKind, std::string("a\0b", 3), {}));
  EXPECT_FALSE(WriteScene(zero, &bytes, &why));
  SceneDesc zeroMap;
  zeroMap.materials.push_back(TextureMaterial("m", std::string("x\0.bmp", 6), 1.0f));
  EXPECT_FALSE(WriteScene(zeroMap, &bytes, &why));

  // Any header word can be written, -1 included; left unset it is the latest key frame.
  SceneDesc d;
  d.nodes.push_back(StillNode(kDummyKind, "n", {}));
  d.nodes[0].position.push_back(StillVectorKey(42, {}));
  for (int32_t word : {-1, 0, 7}) {
    d.headerWord2 = word;
    ASSERT_TRUE(WriteScene(d, &bytes, &why)) << why;
    Scene s;
    LoadBytes(&s, bytes);
    EXPECT_EQ(s.headerWord2, word);
  }
  d.headerWord2.reset();
  Scene latest;
  LoadBytes(&latest, WriteScene(d));
  EXPECT_EQ(latest.headerWord2, 42);
}

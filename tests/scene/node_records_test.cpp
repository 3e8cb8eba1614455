// Scene files written byte by byte from the record layout (not with the scene writer): every node
// class, every track kind and the material section, each field with a value of its own, so a
// loader that reads two fields in the wrong order, or a writer that writes them so, shows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "scene_fixtures.h"
using namespace scenetest;

namespace {

class Bytes {
 public:
  Bytes& I(int32_t v) { return Raw(&v, 4); }
  Bytes& F(float v) { return Raw(&v, 4); }
  Bytes& S(const std::string& s) {
    Raw(s.data(), s.size());
    data.push_back(0);
    return *this;
  }
  std::vector<uint8_t> data;

 private:
  Bytes& Raw(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    data.insert(data.end(), b, b + n);
    return *this;
  }
};

// Every key's header holds frame, then tension, continuity, bias and the two extra floats, here
// base + 0.01 ... base + 0.05.
void Header(Bytes* b, int32_t frame, float base) {
  b->I(frame).F(base + 0.01f).F(base + 0.02f).F(base + 0.03f).F(base + 0.04f).F(base + 0.05f);
}
template <class Key>
void SetHeader(Key* k, int32_t frame, float base) {
  k->frame = frame;
  k->tension = base + 0.01f;
  k->continuity = base + 0.02f;
  k->bias = base + 0.03f;
  k->extra1 = base + 0.04f;
  k->extra2 = base + 0.05f;
}
template <class Key>
void ExpectHeader(const Key& k, int32_t frame, float base) {
  EXPECT_EQ(k.frame, frame);
  EXPECT_EQ(k.tension, base + 0.01f);
  EXPECT_EQ(k.continuity, base + 0.02f);
  EXPECT_EQ(k.bias, base + 0.03f);
  EXPECT_EQ(k.extra1, base + 0.04f);
  EXPECT_EQ(k.extra2, base + 0.05f);
}

// One-key tracks: flags word 0, count 1, the key.
void VectorRecord(Bytes* b, int32_t frame, float base, Vector3 v) {
  b->I(0).I(1);
  Header(b, frame, base);
  b->F(v.x).F(v.y).F(v.z);
}
void ScalarRecord(Bytes* b, int32_t frame, float base, float v) {
  b->I(0).I(1);
  Header(b, frame, base);
  b->F(v);
}
void RotationRecord(Bytes* b, int32_t frame, float base, Quaternion q) {
  b->I(0).I(1);
  Header(b, frame, base);
  b->F(q.w).F(q.x).F(q.y).F(q.z);
}

std::vector<VectorKey> VectorKeys(int32_t frame, float base, Vector3 v) {
  VectorKey k;
  SetHeader(&k, frame, base);
  k.value = v;
  return {k};
}
std::vector<ScalarKey> ScalarKeys(int32_t frame, float base, float v) {
  ScalarKey k;
  SetHeader(&k, frame, base);
  k.value = v;
  return {k};
}
std::vector<RotationKey> RotationKeys(int32_t frame, float base, Quaternion q) {
  RotationKey k;
  SetHeader(&k, frame, base);
  k.value = q;
  return {k};
}

const Quaternion kMeshTurn(0.5f, 0.6f, 0.7f, 0.8f);
const Quaternion kLampTurn(0.9f, 0.1f, -0.2f, 0.3f);
const Quaternion kHingeTurn(0.4f, -0.5f, 0.6f, -0.7f);

// The file: a mesh, a camera and its target, a target light, a light with a dummy child, one
// material with a texture map and a reflection map.
std::vector<uint8_t> HandWrittenFile() {
  Bytes b;
  b.I(0).I(77);  // header words

  b.I(0).S("Mesh");  // type 0: mesh
  b.I(3).F(1).F(2).F(3).F(4).F(5).F(6).F(7).F(8).F(10);
  b.I(1).I(0).F(0.1f).F(0.2f).I(1).F(0.3f).F(0.4f).I(2).F(0.5f).F(0.6f);
  b.I(1).I(0).I(1).I(0);  // one group: material 0, one face, face 0
  VectorRecord(&b, 2, 0.1f, {21, 22, 23});
  RotationRecord(&b, 3, 0.2f, kMeshTurn);
  VectorRecord(&b, 4, 0.3f, {31, 32, 33});
  b.I(5).I(9).I(-1);  // visibility frames
  b.I(0).I(1);        // morph track: one key of three vertices
  Header(&b, 6, 0.4f);
  b.I(3).F(41).F(42).F(43).F(44).F(45).F(46).F(47).F(48).F(49);
  b.I(-1);  // no children

  b.I(1).S("Cam");  // type 1: camera
  VectorRecord(&b, 7, 0.5f, {51, 52, 53});
  ScalarRecord(&b, 8, 0.6f, 0.7f);    // roll
  ScalarRecord(&b, 9, 0.7f, 0.45f);   // field of view
  b.I(8).I(-1);
  b.I(-1);

  b.I(2).S("Cam");  // type 2: target
  VectorRecord(&b, 10, 0.8f, {61, 62, 63});
  b.I(-1);

  b.I(3).S("Spot");  // type 3: target light
  b.F(0.1f).F(0.2f).F(0.3f);
  VectorRecord(&b, 11, 0.9f, {71, 72, 73});
  ScalarRecord(&b, 12, 1.0f, 12.5f);
  ScalarRecord(&b, 13, 1.1f, 13.5f);
  b.I(-1);
  b.I(-1);

  b.I(4).S("Lamp");  // type 4: light, with a child
  b.F(0.4f).F(0.5f).F(0.6f);
  VectorRecord(&b, 14, 1.2f, {81, 82, 83});
  RotationRecord(&b, 15, 1.3f, kLampTurn);
  VectorRecord(&b, 16, 1.4f, {91, 92, 93});
  b.I(1).I(-1);
  b.I(5).S("Hinge");  // type 5: dummy
  VectorRecord(&b, 17, 1.5f, {-1, -2, -3});
  RotationRecord(&b, 18, 1.6f, kHingeTurn);
  VectorRecord(&b, 19, 1.7f, {-4, -5, -6});
  b.I(2).I(3).I(-1);
  b.I(-1);  // the dummy has no children
  b.I(-1);  // end of the light's children
  b.I(-1);  // end of the top-level list

  b.I(-1).I(1).S("Mat");  // material section: ignored word, one material
  for (int slot = 0; slot < 11; ++slot) {
    if (slot == kTextureMapSlot) {
      b.F(0.75f).S("tex.bmp");
    } else if (slot == kReflectionMapSlot) {
      b.F(0.5f).S("env.bmp");
    } else {
      b.F(0.0f).S("");
    }
  }
  return b.data;
}

// The same scene described for the writer.
SceneDesc SameSceneDescribed() {
  SceneDesc d;
  d.headerWord2 = 77;
  NodeDesc mesh(kMeshKind, "Mesh");
  mesh.vertices = {{1, 2, 3}, {4, 5, 6}, {7, 8, 10}};
  MeshFace face;
  face.corners[0] = {0, 0.1f, 0.2f};
  face.corners[1] = {1, 0.3f, 0.4f};
  face.corners[2] = {2, 0.5f, 0.6f};
  mesh.faces = {face};
  mesh.groups = {{0, {0}}};
  mesh.position = VectorKeys(2, 0.1f, {21, 22, 23});
  mesh.rotation = RotationKeys(3, 0.2f, kMeshTurn);
  mesh.scale = VectorKeys(4, 0.3f, {31, 32, 33});
  mesh.visibility = {5, 9};
  MorphKey morph;
  SetHeader(&morph, 6, 0.4f);
  morph.value = {{41, 42, 43}, {44, 45, 46}, {47, 48, 49}};
  mesh.morph = {morph};
  d.nodes.push_back(mesh);

  NodeDesc cam(kCameraKind, "Cam");
  cam.position = VectorKeys(7, 0.5f, {51, 52, 53});
  cam.roll = ScalarKeys(8, 0.6f, 0.7f);
  cam.fieldOfView = ScalarKeys(9, 0.7f, 0.45f);
  cam.visibility = {8};
  d.nodes.push_back(cam);
  NodeDesc target(kTargetKind, "Cam");
  target.position = VectorKeys(10, 0.8f, {61, 62, 63});
  d.nodes.push_back(target);

  NodeDesc spot(kTargetLightKind, "Spot");
  spot.colour[0] = 0.1f, spot.colour[1] = 0.2f, spot.colour[2] = 0.3f;
  spot.position = VectorKeys(11, 0.9f, {71, 72, 73});
  spot.firstScalar = ScalarKeys(12, 1.0f, 12.5f);
  spot.secondScalar = ScalarKeys(13, 1.1f, 13.5f);
  d.nodes.push_back(spot);

  NodeDesc lamp(kLightKind, "Lamp");
  lamp.colour[0] = 0.4f, lamp.colour[1] = 0.5f, lamp.colour[2] = 0.6f;
  lamp.position = VectorKeys(14, 1.2f, {81, 82, 83});
  lamp.rotation = RotationKeys(15, 1.3f, kLampTurn);
  lamp.scale = VectorKeys(16, 1.4f, {91, 92, 93});
  lamp.visibility = {1};
  NodeDesc hinge(kDummyKind, "Hinge");
  hinge.position = VectorKeys(17, 1.5f, {-1, -2, -3});
  hinge.rotation = RotationKeys(18, 1.6f, kHingeTurn);
  hinge.scale = VectorKeys(19, 1.7f, {-4, -5, -6});
  hinge.visibility = {2, 3};
  lamp.children.push_back(hinge);
  d.nodes.push_back(lamp);

  MaterialDesc m;
  m.name = "Mat";
  m.maps[kTextureMapSlot] = {"tex.bmp", 0.75f};
  m.maps[kReflectionMapSlot] = {"env.bmp", 0.5f};
  d.materials.push_back(m);
  return d;
}

}  // namespace

TEST(NodeRecords, HandWrittenFileLoadsFieldByField) {
  Scene s;
  TextureMapLookup textures;
  textures.names = {{"tex.jpg", 11}, {"env.jpg", 12}};
  LoadBytes(&s, HandWrittenFile(), &textures);
  ASSERT_EQ(s.LoadProblem(), "");
  EXPECT_EQ(s.headerWord1, 0);
  EXPECT_EQ(s.headerWord2, 77);
  ASSERT_EQ(s.children.size(), 5u);
  EXPECT_EQ(s.lightCount, 1);

  auto& mesh = static_cast<MeshNode&>(*s.children[0]);
  ASSERT_EQ(mesh.kind, kMeshKind);
  EXPECT_EQ(mesh.name, "mesh");
  ASSERT_EQ(mesh.vertices.size(), 3u);
  EXPECT_EQ(mesh.vertices[0], Vector3(1, 2, 3));
  EXPECT_EQ(mesh.vertices[2], Vector3(7, 8, 10));
  EXPECT_EQ(mesh.fileFaceCount, 1);
  ASSERT_EQ(mesh.groups.size(), 1u);
  EXPECT_EQ(mesh.groups[0].materialIndex, 0);
  ASSERT_EQ(mesh.groups[0].faces.size(), 1u);
  const MeshFace& face = mesh.groups[0].faces[0];
  EXPECT_EQ(face.corners[1].vertex, 1);
  EXPECT_EQ(face.corners[1].u, 0.3f);
  EXPECT_EQ(face.corners[1].v, 0.4f);
  EXPECT_EQ(face.corners[2].u, 0.5f);
  ASSERT_EQ(mesh.positionTrack.keys.size(), 1u);
  ExpectHeader(mesh.positionTrack.keys[0], 2, 0.1f);
  EXPECT_EQ(mesh.positionTrack.keys[0].value, Vector3(21, 22, 23));
  ASSERT_EQ(mesh.rotationTrack.keys.size(), 1u);
  ExpectHeader(mesh.rotationTrack.keys[0], 3, 0.2f);
  EXPECT_EQ(mesh.rotationTrack.keys[0].value, kMeshTurn);
  ASSERT_EQ(mesh.scaleTrack.keys.size(), 1u);
  ExpectHeader(mesh.scaleTrack.keys[0], 4, 0.3f);
  EXPECT_EQ(mesh.scaleTrack.keys[0].value, Vector3(31, 32, 33));
  EXPECT_EQ(mesh.visibilityTrack.frames, (std::vector<int32_t>{5, 9}));
  ASSERT_EQ(mesh.morphTrack.keys.size(), 1u);
  ExpectHeader(mesh.morphTrack.keys[0], 6, 0.4f);
  ASSERT_EQ(mesh.morphTrack.keys[0].value.size(), 3u);
  EXPECT_EQ(mesh.morphTrack.keys[0].value[1], Vector3(44, 45, 46));

  auto& cam = static_cast<CameraNode&>(*s.children[1]);
  ASSERT_EQ(cam.kind, kCameraKind);
  EXPECT_EQ(cam.name, "cam");
  ExpectHeader(cam.positionTrack.keys.at(0), 7, 0.5f);
  EXPECT_EQ(cam.positionTrack.keys[0].value, Vector3(51, 52, 53));
  ExpectHeader(cam.rollTrack.keys.at(0), 8, 0.6f);
  EXPECT_EQ(cam.rollTrack.keys[0].value, 0.7f);
  ExpectHeader(cam.fieldOfViewTrack.keys.at(0), 9, 0.7f);
  EXPECT_EQ(cam.fieldOfViewTrack.keys[0].value, 0.45f);
  EXPECT_EQ(cam.visibilityTrack.frames, (std::vector<int32_t>{8}));
  EXPECT_EQ(s.Camera(), &cam);

  auto& target = static_cast<TargetNode&>(*s.children[2]);
  ASSERT_EQ(target.kind, kTargetKind);
  ExpectHeader(target.positionTrack.keys.at(0), 10, 0.8f);
  EXPECT_EQ(target.positionTrack.keys[0].value, Vector3(61, 62, 63));
  EXPECT_EQ(cam.target, &target);

  auto& spot = static_cast<TargetLightNode&>(*s.children[3]);
  ASSERT_EQ(spot.kind, kTargetLightKind);
  EXPECT_EQ(spot.colour[0], 0.1f);
  EXPECT_EQ(spot.colour[2], 0.3f);
  ExpectHeader(spot.positionTrack.keys.at(0), 11, 0.9f);
  EXPECT_EQ(spot.positionTrack.keys[0].value, Vector3(71, 72, 73));
  ExpectHeader(spot.firstTrack.keys.at(0), 12, 1.0f);
  EXPECT_EQ(spot.firstTrack.keys[0].value, 12.5f);
  ExpectHeader(spot.secondTrack.keys.at(0), 13, 1.1f);
  EXPECT_EQ(spot.secondTrack.keys[0].value, 13.5f);
  EXPECT_TRUE(spot.visibilityTrack.frames.empty());

  auto& lamp = static_cast<LightNode&>(*s.children[4]);
  ASSERT_EQ(lamp.kind, kLightKind);
  EXPECT_EQ(lamp.colour[0], 0.4f);
  EXPECT_EQ(lamp.colour[1], 0.5f);
  ExpectHeader(lamp.positionTrack.keys.at(0), 14, 1.2f);
  EXPECT_EQ(lamp.positionTrack.keys[0].value, Vector3(81, 82, 83));
  ExpectHeader(lamp.rotationTrack.keys.at(0), 15, 1.3f);
  EXPECT_EQ(lamp.rotationTrack.keys[0].value, kLampTurn);
  ExpectHeader(lamp.scaleTrack.keys.at(0), 16, 1.4f);
  EXPECT_EQ(lamp.scaleTrack.keys[0].value, Vector3(91, 92, 93));
  EXPECT_EQ(lamp.visibilityTrack.frames, (std::vector<int32_t>{1}));
  ASSERT_EQ(lamp.children.size(), 1u);

  auto& hinge = static_cast<DummyNode&>(*lamp.children[0]);
  ASSERT_EQ(hinge.kind, kDummyKind);
  EXPECT_EQ(hinge.name, "hinge");
  EXPECT_EQ(hinge.parent, &lamp);
  ExpectHeader(hinge.positionTrack.keys.at(0), 17, 1.5f);
  EXPECT_EQ(hinge.positionTrack.keys[0].value, Vector3(-1, -2, -3));
  ExpectHeader(hinge.rotationTrack.keys.at(0), 18, 1.6f);
  EXPECT_EQ(hinge.rotationTrack.keys[0].value, kHingeTurn);
  ExpectHeader(hinge.scaleTrack.keys.at(0), 19, 1.7f);
  EXPECT_EQ(hinge.scaleTrack.keys[0].value, Vector3(-4, -5, -6));
  EXPECT_EQ(hinge.visibilityTrack.frames, (std::vector<int32_t>{2, 3}));

  ASSERT_EQ(s.materials.size(), 1u);
  EXPECT_EQ(s.materials[0]->name, "Mat");
  EXPECT_EQ(s.materials[0]->maps[kTextureMapSlot].fileName, "tex.bmp");
  EXPECT_EQ(s.materials[0]->maps[kTextureMapSlot].amount, 0.75f);
  EXPECT_EQ(s.materials[0]->maps[kReflectionMapSlot].amount, 0.5f);
  ASSERT_NE(s.styles[0], nullptr);
  EXPECT_EQ(s.styles[0]->textures, (std::vector<uint32_t>{11, 12}));  // texture map first
  EXPECT_EQ(s.styles[0]->opacity, 0.75f);
}

TEST(NodeRecords, WriterProducesTheHandWrittenBytes) {
  std::vector<uint8_t> written;
  std::string why;
  ASSERT_TRUE(WriteScene(SameSceneDescribed(), &written, &why)) << why;
  const std::vector<uint8_t> expected = HandWrittenFile();
  ASSERT_EQ(written.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_EQ(written[i], expected[i]) << "byte " << i;
}

// Builds scene files (.scx) from an in-memory description: nodes with their tracks, meshes with
// vertices, faces and face groups, materials with their maps. Used by the tests and the content
// build; the bytes it writes are exactly what Scene::Load reads.
//
//   SceneDesc desc;
//   NodeDesc& cam = desc.nodes.emplace_back(kCameraKind, "camera01");
//   cam.position = {StillVectorKey(0, {0, -10, 0})};
//   desc.nodes.emplace_back(kTargetKind, "camera01").position = {StillVectorKey(0, {})};
//   std::vector<uint8_t> bytes;
//   std::string why;
//   if (!WriteScene(desc, &bytes, &why)) ...;   // refused: the format cannot carry it
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "anim/tracks.h"
#include "scene/material.h"
#include "scene/nodes.h"

struct GroupDesc {
  int32_t materialIndex = 0;
  std::vector<int32_t> faces;  // indices into the mesh's faces
};

// One node and its subtree. Only the fields its kind stores are written.
struct NodeDesc {
  NodeDesc() = default;
  NodeDesc(NodeKind k, std::string n) : kind(k), name(std::move(n)) {}

  NodeKind kind = kDummyKind;
  std::string name;
  float colour[3] = {1.0f, 1.0f, 1.0f};  // lights
  int32_t trackFlags = 0;                // the flags word of every track record
  std::vector<VectorKey> position;
  std::vector<RotationKey> rotation;  // meshes, lights, dummies
  std::vector<VectorKey> scale;       // meshes, lights, dummies
  std::vector<int32_t> visibility;          // toggle frames; all but targets
  std::vector<ScalarKey> roll, fieldOfView;       // cameras
  std::vector<ScalarKey> firstScalar, secondScalar;  // target lights
  std::vector<Vector3> vertices;                  // meshes
  std::vector<MeshFace> faces;
  std::vector<GroupDesc> groups;
  std::vector<MorphKey> morph;
  std::vector<NodeDesc> children;
};

struct MaterialDesc {
  std::string name;
  std::array<MapSlot, kMapSlotCount> maps;  // written in slot order, amount then file name
};

struct SceneDesc {
  int32_t headerWord1 = 0;
  std::optional<int32_t> headerWord2;  // unset: the frame of the latest key in the scene
  std::vector<NodeDesc> nodes;
  std::vector<MaterialDesc> materials;
};

// Key helpers: a key at a frame with all spline parameters 0.
VectorKey StillVectorKey(int32_t frame, const Vector3& value);
ScalarKey StillScalarKey(int32_t frame, float value);
RotationKey StillRotationKey(int32_t frame, const Quaternion& value);

// A node that stands still: one position key at frame 0, identity rotation and unit scale where
// its kind has them.
NodeDesc StillNode(NodeKind kind, const std::string& name, const Vector3& position);

// A still square mesh of side 2 * half centred on centre in the x-z plane, facing -y: four
// vertices, two faces with texture coordinates 0..1, one group of both faces.
NodeDesc SquareMesh(const std::string& name, const Vector3& centre, float half, int32_t material);

int32_t LatestKeyFrame(const SceneDesc& desc);

// Writes the scene file into *bytes. Refuses, with *why set and *bytes left empty, what the
// file cannot carry: a node of the scene kind or of no node kind at all (its type code would
// end the list it stands in or mean another kind), and a name with a zero byte inside (the
// reader would stop at it).
bool WriteScene(const SceneDesc& desc, std::vector<uint8_t>* bytes, std::string* why);
// The same for descriptions known to be writable; empty when refused.
std::vector<uint8_t> WriteScene(const SceneDesc& desc);

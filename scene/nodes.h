// The node classes of a scene tree. Every node has a lower-cased name, a parent, owned
// children, an animated position and a local matrix; the concrete classes add meshes, cameras,
// camera targets, target lights, point lights and transform-only nodes. Nodes read their own
// records, prepare their tracks once, and compute position and matrix for a frame time;
// meshes draw themselves through their groups' draw styles.
//
// Node matrices are built from the conjugate rotation (the transpose of the textbook matrix),
// with the quaternion's components first multiplied by the float nearest sqrt 2.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "anim/tracks.h"
#include "anim/vecmath.h"
#include "scene/material.h"

class RecordReader;

enum NodeKind : int32_t {
  kSceneKind = 0,
  kMeshKind = 1,
  kCameraKind = 2,
  kTargetKind = 3,
  kTargetLightKind = 4,
  kLightKind = 5,
  kDummyKind = 6,
};

// Longest node name the files may hold (bytes before the zero).
constexpr size_t kMaxNodeName = 127;

class SceneNode {
 public:
  SceneNode(SceneNode* parentNode, NodeKind nodeKind) : kind(nodeKind), parent(parentNode) {}
  virtual ~SceneNode() = default;
  SceneNode(const SceneNode&) = delete;
  SceneNode& operator=(const SceneNode&) = delete;

  // Parses the node record; false (problem in the reader) on malformed data.
  virtual bool Read(RecordReader& reader) = 0;
  virtual void Prepare() = 0;
  // Position and matrix at a frame time. With checkVisibility, a mesh or dummy that its
  // visibility track hides keeps the values of its last evaluation.
  virtual void Evaluate(float frame, bool checkVisibility) = 0;
  virtual bool IsDrawable() const { return false; }

  std::string name;
  NodeKind kind;
  SceneNode* parent;
  std::vector<std::unique_ptr<SceneNode>> children;
  VectorTrack positionTrack;
  Vector3 position;
  Matrix4 matrix = Matrix4::Identity();
  ToggleTrack visibilityTrack;

 protected:
  bool ReadName(RecordReader& reader);
};

// The local matrix of a full transform: conjugate rotation of q, columns scaled by s, translated
// by p.
Matrix4 NodeMatrix(const Quaternion& q, const Vector3& s, const Vector3& p);

class DrawableNode : public SceneNode {
 public:
  using SceneNode::SceneNode;
  bool IsDrawable() const override { return true; }
  virtual void Draw(bool passFlag) = 0;
};

struct FaceGroup {
  int32_t materialIndex = 0;
  uint32_t materialOffset = 0;  // byte offset of the index in the file, for diagnostics
  std::vector<MeshFace> faces;
  const DrawStyle* style = nullptr;  // the scene's; null when the material has none
};

class MeshNode : public DrawableNode {
 public:
  explicit MeshNode(SceneNode* parentNode) : DrawableNode(parentNode, kMeshKind) {}
  ~MeshNode() override;
  bool Read(RecordReader& reader) override;
  void Prepare() override;
  void Evaluate(float frame, bool checkVisibility) override;
  void Draw(bool passFlag) override;

  // Points each group at its material's style (none when the index is outside the list) and
  // marks the mesh see-through when any style's opacity is below 1. Without morph keys and
  // with compile set, also compiles the groups into one display list. When every group would
  // draw nothing at colour alpha 0, a second list holds the same state changes without the
  // faces: Draw calls it instead once the fade has taken the alpha to 0.
  void BindStyles(const std::vector<std::unique_ptr<DrawStyle>>& styles, bool compile);

  bool transparent = false;
  // Middle of the vertices' bounding box in the mesh's own coordinates and half its diagonal
  // (set by BindStyles): the opaque pass draws the meshes whose far end is nearer first.
  Vector3 centre;
  float radius = 0.0f;
  // The vertices' bounding box (set by BindStyles; low > high when there are none).
  Vector3 boundsLow{1.0f, 1.0f, 1.0f}, boundsHigh{-1.0f, -1.0f, -1.0f};
  float frameTime = 0.0f;
  std::vector<Vector3> vertices;
  int32_t fileFaceCount = 0;  // faces in the file's face table (groups hold copies)
  MorphTrack morphTrack;
  std::vector<Vector3> normals;
  std::vector<FaceGroup> groups;
  RotationTrack rotationTrack;
  VectorTrack scaleTrack;
  uint32_t displayList = 0;
  uint32_t stateList = 0;  // 0 when some group shows at alpha 0
  bool displayListInUse = false;

 private:
  void DrawGroups(const Vector3* vertexArray, bool passFlag, bool faces = true) const;
};

class TargetNode : public SceneNode {
 public:
  explicit TargetNode(SceneNode* parentNode) : SceneNode(parentNode, kTargetKind) {}
  bool Read(RecordReader& reader) override;
  void Prepare() override;
  void Evaluate(float frame, bool checkVisibility) override;
};

class CameraNode : public SceneNode {
 public:
  explicit CameraNode(SceneNode* parentNode) : SceneNode(parentNode, kCameraKind) {}
  bool Read(RecordReader& reader) override;
  void Prepare() override;
  void Evaluate(float frame, bool checkVisibility) override;

  ScalarTrack fieldOfViewTrack;
  ScalarTrack rollTrack;
  TargetNode* target = nullptr;
};

class TargetLightNode : public SceneNode {
 public:
  explicit TargetLightNode(SceneNode* parentNode) : SceneNode(parentNode, kTargetLightKind) {}
  bool Read(RecordReader& reader) override;
  void Prepare() override;
  void Evaluate(float, bool) override {}  // its tracks are never evaluated

  float colour[3] = {0.0f, 0.0f, 0.0f};
  ScalarTrack firstTrack;
  ScalarTrack secondTrack;
  TargetNode* target = nullptr;
};

class LightNode : public DrawableNode {
 public:
  explicit LightNode(SceneNode* parentNode) : DrawableNode(parentNode, kLightKind) {}
  bool Read(RecordReader& reader) override;
  void Prepare() override;
  void Evaluate(float frame, bool checkVisibility) override;
  void Draw(bool) override {}

  float attenuation[3] = {1.0f, 1.0f, 1.0f};  // constant, linear, quadratic
  float colour[3] = {0.0f, 0.0f, 0.0f};
  RotationTrack rotationTrack;
  VectorTrack scaleTrack;
};

class DummyNode : public SceneNode {
 public:
  explicit DummyNode(SceneNode* parentNode) : SceneNode(parentNode, kDummyKind) {}
  bool Read(RecordReader& reader) override;
  void Prepare() override;
  void Evaluate(float frame, bool checkVisibility) override;

  RotationTrack rotationTrack;
  VectorTrack scaleTrack;
};

// Creates the node for a file type code 0..5 (null for any other code).
std::unique_ptr<SceneNode> CreateNodeForCode(int32_t code, SceneNode* parent);

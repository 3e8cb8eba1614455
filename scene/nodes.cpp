#include "scene/nodes.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "io/record_reader.h"
namespace {

constexpr uint32_t kVertexBytes = 12;
constexpr uint32_t kFaceBytes = 36;
constexpr uint32_t kGroupMinBytes = 8;
constexpr uint32_t kFaceIndexBytes = 4;

bool ReadColour(RecordReader& r, float* colour) {
  return r.Float(&colour[0]) && r.Float(&colour[1]) && r.Float(&colour[2]);
}

// The full transform of meshes, lights and dummies.
void FullTransform(SceneNode& node, RotationTrack& rotation, VectorTrack& scale, float frame) {
  node.position = node.positionTrack.Evaluate(frame);
  Quaternion q = rotation.Evaluate(frame);
  Vector3 s = scale.Evaluate(frame);
  node.matrix = NodeMatrix(q, s, node.position);
}

}  // namespace

Matrix4 NodeMatrix(const Quaternion& q, const Vector3& s, const Vector3& p) {
  // Scaling each component by sqrt 2 makes every product of two of them a doubled term.
  const float root2 = 1.41421354f;
  const float w = q.w * root2, x = q.x * root2, y = q.y * root2, z = q.z * root2;
  Matrix4 m;
  m.m[0] = (1.0f - y * y - z * z) * s.x;
  m.m[1] = (x * y - w * z) * s.x;
  m.m[2] = (x * z + w * y) * s.x;
  m.m[3] = 0.0f;
  m.m[4] = (x * y + w * z) * s.y;
  m.m[5] = (1.0f - x * x - z * z) * s.y;
  m.m[6] = (y * z - w * x) * s.y;
  m.m[7] = 0.0f;
  m.m[8] = (x * z - w * y) * s.z;
  m.m[9] = (y * z + w * x) * s.z;
  m.m[10] = (1.0f - x * x - y * y) * s.z;
  m.m[11] = 0.0f;
  m.m[12] = p.x;
  m.m[13] = p.y;
  m.m[14] = p.z;
  m.m[15] = 1.0f;
  return m;
}

bool SceneNode::ReadName(RecordReader& r) {
  if (!r.String(&name, kMaxNodeName)) return false;
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return true;
}

std::unique_ptr<SceneNode> CreateNodeForCode(int32_t code, SceneNode* parent) {
  switch (code) {
    case 0:
      return std::make_unique<MeshNode>(parent);
    case 1:
      return std::make_unique<CameraNode>(parent);
    case 2:
      return std::make_unique<TargetNode>(parent);
    case 3:
      return std::make_unique<TargetLightNode>(parent);
    case 4:
      return std::make_unique<LightNode>(parent);
    case 5:
      return std::make_unique<DummyNode>(parent);
    default:
      return nullptr;
  }
}

// ---------------------------------------------------------------- MeshNode

MeshNode::~MeshNode() {
  if (displayList != 0) glDeleteLists(displayList, 1);
  if (stateList != 0) glDeleteLists(stateList, 1);
}

bool MeshNode::Read(RecordReader& r) {
  if (!ReadName(r)) return false;
  int32_t count;
  if (!r.Int(&count) || !r.CheckCount(count, kVertexBytes, "vertex count")) return false;
  const int32_t vertexCount = count;
  std::vector<Vector3> read(static_cast<size_t>(vertexCount));
  for (Vector3& v : read) {
    if (!r.Float(&v.x) || !r.Float(&v.y) || !r.Float(&v.z)) return false;
  }
  vertices = std::move(read);
  normals.assign(vertices.size(), Vector3());

  if (!r.Int(&count) || !r.CheckCount(count, kFaceBytes, "face count")) return false;
  std::vector<MeshFace> faces(static_cast<size_t>(count));
  fileFaceCount = count;
  for (MeshFace& face : faces) {
    for (MeshCorner& corner : face.corners) {
      uint32_t at = r.Offset();
      if (!r.Int(&corner.vertex) || !r.Float(&corner.u) || !r.Float(&corner.v)) return false;
      if (corner.vertex < 0 || corner.vertex >= vertexCount) {
        return r.Fail("vertex index " + std::to_string(corner.vertex) + " out of range", at);
      }
    }
  }

  // Vertex normals: unnormalised (a - b) x (b - c) summed over every face of the table, so
  // larger faces weigh more, then scaled to unit length.
  for (const MeshFace& face : faces) {
    const Vector3& a = vertices[static_cast<size_t>(face.corners[0].vertex)];
    const Vector3& b = vertices[static_cast<size_t>(face.corners[1].vertex)];
    const Vector3& c = vertices[static_cast<size_t>(face.corners[2].vertex)];
    Vector3 n = Cross(a - b, b - c);
    for (const MeshCorner& corner : face.corners) {
      Vector3& sum = normals[static_cast<size_t>(corner.vertex)];
      sum = sum + n;
    }
  }
  for (Vector3& n : normals) {
    float length = Length(n);
    // A vertex on no face (or only on degenerate ones) keeps the zero normal.
    if (length > 0.0f && std::isfinite(length)) n = n * (1.0f / length);
  }

  if (!r.Int(&count) || !r.CheckCount(count, kGroupMinBytes, "group count")) return false;
  const int32_t groupCount = count;
  for (int32_t g = 0; g < groupCount; ++g) {
    FaceGroup group;
    group.materialOffset = r.Offset();
    if (!r.Int(&group.materialIndex) || !r.Int(&count) || !r.CheckCount(count, kFaceIndexBytes, "group face count")) {
      return false;
    }
    group.faces.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
      uint32_t at = r.Offset();
      int32_t index;
      if (!r.Int(&index)) return false;
      if (index < 0 || static_cast<size_t>(index) >= faces.size()) {
        return r.Fail("face index " + std::to_string(index) + " out of range", at);
      }
      group.faces.push_back(faces[static_cast<size_t>(index)]);
    }
    groups.push_back(std::move(group));
  }

  if (!positionTrack.Read(r) || !rotationTrack.Read(r) || !scaleTrack.Read(r) || !visibilityTrack.Read(r)) {
    return false;
  }
  uint32_t morphAt = r.Offset();
  if (!morphTrack.Read(r)) return false;
  // Morphed vertices replace the mesh's own, so they must match them one for one. The record
  // was read whole: only the track goes, the rest of the file is still in step.
  if (morphTrack.KeyCount() > 0 && morphTrack.VertexCount() != vertexCount) {
    morphTrack.Clear();
    r.Note("morph vertex count differs from the mesh's; the morph track is dropped", morphAt);
  }
  return true;
}

void MeshNode::Prepare() {
  morphTrack.Prepare();
  positionTrack.Prepare();
  rotationTrack.Prepare();
  scaleTrack.Prepare();
}

void MeshNode::Evaluate(float frame, bool checkVisibility) {
  if (checkVisibility && !visibilityTrack.Evaluate(frame)) return;
  frameTime = frame;
  FullTransform(*this, rotationTrack, scaleTrack, frame);
}

void MeshNode::BindStyles(const std::vector<std::unique_ptr<DrawStyle>>& styles, bool compile) {
  if (!vertices.empty()) {
    Vector3 low = vertices[0], high = vertices[0];
    for (const Vector3& v : vertices) {
      low = {std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z)};
      high = {std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z)};
    }
    centre = (low + high) * 0.5f;
    radius = Length(high - low) * 0.5f;
    boundsLow = low;
    boundsHigh = high;
  }
  for (FaceGroup& group : groups) {
    group.style = nullptr;
    if (group.materialIndex >= 0 && static_cast<size_t>(group.materialIndex) < styles.size()) {
      group.style = styles[static_cast<size_t>(group.materialIndex)].get();
    }
    if (group.style && group.style->opacity < 1.0f) transparent = true;
  }
  if (morphTrack.KeyCount() != 0 || !compile) return;
  displayList = glGenLists(1);
  if (displayList == 0) return;
  glNewList(displayList, GL_COMPILE);
  DrawGroups(vertices.data(), false);
  glEndList();
  displayListInUse = true;
  bool hidden = true;
  for (const FaceGroup& group : groups) hidden = hidden && (!group.style || group.style->HiddenAtZeroAlpha());
  if (!hidden) return;
  if (stateList != 0) glDeleteLists(stateList, 1);
  stateList = glGenLists(1);
  if (stateList == 0) return;
  glNewList(stateList, GL_COMPILE);
  DrawGroups(vertices.data(), false, false);
  glEndList();
}

void MeshNode::DrawGroups(const Vector3* vertexArray, bool passFlag, bool faces) const {
  static const std::vector<MeshFace> kNoFaces;
  for (const FaceGroup& group : groups) {
    // A group whose material has no style draws nothing.
    if (group.style) group.style->Draw(vertexArray, faces ? group.faces : kNoFaces, normals.data(), passFlag);
  }
}

namespace {

// Whether fragments of colour alpha 0 fail the fixed-function pipeline as it stands: unlit, so
// the alpha is the current colour's, modulated by the texture, and an alpha test that rejects 0.
bool ZeroAlphaRejected() {
  if (glIsEnabled(GL_LIGHTING)) return false;
  GLint function = 0, mode = 0;
  GLfloat reference = 0.0f;
  glGetIntegerv(GL_ALPHA_TEST_FUNC, &function);
  glGetFloatv(GL_ALPHA_TEST_REF, &reference);
  glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &mode);
  if (mode != GL_MODULATE) return false;
  return function == GL_NEVER || (function == GL_GREATER && reference >= 0.0f) ||
         (function == GL_EQUAL && reference > 0.0f) || (function == GL_GEQUAL && reference > 0.0f);
}

}  // namespace

void MeshNode::Draw(bool passFlag) {
  if (!visibilityTrack.State()) return;
  if (!displayListInUse) {
    const Vector3* vertexArray = vertices.data();
    if (morphTrack.KeyCount() != 0) {
      const std::vector<Vector3>& morphed = morphTrack.Evaluate(frameTime);
      if (morphed.size() == vertices.size()) vertexArray = morphed.data();
    }
    DrawGroups(vertexArray, passFlag);
    return;
  }
  if (passFlag) return;
  // The list was compiled without a colour; the first group's style gives the alpha.
  float alpha = (!groups.empty() && groups[0].style) ? groups[0].style->opacity : 1.0f;
  glColor4f(1.0f, 1.0f, 1.0f, alpha);
  // Faded out: the list would only feed the alpha test fragments it rejects.
  glCallList(stateList != 0 && alpha <= 0.0f && ZeroAlphaRejected() ? stateList : displayList);
}

// ---------------------------------------------------------------- CameraNode, TargetNode

bool CameraNode::Read(RecordReader& r) {
  return ReadName(r) && positionTrack.Read(r) && rollTrack.Read(r) && fieldOfViewTrack.Read(r) &&
         visibilityTrack.Read(r);
}

void CameraNode::Prepare() {
  positionTrack.Prepare();
  fieldOfViewTrack.Prepare();
  rollTrack.Prepare();
}

void CameraNode::Evaluate(float frame, bool) {
  position = positionTrack.Evaluate(frame);
  matrix = Matrix4::Identity();
  matrix.m[12] = position.x;
  matrix.m[13] = position.y;
  matrix.m[14] = position.z;
}

bool TargetNode::Read(RecordReader& r) { return ReadName(r) && positionTrack.Read(r); }

void TargetNode::Prepare() { positionTrack.Prepare(); }

void TargetNode::Evaluate(float frame, bool) { position = positionTrack.Evaluate(frame); }

// ---------------------------------------------------------------- lights, dummies

bool TargetLightNode::Read(RecordReader& r) {
  return ReadName(r) && ReadColour(r, colour) && positionTrack.Read(r) && firstTrack.Read(r) &&
         secondTrack.Read(r) && visibilityTrack.Read(r);
}

void TargetLightNode::Prepare() {
  positionTrack.Prepare();
  firstTrack.Prepare();
  secondTrack.Prepare();
}

bool LightNode::Read(RecordReader& r) {
  return ReadName(r) && ReadColour(r, colour) && positionTrack.Read(r) && rotationTrack.Read(r) &&
         scaleTrack.Read(r) && visibilityTrack.Read(r);
}

void LightNode::Prepare() {
  positionTrack.Prepare();
  rotationTrack.Prepare();
  scaleTrack.Prepare();
}

void LightNode::Evaluate(float frame, bool) { FullTransform(*this, rotationTrack, scaleTrack, frame); }

bool DummyNode::Read(RecordReader& r) {
  return ReadName(r) && positionTrack.Read(r) && rotationTrack.Read(r) && scaleTrack.Read(r) &&
         visibilityTrack.Read(r);
}

void DummyNode::Prepare() {
  positionTrack.Prepare();
  rotationTrack.Prepare();
  scaleTrack.Prepare();
}

void DummyNode::Evaluate(float frame, bool checkVisibility) {
  if (checkVisibility && !visibilityTrack.Evaluate(frame)) return;
  FullTransform(*this, rotationTrack, scaleTrack, frame);
}

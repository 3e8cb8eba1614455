#include "scene/scene_writer.h"

#include <algorithm>
#include <cstring>
namespace {

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>* out) : out_(out) {}
  void Int(int32_t v) { Raw(&v, 4); }
  void Float(float v) { Raw(&v, 4); }
  void String(const std::string& s) {
    Raw(s.data(), s.size());
    out_->push_back(0);
  }
  void Vector(const Vector3& v) {
    Float(v.x);
    Float(v.y);
    Float(v.z);
  }
  void Header(const TrackKey& k) {
    Int(k.frame);
    Float(k.tension);
    Float(k.continuity);
    Float(k.bias);
    Float(k.extra1);
    Float(k.extra2);
  }

 private:
  void Raw(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    out_->insert(out_->end(), b, b + n);
  }
  std::vector<uint8_t>* out_;
};

void WriteTrack(ByteWriter& w, int32_t flags, const std::vector<VectorKey>& keys) {
  w.Int(flags);
  w.Int(static_cast<int32_t>(keys.size()));
  for (const auto& k : keys) {
    w.Header(k);
    w.Vector(k.value);
  }
}

void WriteTrack(ByteWriter& w, int32_t flags, const std::vector<ScalarKey>& keys) {
  w.Int(flags);
  w.Int(static_cast<int32_t>(keys.size()));
  for (const auto& k : keys) {
    w.Header(k);
    w.Float(k.value);
  }
}

void WriteTrack(ByteWriter& w, int32_t flags, const std::vector<RotationKey>& keys) {
  w.Int(flags);
  w.Int(static_cast<int32_t>(keys.size()));
  for (const auto& k : keys) {
    w.Header(k);
    w.Float(k.value.w);
    w.Float(k.value.x);
    w.Float(k.value.y);
    w.Float(k.value.z);
  }
}

void WriteTrack(ByteWriter& w, int32_t flags, const std::vector<MorphKey>& keys) {
  w.Int(flags);
  w.Int(static_cast<int32_t>(keys.size()));
  for (const auto& k : keys) {
    w.Header(k);
    w.Int(static_cast<int32_t>(k.value.size()));
    for (const Vector3& v : k.value) w.Vector(v);
  }
}

void WriteToggle(ByteWriter& w, const std::vector<int32_t>& frames) {
  for (int32_t f : frames) w.Int(f);
  w.Int(-1);
}

void WriteNodeList(ByteWriter& w, const std::vector<NodeDesc>& nodes);

void WriteNode(ByteWriter& w, const NodeDesc& n) {
  w.Int(static_cast<int32_t>(n.kind) - 1);
  w.String(n.name);
  const int32_t f = n.trackFlags;
  switch (n.kind) {
    case kMeshKind:
      w.Int(static_cast<int32_t>(n.vertices.size()));
      for (const Vector3& v : n.vertices) w.Vector(v);
      w.Int(static_cast<int32_t>(n.faces.size()));
      for (const MeshFace& face : n.faces) {
        for (const MeshCorner& c : face.corners) {
          w.Int(c.vertex);
          w.Float(c.u);
          w.Float(c.v);
        }
      }
      w.Int(static_cast<int32_t>(n.groups.size()));
      for (const GroupDesc& g : n.groups) {
        w.Int(g.materialIndex);
        w.Int(static_cast<int32_t>(g.faces.size()));
        for (int32_t i : g.faces) w.Int(i);
      }
      WriteTrack(w, f, n.position);
      WriteTrack(w, f, n.rotation);
      WriteTrack(w, f, n.scale);
      WriteToggle(w, n.visibility);
      WriteTrack(w, f, n.morph);
      break;
    case kCameraKind:
      WriteTrack(w, f, n.position);
      WriteTrack(w, f, n.roll);
      WriteTrack(w, f, n.fieldOfView);
      WriteToggle(w, n.visibility);
      break;
    case kTargetKind:
      WriteTrack(w, f, n.position);
      break;
    case kTargetLightKind:
      for (float c : n.colour) w.Float(c);
      WriteTrack(w, f, n.position);
      WriteTrack(w, f, n.firstScalar);
      WriteTrack(w, f, n.secondScalar);
      WriteToggle(w, n.visibility);
      break;
    case kLightKind:
      for (float c : n.colour) w.Float(c);
      [[fallthrough]];
    case kDummyKind:
    default:
      WriteTrack(w, f, n.position);
      WriteTrack(w, f, n.rotation);
      WriteTrack(w, f, n.scale);
      WriteToggle(w, n.visibility);
      break;
  }
  WriteNodeList(w, n.children);
}

void WriteNodeList(ByteWriter& w, const std::vector<NodeDesc>& nodes) {
  for (const NodeDesc& n : nodes) WriteNode(w, n);
  w.Int(-1);
}

template <class Keys>
void Latest(const Keys& keys, int32_t* latest) {
  for (const auto& k : keys) *latest = std::max(*latest, k.frame);
}

void LatestInTree(const std::vector<NodeDesc>& nodes, int32_t* latest) {
  for (const NodeDesc& n : nodes) {
    Latest(n.position, latest);
    Latest(n.rotation, latest);
    Latest(n.scale, latest);
    Latest(n.roll, latest);
    Latest(n.fieldOfView, latest);
    Latest(n.firstScalar, latest);
    Latest(n.secondScalar, latest);
    Latest(n.morph, latest);
    for (int32_t frame : n.visibility) *latest = std::max(*latest, frame);
    LatestInTree(n.children, latest);
  }
}

}  // namespace

VectorKey StillVectorKey(int32_t frame, const Vector3& value) {
  VectorKey k;
  k.frame = frame;
  k.value = value;
  return k;
}

ScalarKey StillScalarKey(int32_t frame, float value) {
  ScalarKey k;
  k.frame = frame;
  k.value = value;
  return k;
}

RotationKey StillRotationKey(int32_t frame, const Quaternion& value) {
  RotationKey k;
  k.frame = frame;
  k.value = value;
  return k;
}

NodeDesc StillNode(NodeKind kind, const std::string& name, const Vector3& position) {
  NodeDesc n(kind, name);
  n.position = {StillVectorKey(0, position)};
  if (kind == kMeshKind || kind == kLightKind || kind == kDummyKind) {
    n.rotation = {StillRotationKey(0, Quaternion::Identity())};
    n.scale = {StillVectorKey(0, {1.0f, 1.0f, 1.0f})};
  }
  return n;
}

NodeDesc SquareMesh(const std::string& name, const Vector3& centre, float half, int32_t material) {
  NodeDesc n = StillNode(kMeshKind, name, centre);
  n.vertices = {{-half, 0, -half}, {half, 0, -half}, {half, 0, half}, {-half, 0, half}};
  MeshFace a, b;
  a.corners[0] = {0, 0.0f, 0.0f};
  a.corners[1] = {1, 1.0f, 0.0f};
  a.corners[2] = {2, 1.0f, 1.0f};
  b.corners[0] = {0, 0.0f, 0.0f};
  b.corners[1] = {2, 1.0f, 1.0f};
  b.corners[2] = {3, 0.0f, 1.0f};
  n.faces = {a, b};
  n.groups = {{material, {0, 1}}};
  return n;
}

int32_t LatestKeyFrame(const SceneDesc& desc) {
  int32_t latest = 0;
  LatestInTree(desc.nodes, &latest);
  return latest;
}

namespace {

bool HasZero(const std::string& text) { return text.find('\0') != std::string::npos; }

// The first thing in the node tree the file cannot carry, or "".
std::string Unwritable(const std::vector<NodeDesc>& nodes) {
  for (const NodeDesc& n : nodes) {
    if (n.kind < kMeshKind || n.kind > kDummyKind) {
      return "node '" + n.name + "' is of kind " + std::to_string(static_cast<int32_t>(n.kind)) +
             ", which has no type code in a scene file";
    }
    if (HasZero(n.name)) return "node name '" + n.name + "' holds a zero byte";
    std::string inChildren = Unwritable(n.children);
    if (!inChildren.empty()) return inChildren;
  }
  return "";
}

std::string Unwritable(const SceneDesc& desc) {
  std::string problem = Unwritable(desc.nodes);
  if (!problem.empty()) return problem;
  for (const MaterialDesc& m : desc.materials) {
    if (HasZero(m.name)) return "material name '" + m.name + "' holds a zero byte";
    for (const MapSlot& slot : m.maps)
      if (HasZero(slot.fileName)) return "map name '" + slot.fileName + "' holds a zero byte";
  }
  return "";
}

}  // namespace

std::vector<uint8_t> WriteScene(const SceneDesc& desc) {
  std::vector<uint8_t> bytes;
  std::string why;
  WriteScene(desc, &bytes, &why);
  return bytes;
}

bool WriteScene(const SceneDesc& desc, std::vector<uint8_t>* out, std::string* why) {
  out->clear();
  std::string problem = Unwritable(desc);
  if (!problem.empty()) {
    if (why) *why = problem;
    return false;
  }
  std::vector<uint8_t>& bytes = *out;
  ByteWriter w(&bytes);
  w.Int(desc.headerWord1);
  w.Int(desc.headerWord2 ? *desc.headerWord2 : LatestKeyFrame(desc));
  WriteNodeList(w, desc.nodes);
  w.Int(-1);
  w.Int(static_cast<int32_t>(desc.materials.size()));
  for (const MaterialDesc& m : desc.materials) {
    w.String(m.name);
    for (const MapSlot& slot : m.maps) {
      w.Float(slot.amount);
      w.String(slot.fileName);
    }
  }
  return true;
}

#include "scene/scene_info.h"

#include <cstdarg>
#include <cstdio>

#include "scene/scene.h"

namespace {

const char* KindName(NodeKind kind) {
  switch (kind) {
    case kSceneKind:
      return "scene";
    case kMeshKind:
      return "mesh";
    case kCameraKind:
      return "camera";
    case kTargetKind:
      return "target";
    case kTargetLightKind:
      return "target-light";
    case kLightKind:
      return "light";
    case kDummyKind:
      return "dummy";
  }
  return "?";
}

std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

template <class Keys>
std::string KeyRange(const char* label, const Keys& keys) {
  if (keys.empty()) return Format(" %s 0", label);
  int32_t first = keys.front().frame, last = keys.back().frame;
  return Format(" %s %zu [%d..%d]", label, keys.size(), first, last);
}

std::string ToggleRange(const ToggleTrack& track) {
  if (track.frames.empty()) return " visibility 0";
  return Format(" visibility %zu [%d..%d]", track.frames.size(), track.frames.front(), track.frames.back());
}

std::string Tracks(const SceneNode& node) {
  std::string text = KeyRange("position", node.positionTrack.keys);
  switch (node.kind) {
    case kMeshKind: {
      const auto& m = static_cast<const MeshNode&>(node);
      text += KeyRange("rotation", m.rotationTrack.keys) + KeyRange("scale", m.scaleTrack.keys) + ToggleRange(m.visibilityTrack) +
              KeyRange("morph", m.morphTrack.keys);
      break;
    }
    case kCameraKind: {
      const auto& c = static_cast<const CameraNode&>(node);
      text += KeyRange("roll", c.rollTrack.keys) + KeyRange("fov", c.fieldOfViewTrack.keys) + ToggleRange(c.visibilityTrack);
      break;
    }
    case kTargetLightKind: {
      const auto& l = static_cast<const TargetLightNode&>(node);
      text += KeyRange("first", l.firstTrack.keys) + KeyRange("second", l.secondTrack.keys) + ToggleRange(l.visibilityTrack);
      break;
    }
    case kLightKind: {
      const auto& l = static_cast<const LightNode&>(node);
      text += KeyRange("rotation", l.rotationTrack.keys) + KeyRange("scale", l.scaleTrack.keys) + ToggleRange(l.visibilityTrack);
      break;
    }
    case kDummyKind: {
      const auto& d = static_cast<const DummyNode&>(node);
      text += KeyRange("rotation", d.rotationTrack.keys) + KeyRange("scale", d.scaleTrack.keys) + ToggleRange(d.visibilityTrack);
      break;
    }
    default:
      break;
  }
  return text;
}

void DescribeTree(const SceneNode& node, int depth, std::string* out) {
  for (const auto& child : node.children) {
    const SceneNode& k = *child;
    *out += std::string(static_cast<size_t>(2 * depth + 2), ' ') + KindName(k.kind) + " '" + k.name + "'";
    if (k.kind == kMeshKind) {
      const auto& m = static_cast<const MeshNode&>(k);
      *out += Format(": %zu vertices, %d faces, %zu groups", m.vertices.size(), m.fileFaceCount, m.groups.size());
      for (const FaceGroup& g : m.groups) *out += Format(" (material %d: %zu faces)", g.materialIndex, g.faces.size());
      if (m.transparent) *out += ", see-through";
    }
    if (k.kind == kLightKind || k.kind == kTargetLightKind) {
      const float* c = k.kind == kLightKind ? static_cast<const LightNode&>(k).colour
                                            : static_cast<const TargetLightNode&>(k).colour;
      *out += Format(": colour %g %g %g", c[0], c[1], c[2]);
    }
    *out += "\n" + std::string(static_cast<size_t>(2 * depth + 4), ' ') + "tracks:" + Tracks(k) + "\n";
    DescribeTree(k, depth + 1, out);
  }
}

const char* StyleName(int32_t code) {
  switch (code) {
    case 1:
      return "lines";
    case 8:
      return "texture";
    case 16:
      return "reflection";
    case 24:
      return "texture+reflection (draws nothing)";
    default:
      return "no style";
  }
}

}  // namespace

std::string DescribeScene(const Scene& scene) {
  std::string out = Format("header words: %d %d\n", scene.headerWord1, scene.headerWord2);
  const CameraNode* camera = scene.Camera();
  if (camera) {
    out += "camera: '" + camera->name + "'" + (camera->target ? " -> target '" + camera->target->name + "'" : " (no target)") + "\n";
  } else {
    out += "camera: none\n";
  }
  out += Format("lights: %d\n", scene.lightCount);
  out += "nodes:\n";
  DescribeTree(scene, 0, &out);
  out += Format("materials: %zu\n", scene.materials.size());
  for (size_t i = 0; i < scene.materials.size(); ++i) {
    const SceneMaterial& m = *scene.materials[i];
    int32_t code = m.StyleCode();
    out += Format("  %zu '%s': style code %d (%s)", i, m.name.c_str(), code, StyleName(code));
    if (i < scene.styles.size() && scene.styles[i]) out += Format(", opacity %g", scene.styles[i]->opacity);
    out += "\n";
    for (size_t slot = 0; slot < m.maps.size(); ++slot) {
      if (m.maps[slot].amount > 0.0f) {
        out += Format("    map %zu: '%s' amount %g\n", slot, m.maps[slot].fileName.c_str(), m.maps[slot].amount);
      }
    }
  }
  return out;
}

std::vector<std::string> SceneWarnings(const Scene& scene) {
  std::vector<std::string> warnings;
  if (!scene.Camera()) {
    warnings.push_back("no camera: the scene draws nothing unless a camera is chosen by name");
  } else if (!scene.Camera()->target) {
    warnings.push_back("camera '" + scene.Camera()->name + "' has no target sibling of the same name: nothing is drawn");
  }
  if (scene.lightCount > 8) warnings.push_back(Format("%d lights: only the first 8 are set up", scene.lightCount));
  return warnings;
}

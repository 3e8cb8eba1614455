// Helpers shared by the scene tests: scenes built with the writer, an in-memory archive to load
// them through DataFile, and a texture table.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "archive/member_lookup.h"
#include "io/data_file.h"
#include "scene/scene.h"
#include "scene/scene_writer.h"
#include "scene/texture_lookup.h"

namespace scenetest {

class MemoryArchive : public MemberLookup {
 public:
  void Add(const std::string& name, std::vector<uint8_t> bytes) { members_[Lower(name)] = std::move(bytes); }
  const uint8_t* GetMemberData(const char* name) const override {
    auto it = members_.find(Lower(name));
    return it == members_.end() ? nullptr : it->second.data();
  }
  int32_t GetMemberSize(const char* name) const override {
    auto it = members_.find(Lower(name));
    return it == members_.end() ? -1 : static_cast<int32_t>(it->second.size());
  }

 private:
  static std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }
  std::map<std::string, std::vector<uint8_t>> members_;
};

class TextureMapLookup : public TextureLookup {
 public:
  bool Find(const std::string& name, uint32_t* texture) const override {
    asked.push_back(name);
    auto it = names.find(name);
    if (it == names.end()) return false;
    *texture = it->second;
    return true;
  }
  std::map<std::string, uint32_t> names;
  mutable std::vector<std::string> asked;
};

// Loads bytes as a scene without touching GL.
inline void LoadBytes(Scene* scene, const std::vector<uint8_t>& bytes, const TextureLookup* textures = nullptr) {
  DataFile file;
  file.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  SceneLoadOptions options;
  options.textures = textures;
  options.compileDisplayLists = false;
  scene->LoadFrom(file, options);
}

inline MaterialDesc TextureMaterial(const std::string& name, const std::string& map, float amount) {
  MaterialDesc m;
  m.name = name;
  m.maps[kTextureMapSlot] = {map, amount};
  return m;
}

inline NodeDesc Square(const std::string& name, const Vector3& c, float half, int32_t material) {
  return SquareMesh(name, c, half, material);
}

// A camera at eye looking at target (a sibling target node of the same name), field of view
// 0.5 (about 57.3 degrees vertically).
inline void AddCamera(SceneDesc* desc, const std::string& name, const Vector3& eye,
                      const Vector3& target, float fov = 0.5f) {
  NodeDesc cam = StillNode(kCameraKind, name, eye);
  cam.fieldOfView = {StillScalarKey(0, fov)};
  cam.roll = {StillScalarKey(0, 0.0f)};
  desc->nodes.push_back(cam);
  desc->nodes.push_back(StillNode(kTargetKind, name, target));
}

}  // namespace scenetest

// A loaded scene file: the root of its node tree, its materials and their draw styles, and the
// camera it is seen through. Load once, then Render once per frame at a frame time.
//
//   Scene scene;
//   scene.Load("data\\city.scx", {&textures});      // textures: a TextureLookup
//   if (SceneNode* n = scene.FindNode("cam01")) scene.SetCamera(n);
//   scene.Render(startFrame + partFrames, nullptr);  // clearing and viewport are the caller's
//
// Loading never fails outright: a malformed file is read up to its first problem (kept in
// LoadProblem / LoadProblemOffset and logged) and the scene keeps what was read before it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/material.h"
#include "scene/nodes.h"

class DataFile;
class TextureLookup;

// Blend settings a caller may hand to Render: GL blend factors for the opaque and the
// see-through pass, and the alpha of the current colour.
struct SceneBlend {
  int32_t opaqueSource = 0;
  int32_t opaqueDestination = 0;
  int32_t seeThroughSource = 0;
  int32_t seeThroughDestination = 0;
  float alpha = 1.0f;
};

struct SceneLoadOptions {
  const TextureLookup* textures = nullptr;  // where material maps find their textures
  bool compileDisplayLists = true;          // false when no GL context is current (tools)
};

// Nesting deeper than this is refused as malformed (it bounds every tree walk's recursion).
constexpr int kMaxSceneDepth = 256;

class Scene : public SceneNode {
 public:
  Scene() : SceneNode(nullptr, kSceneKind) {}
  ~Scene() override;

  // Opens the file through DataFile (archive first, then disk) and reads it. Returns 0.
  int32_t Load(const char* path, const SceneLoadOptions& options = {});
  // Reads from an open DataFile (tools, tests). Returns 0.
  int32_t LoadFrom(DataFile& file, const SceneLoadOptions& options = {});

  // Draws the scene at a frame time into the current GL context.
  void Render(float frame, const SceneBlend* blend);
  // The evaluation pass alone: every node's position and matrix at the frame (no GL).
  void EvaluateTree(float frame);

  // First node, depth-first and parents first, whose name contains text (bytes compared as
  // given; names are lower-case). Null when none.
  SceneNode* FindNode(const std::string& text) const;
  // The mesh numbered n counting meshes from 0 in the same order; null when there are fewer.
  MeshNode* FindMesh(int32_t n) const;

  CameraNode* Camera() const { return camera_; }
  // Makes a camera node the scene's camera. Any other kind of node is refused (false).
  bool SetCamera(SceneNode* node);

  bool Read(RecordReader&) override { return true; }
  void PassToTracks(int32_t) override {}
  void Prepare() override {}
  bool Evaluate(float, CameraNode*, bool) override { return false; }

  // Empty when the file was read to its end without a problem.
  const std::string& LoadProblem() const { return loadProblem_; }
  uint32_t LoadProblemOffset() const { return loadProblemOffset_; }

  std::vector<std::unique_ptr<SceneMaterial>> materials;
  std::vector<std::unique_ptr<DrawStyle>> styles;  // one per material; null where none
  int32_t headerWord1 = 0;
  int32_t headerWord2 = 0;
  int32_t lightCount = 0;
  int32_t enabledLights = 0;

 private:
  bool ReadNodeList(RecordReader& reader, SceneNode* parent, int depth);
  void LinkUp(SceneNode* node);
  void SetUpCamera(float frame);
  void LightPass(SceneNode* node);
  void DrawPass(SceneNode* node, bool seeThrough, bool passFlag);

  CameraNode* camera_ = nullptr;
  std::string loadProblem_;
  uint32_t loadProblemOffset_ = 0;
  bool loggedNoCamera_ = false;
  int32_t depthLeft_ = 0;  // pushes the matrix walk may still make
};

// A loaded scene file: the root of its node tree, its materials and their draw styles, and the
// camera it is seen through. Load once, then Render once per frame at a frame time.
//
//   Scene scene;
//   scene.Load("data\\city.scx", {&textures});      // textures: a TextureLookup
//   if (SceneNode* n = scene.FindNode("cam01")) scene.SetCamera(n);
//   scene.Render(startFrame + partFrames, nullptr);  // clearing and viewport are the caller's
//
// Loading never fails outright: a malformed file is read up to its first problem (kept in
// LoadProblem / LoadProblemOffset and logged) and the scene keeps what was read before it. A
// record that was read whole but cannot be used (a morph track that does not fit its mesh) is
// dropped, noted the same way, and loading goes on.
//
// Render walks the tree on the modelview matrix stack, one entry per level of nesting, from
// the depth at which the caller left the stack. Levels the stack cannot hold are not drawn (the
// rest of the scene is, and the stack is left as it was found); the first such frame is logged.
// Where the order of opaque meshes cannot change the picture (no blending, a LESS or LEQUAL
// depth test, no stencil), they are drawn nearest first, each with the matrix the walk gave
// it, so that a software rasterizer rejects hidden fragments before shading them; only faces
// at exactly equal depth in two meshes could come out otherwise. A mesh that the meshes drawn
// before it surely hide is then not drawn at all (see scene/occlusion.h); the last one always
// is, so the GL state the pass leaves stays the same.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scene/material.h"
#include "scene/nodes.h"
#include "scene/occlusion.h"

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

  // Opens the file through DataFile (archive first, then disk) and reads it.
  void Load(const char* path, const SceneLoadOptions& options = {});
  // Reads from an open DataFile (tools, tests).
  void LoadFrom(DataFile& file, const SceneLoadOptions& options = {});

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
  // Opaque meshes the last Render left out as hidden behind nearer ones.
  int32_t HiddenMeshesSkipped() const { return hiddenSkipped_; }
  // Makes a camera node the scene's camera. Any other kind of node is refused (false).
  bool SetCamera(SceneNode* node);

  bool Read(RecordReader&) override { return true; }
  void Prepare() override {}
  void Evaluate(float, bool) override {}

  // The path given to Load (empty for LoadFrom).
  const std::string& Path() const { return path_; }
  // Levels of nesting in the node tree: 0 without nodes, 1 with top-level nodes only.
  int32_t Depth() const { return depth_; }

  // Empty when the file was read to its end without a problem.
  const std::string& LoadProblem() const { return loadProblem_; }
  // Whether reading stopped at the problem (false: the record was dropped and reading went on).
  bool LoadStopped() const { return loadStopped_; }
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
  // levels: how many more levels of nesting the modelview stack can take.
  void LightPass(SceneNode* node, int32_t levels);
  const char* Label() const { return path_.empty() ? "(from memory)" : path_.c_str(); }
  void DrawPass(SceneNode* node, int32_t levels, bool seeThrough, bool passFlag);
  // The opaque pass when its order is free: the visible opaque meshes with their matrices,
  // drawn nearest first (ties in tree order).
  static bool OpaqueOrderIsFree();
  void CollectOpaque(SceneNode* node, int32_t levels, const float* projection);
  void DrawOpaqueNearestFirst(int32_t levels);
  // Whether everything the mesh could draw under toClip (projection times modelview, column
  // order) lies behind what the grid holds; and adding what it drew to the grid.
  bool HiddenByEarlierMeshes(const MeshNode& mesh, const double* toClip) const;
  void AddOccluder(const MeshNode& mesh, const double* toClip, bool counterClockwiseFront);

  struct OpaqueDraw {
    MeshNode* mesh;
    float distance;  // along the view, of the far end of the mesh's bounding sphere
    float modelview[16];
  };
  std::vector<OpaqueDraw> opaqueDraws_;
  OcclusionGrid occlusion_;
  std::vector<WindowPoint> windowPoints_;  // scratch: one mesh's vertices in window coordinates
  std::vector<uint8_t> occluderUsable_;     // scratch: which of them lie between near and far
  int32_t hiddenSkipped_ = 0;
  struct ViewState {
    int32_t viewport[4] = {};
    float depthRange[2] = {0.0f, 1.0f};
  } view_;  // the opaque pass's view, read once

  CameraNode* camera_ = nullptr;
  std::string path_;
  std::string loadProblem_;
  uint32_t loadProblemOffset_ = 0;
  int32_t depth_ = 0;
  bool loadStopped_ = false;
  bool loggedNoCamera_ = false;
  bool loggedTooDeep_ = false;
};

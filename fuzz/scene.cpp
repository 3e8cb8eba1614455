// Loads arbitrary bytes as a scene file, then evaluates, searches and describes what was read.
#include <cstddef>
#include <cstdint>

#include "io/data_file.h"
#include "scene/scene.h"
#include "scene/scene_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0x7fffffff) return 0;
  DataFile file;
  file.OpenMemory(data, static_cast<int32_t>(size));
  Scene scene;
  SceneLoadOptions options;
  options.compileDisplayLists = false;
  scene.LoadFrom(file, options);
  for (float frame : {-10.0f, 0.0f, 0.5f, 7.25f, 1e6f, 3.0f}) scene.EvaluateTree(frame);
  for (int32_t n = 0; n < 4; ++n) {
    if (MeshNode* mesh = scene.FindMesh(n)) mesh->morphTrack.Evaluate(mesh->frameTime);
  }
  scene.FindNode("a");
  scene.SetCamera(scene.FindNode(""));
  DescribeScene(scene);
  SceneWarnings(scene);
  return 0;
}

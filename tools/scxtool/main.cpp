// scxtool: looks into scene files.
//   scxtool info FILE.scx    the node tree, tracks, meshes, materials, camera and lights
//   scxtool check FILE.scx   validates the file; exits 1 naming the first problem and its byte offset
//   scxtool sample FILE.scx  writes a small scene (camera and target, a textured mesh with a child,
//                            a light, an animated dummy) to start from or to test with
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "io/data_file.h"
#include "scene/scene.h"
#include "scene/scene_info.h"
#include "scene/scene_writer.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: scxtool info FILE.scx   print the node tree, materials, camera and lights\n"
               "       scxtool check FILE.scx  validate; exit 1 naming the first problem and its byte offset\n"
               "       scxtool sample FILE.scx write a small sample scene\n");
  return 2;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>* bytes) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

std::vector<uint8_t> SampleScene() {
  SceneDesc d;
  NodeDesc camera = StillNode(kCameraKind, "camera01", {0, -20, 5});
  camera.fieldOfView = {StillScalarKey(0, 0.6f)};
  camera.roll = {StillScalarKey(0, 0.0f)};
  camera.position.push_back(StillVectorKey(100, {10, -20, 5}));
  d.nodes.push_back(camera);
  d.nodes.push_back(StillNode(kTargetKind, "camera01", {0, 0, 0}));
  NodeDesc box = SquareMesh("box", {0, 0, 0}, 1.0f, 0);
  box.visibility = {0, 50, 60};
  box.children.push_back(StillNode(kDummyKind, "box.pivot", {0, 0, 2}));
  d.nodes.push_back(box);
  NodeDesc spin = StillNode(kDummyKind, "spinner", {0, 5, 0});
  spin.rotation.push_back(StillRotationKey(100, {0.0f, 0.0f, 0.0f, 1.0f}));
  d.nodes.push_back(spin);
  NodeDesc lamp = StillNode(kLightKind, "lamp", {5, -5, 10});
  lamp.colour[2] = 0.8f;
  d.nodes.push_back(lamp);
  MaterialDesc stone;
  stone.name = "stone";
  stone.maps[kTextureMapSlot] = {"C:\\maps\\stone.bmp", 1.0f};
  d.materials.push_back(stone);
  return WriteScene(d);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  const std::string command = argv[1];
  const char* path = argv[2];
  if (command == "sample") {
    std::vector<uint8_t> sample = SampleScene();
    FILE* f = std::fopen(path, "wb");
    if (!f || std::fwrite(sample.data(), 1, sample.size(), f) != sample.size() || std::fclose(f) != 0) {
      std::fprintf(stderr, "scxtool: cannot write '%s': %s\n", path, std::strerror(errno));
      return 1;
    }
    return 0;
  }
  if (command != "info" && command != "check") return Usage();
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes)) {
    std::fprintf(stderr, "scxtool: cannot read '%s': %s\n", path, std::strerror(errno));
    return 1;
  }
  if (bytes.size() > 0x7fffffffu) {
    std::fprintf(stderr, "scxtool: '%s' is too large\n", path);
    return 1;
  }
  Scene scene;
  DataFile file;
  file.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  SceneLoadOptions options;
  options.compileDisplayLists = false;
  scene.LoadFrom(file, options);

  if (command == "info") {
    std::fputs(DescribeScene(scene).c_str(), stdout);
    if (!scene.LoadProblem().empty()) {
      std::fprintf(stderr, "scxtool: %s: %s at byte %u (%s)\n", path, scene.LoadProblem().c_str(),
                   scene.LoadProblemOffset(), scene.LoadStopped() ? "shown up to there" : "the rest is shown");
      return 1;
    }
    return 0;
  }
  if (!scene.LoadProblem().empty()) {
    std::fprintf(stderr, "%s: %s at byte %u\n", path, scene.LoadProblem().c_str(), scene.LoadProblemOffset());
    return 1;
  }
  for (const std::string& warning : SceneWarnings(scene)) std::printf("%s: warning: %s\n", path, warning.c_str());
  std::printf("%s: ok (%zu bytes, %zu top-level nodes, %zu materials)\n", path, bytes.size(), scene.children.size(),
              scene.materials.size());
  return 0;
}

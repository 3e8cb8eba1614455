// scxtool: looks into scene files.
//   scxtool info FILE.scx    the node tree, tracks, meshes, materials, camera and lights
//   scxtool check FILE.scx   validates the file; exits 1 naming the first problem and its byte offset
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "io/data_file.h"
#include "scene/scene.h"
#include "scene/scene_info.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: scxtool info FILE.scx   print the node tree, materials, camera and lights\n"
               "       scxtool check FILE.scx  validate; exit 1 naming the first problem and its byte offset\n");
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  const std::string command = argv[1];
  if (command != "info" && command != "check") return Usage();
  const char* path = argv[2];
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
      std::fprintf(stderr, "scxtool: %s: %s at byte %u (shown up to there)\n", path, scene.LoadProblem().c_str(),
                   scene.LoadProblemOffset());
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

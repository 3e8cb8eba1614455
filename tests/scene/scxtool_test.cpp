// The scene tool on files the writer makes: info lists what is there, check passes a sound file
// and names the offset of a damaged byte.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "scene_fixtures.h"

using namespace scenetest;

namespace {

struct ToolResult {
  int status = -1;
  std::string output;
};

ToolResult RunTool(const std::string& args) {
  ToolResult result;
  std::string command = std::string(QUILLON_BINARY_DIR) + "/scxtool " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  int raw = pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

std::string WriteTemp(const std::string& name, const std::vector<uint8_t>& bytes) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("scxtool_test_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string path = (dir / name).string();
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  return path;
}

}  // namespace

TEST(SceneTool, InfoAndCheckOnWrittenAndDamagedFiles) {
  if (!std::filesystem::exists(std::string(QUILLON_BINARY_DIR) + "/scxtool")) GTEST_SKIP() << "scxtool not built";
  SceneDesc d;
  AddCamera(&d, "Cam01", {0, -10, 0}, {0, 0, 0});
  NodeDesc mesh = Square("Floor", {0, 0, 0}, 1.0f, 0);
  mesh.position.push_back(StillVectorKey(90, {1, 0, 0}));
  mesh.children.push_back(StillNode(kLightKind, "Lamp", {0, 0, 5}));
  d.nodes.push_back(mesh);
  d.materials.push_back(TextureMaterial("Stone", "C:\\Maps\\Stone.BMP", 0.5f));
  std::vector<uint8_t> bytes = WriteScene(d);
  std::string good = WriteTemp("good.scx", bytes);

  ToolResult info = RunTool("info " + good);
  EXPECT_EQ(info.status, 0) << info.output;
  for (const char* expected : {"camera: 'cam01' -> target 'cam01'", "lights: 1", "mesh 'floor': 4 vertices, 2 faces, 1 groups",
                               "position 2 [0..90]", "light 'lamp'", "style code 8 (texture), opacity 0.5",
                               "map 1: 'C:\\Maps\\Stone.BMP'"}) {
    EXPECT_NE(info.output.find(expected), std::string::npos) << expected << "\n" << info.output;
  }

  ToolResult check = RunTool("check " + good);
  EXPECT_EQ(check.status, 0) << check.output;
  EXPECT_NE(check.output.find("ok"), std::string::npos);

  // Damage the mesh's type code: it follows the camera and target records.
  SceneDesc before;
  AddCamera(&before, "Cam01", {0, -10, 0}, {0, 0, 0});
  const size_t at = WriteScene(before).size() - 12;  // less the list's -1 and the material header
  int32_t code;
  std::memcpy(&code, &bytes[at], 4);
  ASSERT_EQ(code, 0);
  bytes[at] = 7;
  std::string damaged = WriteTemp("damaged.scx", bytes);
  ToolResult bad = RunTool("check " + damaged);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("type code 7 outside 0..5 at byte " + std::to_string(at)), std::string::npos) << bad.output;

  // The sample scene the tool writes checks clean.
  std::string sample = std::filesystem::path(good).parent_path() / "sample.scx";
  EXPECT_EQ(RunTool("sample " + sample).status, 0);
  ToolResult sampleCheck = RunTool("check " + sample);
  EXPECT_EQ(sampleCheck.status, 0) << sampleCheck.output;
  EXPECT_EQ(sampleCheck.output.find("warning"), std::string::npos) << sampleCheck.output;

  EXPECT_NE(RunTool("check /nonexistent/x.scx").status, 0);
  EXPECT_EQ(RunTool("frobnicate " + good).status, 2);
  std::filesystem::remove_all(std::filesystem::path(good).parent_path());
}

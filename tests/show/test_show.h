// A small generated show for the renderer tests: pictures written with libjpeg and libpng, two
// scenes from the scene writer, the star mesh, and a script with parts, an added scene and every
// effect. Written into a fresh directory that DataFile reads through the disk fallback.
#pragma once

#include <string>
#include <vector>

#include "scene/scene_writer.h"
#include "tests/io/image_writer.h"
#include "tests/scene/scene_fixtures.h"
#include "tests/show/show_writer.h"

namespace testshow {

inline std::vector<uint8_t> SolidRgb(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0; i < rgb.size(); i += 3) rgb[i] = r, rgb[i + 1] = g, rgb[i + 2] = b;
  return rgb;
}

// Camera "camera01" at (0, -10, 0) looking at the origin; one square mesh.
inline SceneDesc OneSquareScene(const std::string& mesh, const std::string& map, float half,
                                std::vector<VectorKey> position) {
  SceneDesc d;
  scenetest::AddCamera(&d, "camera01", {0, -10, 0}, {0, 0, 0});
  d.materials.push_back(scenetest::TextureMaterial("paint", map, 1.0f));
  NodeDesc square = scenetest::Square(mesh, {0, 0, 0}, half, 0);
  square.position = std::move(position);
  d.nodes.push_back(square);
  return d;
}

// "box.scx": a red square sliding from x = -2 at frame 0 to x = 2 at frame 60.
// "extra.scx": a green square standing behind the origin (y = 3).
inline void WriteScenes(const std::string& dir) {
  testimg::WriteFile(dir + "/data/box.scx",
                     WriteScene(OneSquareScene("plate", "C:\\Maps\\Red.BMP", 1.5f,
                                               {StillVectorKey(0, {-2, 0, 0}), StillVectorKey(60, {2, 0, 0})})));
  testimg::WriteFile(dir + "/data/extra.scx",
                     WriteScene(OneSquareScene("front", "green.bmp", 1.0f, {StillVectorKey(0, {0, 3, 0})})));
}

inline void WritePictures(const std::string& dir) {
  testimg::WriteFile(dir + "/data/loading.jpg", testimg::EncodeJpeg(640, 480, SolidRgb(640, 480, 90, 90, 90)));
  testimg::WriteFile(dir + "/data/title.jpg", testimg::EncodeJpeg(640, 480, SolidRgb(640, 480, 0, 0, 200)));
  testimg::WriteFile(dir + "/data/red.jpg", testimg::EncodeJpeg(16, 16, SolidRgb(16, 16, 255, 0, 0)));
  testimg::WriteFile(dir + "/data/2.jpg", testimg::EncodeJpeg(16, 16, SolidRgb(16, 16, 255, 255, 255)));
  testimg::WriteFile(dir + "/data/glow.jpg", testimg::EncodeJpeg(16, 16, SolidRgb(16, 16, 255, 200, 100)));
  testimg::WriteFile(dir + "/data/green.png",
                     testimg::EncodePng(16, 16, PNG_COLOR_TYPE_RGB, 8, SolidRgb(16, 16, 0, 255, 0)));
  testimg::WriteFile(dir + "/data/star.ob3", StarOb3(300));
}

// Timeline part 0: box with the fullscreen image behind it and extra chained on top.
// Timeline part 1: box with droid1 and droid3.
// Timeline part 2: extra on a texture background with a texture foreground, tunnel and droid2.
// Timeline part 3: the last entry, which the player never draws.
inline std::vector<std::string> ScriptLines() {
  return {"[textures]", "title.jpg fullscreen", "red.jpg", "green.png", "glow.jpg", "2.jpg", "",
          "[scenes]", "box.scx", "extra.scx", "",
          "[part]", "box.scx", "2000", "0", "cam", "title.jpg", "standard",
          "[addpart]", "extra.scx", "0", "camera01",
          "[part]", "box.scx", "4000", "0", "camera01", "standard", "standard",
          "[addeffect]", "droid1", "glow.jpg", "0", "3000", "90",
          "[addeffect]", "droid3", "glow.jpg", "0", "3000", "90",
          "[part]", "extra.scx", "6000", "0", "camera01", "red.jpg", "green.png",
          "[addeffect]", "tunnel", "glow.jpg", "0", "3000", "90",
          "[addeffect]", "droid2", "glow.jpg", "0", "1", "90",
          "[part]", "box.scx", "8000", "0", "camera01", "standard", "standard",
          ""};
}

inline std::string WriteShow(const std::string& name, const std::vector<std::string>& script = ScriptLines()) {
  std::string dir = testimg::FreshDir(name);
  WritePictures(dir);
  WriteScenes(dir);
  testimg::WriteFile(dir + "/script.txt", ScriptBytes(script));
  return dir;
}

}  // namespace testshow

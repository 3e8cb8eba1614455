// script.txt from the timeline, the star mesh, and the content as a whole.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

#include "archive/ace_packer.h"
#include "tools/contentgen/canvas.h"
#include "tools/contentgen/content.h"
#include "tools/contentgen/geometry.h"
#include "tools/contentgen/timeline.h"

namespace {

// Fullscreen pictures (640 x 480); every other picture is a texture.
bool IsFullscreen(const std::string& name) {
  static const char* const kFullscreen[] = {"sky.jpg",   "dusk.jpg",     "nebula.jpg",   "presents.png",
                                            "title.png", "small.png",    "rise.png",     "credits1.png",
                                            "credits2.png", "credits3.png", "haze.jpg"};
  for (const char* f : kFullscreen)
    if (name == f) return true;
  return false;
}

}  // namespace

void MakeScript(Content* content) {
  std::vector<PartPlan> parts = ShowTimeline();
  std::ostringstream s;
  auto line = [&s](const std::string& text) { s << text << "\r\n"; };
  line("[mp3]");
  line("soundtrack.mp3");
  line("");
  line("[textures]");
  for (const auto& [path, bytes] : content->files) {
    if (path.rfind("data/", 0) != 0) continue;
    std::string name = path.substr(5);
    bool picture = name.size() > 4 && (name.compare(name.size() - 4, 4, ".jpg") == 0 ||
                                       name.compare(name.size() - 4, 4, ".png") == 0);
    if (!picture || name == "loading.jpg") continue;  // the loading screen is built before the script
    line(IsFullscreen(name) ? name + " fullscreen" : name);
  }
  line("");
  line("[scenes]");
  for (const auto& [path, bytes] : content->files)
    if (path.size() > 4 && path.compare(path.size() - 4, 4, ".scx") == 0) line(path.substr(5));
  line("");
  for (size_t i = 0; i < parts.size(); ++i) {
    const PartPlan& p = parts[i];
    line("[part]");
    line(p.scene);
    line(std::to_string(p.endMs));
    line(std::to_string(p.startFrame));
    line(p.camera);
    line(p.background);
    line(p.foreground);
    for (const ChainPlan& c : p.chain) {
      if (c.effect) {
        line("[addeffect]");
        line(c.name);
        line(c.texture);
        line(std::to_string(c.startFrame));
        line(std::to_string(c.speed));
        line(std::to_string(c.fieldOfView));
      } else {
        line("[addpart]");
        line(c.name);
        line(std::to_string(c.startFrame));
        line(c.camera);
      }
    }
  }
  std::string text = s.str();
  content->files["script.txt"] = std::vector<uint8_t>(text.begin(), text.end());

  Coverage& cov = content->coverage;
  for (const PartPlan& p : parts)
    for (const ChainPlan& c : p.chain)
      if (c.effect) cov.effects[c.name]++;
}

// The star the ring effects fly: five points, thick in the middle, texture coordinates across
// its face, in 16-bit units (coordinates in object units, texture coordinates in 1/256).
void MakeStarMesh(Content* content) {
  Mesh m;
  AddStar(&m, {0, 0, 0}, 520, 210, 160, 5, 0);
  std::vector<uint8_t> out;
  auto put16 = [&out](int v) {
    int16_t s = static_cast<int16_t>(v);
    out.push_back(static_cast<uint8_t>(s & 0xFF));
    out.push_back(static_cast<uint8_t>((s >> 8) & 0xFF));
  };
  put16(static_cast<int>(m.vertices.size()));
  put16(static_cast<int>(m.tris.size()));
  for (const auto& v : m.vertices) {
    put16(static_cast<int>(std::lround(v.x)));
    put16(static_cast<int>(std::lround(v.y)));
    put16(static_cast<int>(std::lround(v.z)));
  }
  for (const auto& t : m.tris) {
    put16(t.v[0]);
    put16(t.v[1]);
    put16(t.v[2]);
    put16(0);  // group
    // u = s / 256 and v = 1 - t / 256.
    for (int c = 0; c < 3; ++c) {
      put16(static_cast<int>(std::lround(t.uv[c * 2] * 256)));
      put16(static_cast<int>(std::lround((1 - t.uv[c * 2 + 1]) * 256)));
    }
  }
  content->files["data/star.ob3"] = out;
}

bool BuildContent(const std::string& fontPath, Content* content, std::string* why) {
  Font font;
  if (!font.Load(fontPath, why)) return false;
  MakePictures(font, content);
  MakeStarMesh(content);
  MakeScenes(font, content);
  MakeScript(content);
  std::vector<PartPlan> parts = ShowTimeline();
  // The part numbers with behaviour of their own, and what makes each one show.
  Coverage& c = content->coverage;
  auto has = [&](const std::string& f) { return content->files.count("data/" + f) != 0; };
  auto sceneOf = [&](int32_t part) { return part >= 0 && static_cast<size_t>(part) < parts.size() ? parts[static_cast<size_t>(part)].scene : ""; };
  if (sceneOf(kCullingPart) == "glass.scx") c.specialParts.insert(kCullingPart);
  if (has(kLogoScene)) c.specialParts.insert(kLogoParts.first);
  if (sceneOf(kLongViewPlanes.parts.first) == "landscape.scx") c.specialParts.insert(kLongViewPlanes.parts.first);
  if (sceneOf(kNearTenPlanes.parts.first) == "temple.scx") c.specialParts.insert(kNearTenPlanes.parts.first);
  for (const FlashRule& flash : kFlashRules)
    if (has(flash.texture)) c.specialParts.insert(flash.part);
  if (sceneOf(kCloseUpPlanes.parts.first) == "macro.scx" && sceneOf(kCloseUpPlanes.parts.last) == "macro.scx") {
    c.specialParts.insert(kCloseUpPlanes.parts.first);
    c.specialParts.insert(kFrameShift.part);
  }
  const int32_t vanishMs = static_cast<int32_t>(kVanish.afterSeconds * 1000.0f);
  const size_t vanishChain = static_cast<size_t>(kVanish.chainPosition - 1);
  if (static_cast<size_t>(kVanish.part) < parts.size()) {
    const PartPlan& p = parts[static_cast<size_t>(kVanish.part)];
    if (p.chain.size() > vanishChain && !p.chain[vanishChain].effect && p.startMs < vanishMs && p.endMs > vanishMs)
      c.specialParts.insert(kVanish.part);
  }
  const size_t fadeChain = static_cast<size_t>(kStyleFadeChainPosition - 1);
  if (static_cast<size_t>(kStyleFadeFirstPart) < parts.size() &&
      parts[static_cast<size_t>(kStyleFadeFirstPart)].chain.size() > fadeChain &&
      !parts[static_cast<size_t>(kStyleFadeFirstPart)].chain[fadeChain].effect)
    c.specialParts.insert(kStyleFadeFirstPart);
  if (static_cast<size_t>(kFadeOutPart) < parts.size()) {
    const PartPlan& p = parts[static_cast<size_t>(kFadeOutPart)];
    const float fadeFrames = 1.0f / kFadeOutPerFrame;
    if (static_cast<float>(p.endMs - p.startMs) >= fadeFrames * 1000.0f / kFramesPerSecond)
      c.specialParts.insert(kFadeOutPart);
  }
  return true;
}

namespace {
bool MakeDirs(const std::string& path, std::string* why) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) {
        *why = "cannot create " + part + ": " + std::strerror(errno);
        return false;
      }
    }
  }
  return true;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* why) {
  std::string tmp = path + ".part";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    *why = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    *why = "cannot write " + path;
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}
}  // namespace

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes, std::string* why) {
  return WriteFile(path, bytes, why);
}

bool PackContent(const Content& content, std::vector<uint8_t>* archive, std::string* why) {
  AcePacker packer(/*solid=*/true);
  for (const auto& [name, bytes] : content.files) {
    std::string member = name.rfind("data/", 0) == 0 ? "DATA\\" + name.substr(5) : name;
    if (!packer.AddMember(member, bytes.data(), bytes.size())) {
      *why = "cannot pack " + member + ": " + packer.Error();
      return false;
    }
  }
  *archive = packer.Bytes();
  return true;
}

bool WriteContent(const Content& content, const std::string& dir, std::string* why) {
  if (!MakeDirs(dir + "/data", why)) return false;
  for (const auto& [name, bytes] : content.files)
    if (!WriteFile(dir + "/" + name, bytes, why)) return false;
  for (const auto& [name, bytes] : content.extras)
    if (!WriteFile(dir + "/" + name, bytes, why)) return false;
  return true;
}

std::string CoverageReport(const Content& content) {
  const Coverage& c = content.coverage;
  std::ostringstream o;
  size_t bytes = 0;
  for (const auto& [name, b] : content.files) bytes += b.size();
  o << "content: " << content.files.size() << " files, " << bytes << " bytes, " << c.scenes << " scenes\n";
  o << "node kinds:";
  for (const char* k : {"MeshNode", "CameraNode", "TargetNode", "TargetLightNode", "LightNode", "DummyNode"}) {
    auto it = c.nodeKinds.find(k);
    o << " " << k << "=" << (it == c.nodeKinds.end() ? 0 : it->second);
  }
  o << "\ntrack kinds (tracks with keys):";
  for (const auto& [k, n] : c.trackKinds) o << "\n  " << k << ": " << n;
  o << "\nstyle codes (materials):";
  for (int code : {1, 8, 16, 24}) {
    auto it = c.styleCodes.find(code);
    o << " " << code << "=" << (it == c.styleCodes.end() ? 0 : it->second);
  }
  o << "\neffects (chain entries):";
  for (const char* e : {"droid1", "droid2", "droid3", "tunnel"}) {
    auto it = c.effects.find(e);
    o << " " << e << "=" << (it == c.effects.end() ? 0 : it->second);
  }
  o << "\nspecial parts used:";
  for (int p : c.specialParts) o << " " << p;
  std::map<int, std::string> what;
  auto text = [](auto... items) {
    std::ostringstream t;
    (t << ... << items);
    return t.str();
  };
  what[kCullingPart] = text("part ", kCullingPart, ": see-through glass with back-face culling");
  what[kLogoParts.first] = text("parts ", kLogoParts.first, "-", kLogoParts.last, ": the logo scene ",
                                    kLogoScene, " over every part");
  what[kLongViewPlanes.parts.first] = text("part ", kLongViewPlanes.parts.first, ": landscape for near ",
                                               kLongViewPlanes.planes.nearPlane, ", far ",
                                               kLongViewPlanes.planes.farPlane);
  what[kNearTenPlanes.parts.first] = text("part ", kNearTenPlanes.parts.first, ": architecture for near ",
                                              kNearTenPlanes.planes.nearPlane);
  for (const FlashRule& flash : kFlashRules)
    what[flash.part] = text("part ", flash.part, ": ", flash.texture, " flashes, then the fade to black");
  what[kCloseUpPlanes.parts.first] = text("parts ", kCloseUpPlanes.parts.first, "-",
                                              kCloseUpPlanes.parts.last, ": close-ups for near ",
                                              kCloseUpPlanes.planes.nearPlane);
  what[kFrameShift.part] = text("part ", kFrameShift.part, ": tracks keyed before the part's start frame (it runs ",
                                    -kFrameShift.frames, " frames behind)");
  what[kVanish.part] = text("part ", kVanish.part, ": a chained scene that vanishes at ", kVanish.afterSeconds, " s");
  what[kStyleFadeFirstPart] = text("parts ", kStyleFadeFirstPart, " on: chain position ",
                                       kStyleFadeChainPosition, " is a see-through scene that fades out");
  what[kFadeOutPart] = text("part ", kFadeOutPart, ": long enough for its ", 1.0f / kFadeOutPerFrame,
                                "-frame fade to black");
  for (const auto& [part, line] : what)
    if (c.specialParts.count(part)) o << "\n  " << line;
  o << "\nlargest scene: " << c.maxTrianglesScene << ", " << c.maxTriangles << " triangles\n";
  return o.str();
}

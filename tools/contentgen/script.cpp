// script.txt from the timeline, the star mesh, and the content as a whole.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "archive/ace_packer.h"
#include "tools/contentgen/canvas.h"
#include "tools/contentgen/content.h"
#include "tools/contentgen/geometry.h"
#include "tools/contentgen/timeline.h"

namespace contentgen {

namespace {

// Fullscreen pictures (640 x 480); every other picture is a texture.
bool IsFullscreen(const std::string& name) {
  static const char* const kFullscreen[] = {"sky.jpg",   "dusk.jpg",     "nebula.jpg",   "presents.png",
                                            "title.png", "small.png",    "rise.png",     "credits1.png",
                                            "credits2.png", "credits3.png"};
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
  if (parts.size() > 1 && parts[1].scene == "glass.scx") c.specialParts.insert(1);
  if (has(kLogoScene)) c.specialParts.insert(16);
  if (parts.size() > 48 && parts[48].scene == "landscape.scx") c.specialParts.insert(48);
  if (parts.size() > 56 && parts[56].scene == "temple.scx") c.specialParts.insert(56);
  if (has("2.jpg")) c.specialParts.insert(57);
  if (has("4.jpg")) c.specialParts.insert(58);
  if (parts.size() > 69 && parts[59].scene == "macro.scx" && parts[69].scene == "macro.scx") {
    c.specialParts.insert(59);
    c.specialParts.insert(69);
  }
  if (parts.size() > 83 && !parts[83].chain.empty() && !parts[83].chain[0].effect && parts[83].startMs < 239000 &&
      parts[83].endMs > 239000)
    c.specialParts.insert(83);
  if (parts.size() > 92 && parts[90].chain.size() >= 2 && !parts[90].chain[1].effect) c.specialParts.insert(90);
  if (parts.size() > 92 && parts[92].endMs - parts[92].startMs >= 128 * 1000 / 30) c.specialParts.insert(92);
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
  static const std::pair<int, const char*> kWhat[] = {
      {1, "part 1: see-through glass with back-face culling"},
      {16, "parts 16-40: the logo scene veltrum_huge.scx over every part"},
      {48, "part 48: landscape for near 20, far 4500"},
      {56, "part 56: architecture for near 10"},
      {57, "part 57: 2.jpg flashes, then the fade to black"},
      {58, "part 58: 4.jpg flashes, then the fade to black"},
      {59, "parts 59-69: close-ups for near 0.05"},
      {69, "part 69: tracks keyed before the part's start frame (it runs 5 frames behind)"},
      {83, "part 83: a chained scene that vanishes at 239 s"},
      {90, "parts 90-92: chain position 2 is a see-through scene that fades out"},
      {92, "part 92: long enough for its 128-frame fade to black"}};
  for (const auto& [part, what] : kWhat)
    if (c.specialParts.count(part)) o << "\n  " << what;
  o << "\nlargest scene: " << c.maxTrianglesScene << ", " << c.maxTriangles << " triangles\n";
  return o.str();
}

}  // namespace contentgen

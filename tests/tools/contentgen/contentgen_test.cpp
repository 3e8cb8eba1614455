// The generated show: reproducible, complete, and shaped the way the player's part renderer
// expects (timeline length and grid, the parts with behaviour of their own, picture sizes).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "archive/ace_archive.h"
#include "io/data_file.h"
#include "io/image_decode.h"
#include "scene/nodes.h"
#include "scene/scene.h"
#include "show/ob3.h"
#include "show/script.h"
#include "tools/contentgen/content.h"
#include "tools/contentgen/timeline.h"
namespace {

// Scenes read without a GL context, so cameras and materials can be looked at.
class ReadingLoaders : public ScriptLoaders {
 public:
  std::shared_ptr<Scene> LoadScene(const std::string& file) override {
    auto scene = std::make_shared<Scene>();
    SceneLoadOptions options;
    options.compileDisplayLists = false;
    scene->Load(file.c_str(), options);
    return scene;
  }
};

class GeneratedShow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    content_ = new Content;
    std::string why;
    ASSERT_TRUE(BuildContent(CONTENTGEN_DEFAULT_FONT, content_, &why)) << why;
    char pattern[] = "/tmp/contentgen_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = new std::string(pattern);
    ASSERT_TRUE(WriteContent(*content_, *dir_, &why)) << why;
  }
  static void TearDownTestSuite() {
    std::string cmd = "rm -rf '" + *dir_ + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir_->c_str());
    delete content_;
    delete dir_;
  }

  // Parses the written script.txt as the player does.
  static ShowTables Parse() {
    DataSource source;
    source.dataDir = *dir_;
    DataSourceScope scope(source);
    ShowTables tables;
    ReadingLoaders loaders;
    ParseScript(tables, loaders);
    return tables;
  }

  static const std::vector<uint8_t>& File(const std::string& name) {
    static const std::vector<uint8_t> kNone;
    auto it = content_->files.find(name);
    return it == content_->files.end() ? kNone : it->second;
  }

  static bool Decode(const std::vector<uint8_t>& bytes, bool png, DecodedImage* image) {
    DataFile f;
    f.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
    return png ? DecodePng(f, image) == kPngOk : DecodeJpeg(f, image) == kJpegOk;
  }

  static Content* content_;
  static std::string* dir_;
};

Content* GeneratedShow::content_ = nullptr;
std::string* GeneratedShow::dir_ = nullptr;

bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

TEST_F(GeneratedShow, TwoGenerationsAndTheirArchivesAreByteIdentical) {
  Content again;
  std::string why;
  ASSERT_TRUE(BuildContent(CONTENTGEN_DEFAULT_FONT, &again, &why)) << why;
  ASSERT_EQ(again.files.size(), content_->files.size());
  for (const auto& [name, bytes] : content_->files) EXPECT_TRUE(again.files[name] == bytes) << name;
  for (const auto& [name, bytes] : content_->extras) EXPECT_TRUE(again.extras[name] == bytes) << name;
  std::vector<uint8_t> a, b;
  ASSERT_TRUE(PackContent(*content_, &a, &why)) << why;
  ASSERT_TRUE(PackContent(again, &b, &why)) << why;
  EXPECT_TRUE(a == b);
}

TEST_F(GeneratedShow, ArchiveHoldsEveryFileUnderItsMemberName) {
  std::vector<uint8_t> bytes;
  std::string why;
  ASSERT_TRUE(PackContent(*content_, &bytes, &why)) << why;
  AceArchive archive;
  ASSERT_EQ(archive.Open(bytes.data(), bytes.size()), static_cast<int32_t>(content_->files.size()));
  EXPECT_TRUE(archive.Solid());
  for (const auto& [name, data] : content_->files) {
    std::string member = name.rfind("data/", 0) == 0 ? "DATA\\" + name.substr(5) : name;
    ASSERT_EQ(archive.GetMemberSize(member.c_str()), static_cast<int32_t>(data.size())) << member;
    EXPECT_EQ(0, std::memcmp(archive.GetMemberData(member.c_str()), data.data(), data.size())) << member;
  }
  EXPECT_NE(archive.GetMemberData("script.txt"), nullptr);
  EXPECT_EQ(archive.GetMemberData("DATA\\script.txt"), nullptr);
}

TEST_F(GeneratedShow, ScriptHasCrLfLinesEndingWithCrLf) {
  const std::vector<uint8_t>& s = File("script.txt");
  ASSERT_GT(s.size(), 2u);
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\n') {
      EXPECT_TRUE(i > 0 && s[i - 1] == '\r') << "lone LF at " << i;
    }
    if (s[i] == '\r') {
      EXPECT_TRUE(i + 1 < s.size() && s[i + 1] == '\n') << "lone CR at " << i;
    }
  }
  EXPECT_EQ(s[s.size() - 2], '\r');
  EXPECT_EQ(s[s.size() - 1], '\n');
}

TEST_F(GeneratedShow, TimelineRunsOnTheBeatGridToAboutFourFortyFive) {
  ShowTables t = Parse();
  EXPECT_TRUE(t.failures.empty()) << t.failures.front();
  ASSERT_EQ(t.timeline.size(), 94u);
  float previous = 0;
  for (size_t i = 0; i < t.timeline.size(); ++i) {
    float end = t.timeline[i].time;
    EXPECT_GT(end, previous) << "part " << i;
    EXPECT_EQ(std::fmod(end, 500.0f), 0.0f) << "part " << i << " does not end on a beat";
    previous = end;
  }
  // The last drawn part ends the show at about 4:45; the entry after it only ends the show.
  EXPECT_NEAR(t.timeline[92].time, 285000.0f, 3000.0f);
  auto length = [&](int part) { return t.timeline[part].time - (part ? t.timeline[part - 1].time : 0.0f); };
  // The logo's frame 0 (20.67 s) falls at the start of part 16; parts 57 and 58 hold their
  // flash and fade; part 92 holds its 128-frame fade; part 83 spans the drop at 239 s.
  EXPECT_LE(t.timeline[15].time, 620.0f / 30 * 1000);
  EXPECT_GT(t.timeline[16].time, 620.0f / 30 * 1000);
  EXPECT_GE(length(57), 1500.0f);
  EXPECT_LE(length(58), 2500.0f);
  EXPECT_GE(length(92), 128.0f / 30 * 1000);
  EXPECT_LT(t.timeline[82].time, 239000.0f);
  EXPECT_GT(t.timeline[83].time, 239000.0f);
}

TEST_F(GeneratedShow, EveryNameTheScriptUsesExists) {
  ShowTables t = Parse();
  for (const auto& [name, texture] : t.textureTable) EXPECT_FALSE(File("data/" + name).empty()) << name;
  for (const auto& [name, slot] : t.imageTable) {
    if (name != "loading") {
      EXPECT_FALSE(File("data/" + name).empty()) << name;
    }
  }
  EXPECT_FALSE(File("data/loading.jpg").empty());
  EXPECT_FALSE(File("data/star.ob3").empty());
  ASSERT_TRUE(t.sceneTable.count(kLogoScene));
  EXPECT_TRUE(t.textureTable.count("2.jpg") && t.textureTable.count("4.jpg"));

  auto picture = [&](const std::string& name) {
    return name == "standard" || t.imageTable.count(name) || t.textureTable.count(name);
  };
  auto checkScene = [&](const std::string& name, const std::string& camera, const std::string& where) {
    auto it = t.sceneTable.find(name);
    ASSERT_TRUE(it != t.sceneTable.end() && it->second) << where << ": scene " << name;
    Scene& scene = *it->second;
    EXPECT_TRUE(scene.LoadProblem().empty()) << name << ": " << scene.LoadProblem();
    SceneNode* node = scene.FindNode(camera);
    ASSERT_TRUE(node && node->kind == kCameraKind) << where << ": camera " << camera << " in " << name;
    EXPECT_NE(static_cast<CameraNode*>(node)->target, nullptr) << where << ": " << camera;
  };
  const std::set<std::string> effects = {"droid1", "droid2", "droid3", "tunnel"};
  for (size_t i = 0; i + 1 < t.timeline.size(); ++i) {
    const PartEntry& p = t.timeline[i];
    std::string where = "part " + std::to_string(i);
    checkScene(p.name, p.camera, where);
    EXPECT_TRUE(picture(p.background)) << where << ": " << p.background;
    EXPECT_TRUE(picture(p.foreground)) << where << ": " << p.foreground;
    for (int32_t k = p.next; k != -1; k = t.addedEntries[k].next) {
      const PartEntry& e = t.addedEntries[k];
      if (e.isEffect) {
        EXPECT_TRUE(effects.count(e.name)) << where << ": effect " << e.name;
        EXPECT_TRUE(t.textureTable.count(e.background)) << where << ": " << e.background;
      } else {
        checkScene(e.name, e.camera, where);
      }
    }
  }
  // Every material map resolves to a listed texture the way the scene loader looks it up.
  for (const auto& [name, scene] : t.sceneTable) {
    ASSERT_TRUE(scene);
    for (const auto& m : scene->materials)
      for (int slot : {kTextureMapSlot, kReflectionMapSlot}) {
        const MapSlot& map = m->maps[slot];
        if (map.amount <= 0) continue;
        std::string base = map.fileName.substr(map.fileName.find_last_of("\\/") + 1);
        for (auto& ch : base) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        ASSERT_TRUE(EndsWith(base, ".bmp")) << name << ": " << map.fileName;
        std::string stem = base.substr(0, base.size() - 4);
        EXPECT_TRUE(t.textureTable.count(stem + ".jpg") || t.textureTable.count(stem + ".png"))
            << name << ": " << map.fileName;
      }
  }
}

TEST_F(GeneratedShow, SpecialPartsAreSetUpForTheirBehaviour) {
  ShowTables t = Parse();
  auto chain = [&](int part, int position) -> const PartEntry* {
    int32_t k = t.timeline[part].next;
    for (int i = 1; i < position && k != -1; ++i) k = t.addedEntries[k].next;
    return k == -1 ? nullptr : &t.addedEntries[k];
  };
  // Part 1: see-through glass, so its back-face culling shows.
  auto seeThrough = [&](const std::string& scene, bool firstOnly) {
    for (const auto& s : t.sceneTable.at(scene)->styles) {
      if (s && s->opacity < 1.0f) return true;
      if (firstOnly) return false;
    }
    return false;
  };
  EXPECT_TRUE(seeThrough(t.timeline[1].name, false));
  // Part 83: its first chained entry is a scene (it vanishes at 239 s).
  const PartEntry* first83 = chain(83, 1);
  ASSERT_NE(first83, nullptr);
  EXPECT_FALSE(first83->isEffect);
  // Parts 90 to 92: chain position 2 is a scene whose first style is see-through from the
  // start, so lowering its opacity fades it.
  for (int part = 90; part <= 92; ++part) {
    const PartEntry* third = chain(part, 2);
    ASSERT_NE(third, nullptr) << part;
    EXPECT_FALSE(third->isEffect) << part;
    EXPECT_TRUE(seeThrough(third->name, true)) << part;
  }
  // Parts 59 to 69 are close-ups for the 0.05 near plane: their cameras stay within a few
  // units of what they look at.
  for (int part = 59; part <= 69; ++part) {
    Scene& scene = *t.sceneTable.at(t.timeline[part].name);
    scene.EvaluateTree(static_cast<float>(t.timeline[part].startFrame));
    auto* cam = static_cast<CameraNode*>(scene.FindNode(t.timeline[part].camera));
    ASSERT_NE(cam, nullptr);
    float eye[3] = {cam->positionTrack.Evaluate(t.timeline[part].startFrame + 10.0f).x,
                    cam->positionTrack.Evaluate(t.timeline[part].startFrame + 10.0f).y,
                    cam->positionTrack.Evaluate(t.timeline[part].startFrame + 10.0f).z};
    Vector3 target = cam->target->positionTrack.Evaluate(t.timeline[part].startFrame + 10.0f);
    float d = std::sqrt((eye[0] - target.x) * (eye[0] - target.x) + (eye[1] - target.y) * (eye[1] - target.y) +
                        (eye[2] - target.z) * (eye[2] - target.z));
    EXPECT_LT(d, 5.0f) << "part " << part;
  }
}

TEST_F(GeneratedShow, LogoStaysInViewOverItsPartsAndLeavesByTheEnd) {
  ShowTables t = Parse();
  Scene& logo = *t.sceneTable.at(kLogoScene);
  SceneNode* pivot = logo.FindNode("logo_pivot");
  ASSERT_NE(pivot, nullptr);
  CameraNode* cam = logo.Camera();
  ASSERT_NE(cam, nullptr);
  // The camera looks along +y from y = -300 with a 40 degree vertical field of view; the
  // picture is 1.277 times as wide as high.
  auto inView = [&](float showTime) {
    float frame = showTime * 30 - 620;
    logo.EvaluateTree(frame);
    Vector3 p = pivot->position;
    float depth = p.y + 300;
    float halfHeight = depth * std::tan(20.0f * 3.14159265f / 180);
    return depth > 1 && std::fabs(p.z) < halfHeight && std::fabs(p.x) < halfHeight * 1.2769f;
  };
  float start = t.timeline[15].time / 1000, end = t.timeline[40].time / 1000;
  for (float s = 620.0f / 30 + 1; s < end - 4; s += 0.5f) EXPECT_TRUE(inView(s)) << "at " << s << " s";
  EXPECT_FALSE(inView(end));
  EXPECT_LT(start, 620.0f / 30 + 1);
}

TEST_F(GeneratedShow, PicturesHaveTheSizesTheTablesNeed) {
  ShowTables t = Parse();
  auto isPowerOfTwo = [](int v) { return v > 0 && (v & (v - 1)) == 0; };
  for (const auto& [name, texture] : t.textureTable) {
    DecodedImage img;
    ASSERT_TRUE(Decode(File("data/" + name), EndsWith(name, ".png"), &img)) << name;
    EXPECT_TRUE(isPowerOfTwo(img.width) && isPowerOfTwo(img.height)) << name;
    EXPECT_LE(std::max(img.width, img.height), 512) << name;
  }
  std::vector<std::string> fullscreen = {"loading.jpg"};
  for (const auto& [name, slot] : t.imageTable)
    if (name != "loading") fullscreen.push_back(name);
  for (const std::string& name : fullscreen) {
    DecodedImage img;
    ASSERT_TRUE(Decode(File("data/" + name), EndsWith(name, ".png"), &img)) << name;
    EXPECT_EQ(img.width, 640) << name;
    EXPECT_EQ(img.height, 480) << name;
  }
  DecodedImage launcher, icon;
  ASSERT_TRUE(Decode(content_->extras.at("launcher.png"), true, &launcher));
  EXPECT_EQ(launcher.width, 180);
  EXPECT_EQ(launcher.height, 182);
  ASSERT_TRUE(Decode(content_->extras.at("icon.png"), true, &icon));
  EXPECT_EQ(icon.width, icon.height);
}

int CountTriangles(const SceneNode& node) {
  int n = 0;
  if (node.kind == kMeshKind)
    for (const FaceGroup& g : static_cast<const MeshNode&>(node).groups) n += static_cast<int>(g.faces.size());
  for (const auto& child : node.children) n += CountTriangles(*child);
  return n;
}

TEST_F(GeneratedShow, EveryPartStaysWithinTheTriangleBudget) {
  ShowTables t = Parse();
  int logo = CountTriangles(*t.sceneTable.at(kLogoScene));
  for (size_t i = 0; i + 1 < t.timeline.size(); ++i) {
    int n = CountTriangles(*t.sceneTable.at(t.timeline[i].name));
    for (int32_t k = t.timeline[i].next; k != -1; k = t.addedEntries[k].next)
      if (!t.addedEntries[k].isEffect) n += CountTriangles(*t.sceneTable.at(t.addedEntries[k].name));
    if (i >= kLogoFirstPart && i <= kLogoLastPart) n += logo;
    EXPECT_LE(n, 20000) << "part " << i;
  }
}

// Pictures whose clear parts must vanish on screen: the glows, rings and flares fade out to
// clear corners, the lit windows stand in clear walls, and the text overlays are clear around
// their letters.
TEST_F(GeneratedShow, PicturesMeantToBeSeeThroughAreSo) {
  auto blackShare = [&](const std::string& name) {
    DecodedImage img;
    EXPECT_TRUE(Decode(File("data/" + name), false, &img)) << name;
    size_t black = 0, n = static_cast<size_t>(img.width) * img.height;
    for (size_t i = 0; i < n; ++i)
      if (img.pixels[i * 3] == 0 && img.pixels[i * 3 + 1] == 0 && img.pixels[i * 3 + 2] == 0) ++black;
    return n ? static_cast<double>(black) / n : 0.0;
  };
  // Shares of clear (alpha 0) and of partly clear pixels, as the player loads them.
  auto alphaShares = [&](const std::string& name, double* clear, double* partial) {
    DecodedImage img;
    ASSERT_TRUE(Decode(File("data/" + name), true, &img)) << name;
    size_t n = static_cast<size_t>(img.width) * img.height, c = 0, p = 0;
    ASSERT_EQ(img.pixels.size(), n * 4) << name;
    for (size_t i = 0; i < n; ++i) {
      uint8_t a = img.pixels[i * 4 + 3];
      c += a == 0;
      p += a != 0 && a != 255;
    }
    *clear = static_cast<double>(c) / n;
    *partial = static_cast<double>(p) / n;
  };
  for (const char* name : {"rings.png", "flare.png", "glow.png", "violetglow.png", "sparkle.png"}) {
    double clear = 0, partial = 0;
    alphaShares(name, &clear, &partial);
    EXPECT_GT(clear, 0.15) << name << ": its corners should drop out";
    EXPECT_GT(partial, 0.0) << name << ": its edges should be smooth";
  }
  // The rings and flares fade out in alpha alone.
  for (const char* name : {"rings.png", "flare.png"}) {
    double clear = 0, partial = 0;
    alphaShares(name, &clear, &partial);
    EXPECT_GT(partial, 0.05) << name << ": its edges should be soft";
  }
  double clear = 0, partial = 0;
  alphaShares("windows.png", &clear, &partial);
  EXPECT_GT(clear, 0.5) << "the dusk city's walls should drop out";
  EXPECT_EQ(partial, 0.0) << "the windows have sharp edges";
  // Textures laid on solid surfaces keep clear of pure black.
  for (const char* name : {"stone.jpg", "metal.jpg", "gold.jpg", "facade.jpg", "terrain.jpg"})
    EXPECT_LT(blackShare(name), 0.01) << name;
  for (const char* name : {"title.png", "credits1.png", "presents.png"}) {
    DecodedImage img;
    ASSERT_TRUE(Decode(File(std::string("data/") + name), true, &img)) << name;
    ASSERT_EQ(img.pixels.size(), static_cast<size_t>(img.width) * img.height * 4) << name;
    size_t clear = 0, solid = 0, n = static_cast<size_t>(img.width) * img.height;
    for (size_t i = 0; i < n; ++i) {
      uint8_t a = img.pixels[i * 4 + 3];
      clear += a == 0;
      solid += a == 255;
    }
    EXPECT_GT(clear, n / 2) << name;
    EXPECT_GT(solid, 500u) << name;
  }
}

// The texture a material map is drawn with, found the way the scene loader looks it up.
std::string TextureOfMap(const ShowTables& t, const std::string& fileName) {
  std::string base = fileName.substr(fileName.find_last_of("\\/") + 1);
  for (auto& ch : base) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (!EndsWith(base, ".bmp")) return base;
  std::string stem = base.substr(0, base.size() - 4);
  return t.textureTable.count(stem + ".jpg") ? stem + ".jpg" : stem + ".png";
}

// Textures that glow over what is behind them (the effects, and materials drawn see-through)
// must not carry dark colour where they are drawn: filtering and blending turn it into dark
// rims around every sprite, ring and glow. Drawn means an alpha above zero after loading (for
// a JPEG: anything but pure black, which loads clear).
TEST_F(GeneratedShow, GlowingTexturesCarryNoDarkColourWhereDrawn) {
  ShowTables t = Parse();
  std::set<std::string> glowing;
  for (const PartEntry& e : t.addedEntries)
    if (e.isEffect) glowing.insert(e.background);
  for (const auto& [name, scene] : t.sceneTable)
    for (const auto& m : scene->materials) {
      const MapSlot& texture = m->maps[kTextureMapSlot];
      const MapSlot& reflection = m->maps[kReflectionMapSlot];
      if (texture.amount > 0 && reflection.amount > 0) continue;  // drawn by nothing
      const MapSlot& map = texture.amount > 0 ? texture : reflection;
      if (map.amount > 0 && map.amount < 1) glowing.insert(TextureOfMap(t, map.fileName));
    }
  for (const char* name : {"sparkle.png", "glow.png", "violetglow.png", "windows.png"})
    EXPECT_TRUE(glowing.count(name)) << name << " is no longer used by an effect or see-through material";
  for (const std::string& name : glowing) {
    const bool png = EndsWith(name, ".png");
    DecodedImage img;
    ASSERT_TRUE(Decode(File("data/" + name), png, &img)) << name;
    const size_t n = static_cast<size_t>(img.width) * img.height, stride = png ? 4 : 3;
    ASSERT_GE(img.pixels.size(), n * stride) << name;  // a JPEG's RGB rows lie packed at the front
    size_t drawn = 0, dark = 0;
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* p = &img.pixels[i * stride];
      if (png ? p[3] == 0 : (p[0] | p[1] | p[2]) == 0) continue;
      ++drawn;
      if (p[0] < 40 && p[1] < 40 && p[2] < 40) ++dark;
    }
    ASSERT_GT(drawn, 0u) << name;
    double share = static_cast<double>(dark) / static_cast<double>(drawn);
    std::printf("%-16s %6.2f%% of %zu drawn pixels dark\n", name.c_str(), share * 100, drawn);
    EXPECT_LE(share, 0.02) << name;
  }
}

TEST_F(GeneratedShow, StarMeshIsAClosedLitSolid) {
  const std::vector<uint8_t>& bytes = File("data/star.ob3");
  DataFile f;
  f.OpenMemory(bytes.data(), static_cast<int32_t>(bytes.size()));
  Ob3Mesh mesh;
  ASSERT_TRUE(ReadOb3(f, 1, &mesh, 3, 1));
  ASSERT_GT(mesh.faceCount, 0);
  EXPECT_EQ(bytes.size(), 4u + 6u * mesh.vertexCount + 20u * mesh.faceCount);
  for (const Ob3Face& face : mesh.faces) {
    for (int v : {face.a, face.b, face.c}) ASSERT_TRUE(v >= 0 && v < mesh.vertexCount);
    for (float uv : face.uv) EXPECT_TRUE(uv >= 0.0f && uv <= 1.0f);
  }
  for (int v = 0; v < mesh.vertexCount; ++v) {
    float x = mesh.vertexNormals[v * 3], y = mesh.vertexNormals[v * 3 + 1], z = mesh.vertexNormals[v * 3 + 2];
    EXPECT_NEAR(x * x + y * y + z * z, 1.0f, 1e-3f) << "vertex " << v;
  }
}

TEST_F(GeneratedShow, CoverageReportShowsEverythingTheShowMustUse) {
  const Coverage& c = content_->coverage;
  for (const char* kind : {"MeshNode", "CameraNode", "TargetNode", "TargetLightNode", "LightNode", "DummyNode"})
    EXPECT_GT(c.nodeKinds.count(kind) ? c.nodeKinds.at(kind) : 0, 0) << kind;
  for (const char* track : {"MorphTrack", "RotationTrack", "ToggleTrack (visibility)", "ScalarTrack (camera roll)",
                            "ScalarTrack (field of view)", "VectorTrack (position)", "VectorTrack (scale)"})
    EXPECT_TRUE(c.trackKinds.count(track)) << track;
  for (int code : {1, 8, 16, 24}) EXPECT_TRUE(c.styleCodes.count(code)) << code;
  for (const char* e : {"droid1", "droid2", "droid3", "tunnel"}) EXPECT_TRUE(c.effects.count(e)) << e;
  for (int p : {1, 16, 48, 56, 57, 58, 59, 69, 83, 90, 92}) EXPECT_TRUE(c.specialParts.count(p)) << p;
  EXPECT_LE(c.maxTriangles, 20000);
  std::string report = CoverageReport(*content_);
  EXPECT_NE(report.find("special parts used: 1 16 48 56 57 58 59 69 83 90 92"), std::string::npos) << report;
}

}  // namespace

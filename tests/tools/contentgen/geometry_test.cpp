// The generator's building blocks: faces wound so that back-face culling keeps the outside
// (textured groups are drawn with culling on), lines packed the way the line style pairs
// corners, tiling noise, and scene clocks that continue from one appearance to the next.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "tools/contentgen/canvas.h"
#include "tools/contentgen/geometry.h"
#include "tools/contentgen/timeline.h"
namespace {

Vector3 FaceNormal(const Mesh& m, const Tri& t) {
  const Vector3 &a = m.vertices[t.v[0]], &b = m.vertices[t.v[1]], &c = m.vertices[t.v[2]];
  return Cross(b - a, c - b);
}
Vector3 Centroid(const Mesh& m, const Tri& t) {
  return (m.vertices[t.v[0]] + m.vertices[t.v[1]] + m.vertices[t.v[2]]) * (1.0f / 3);
}

// Every face of a closed shape around `centre` faces away from it.
void ExpectOutward(const Mesh& m, const Vector3& centre, const char* what) {
  ASSERT_FALSE(m.tris.empty()) << what;
  int wrong = 0;
  for (const Tri& t : m.tris) {
    Vector3 n = FaceNormal(m, t);
    if (Length(n) < 1e-6f) continue;
    if (Dot(n, Centroid(m, t) - centre) <= 0) ++wrong;
  }
  EXPECT_EQ(wrong, 0) << what << ": faces wound inwards";
}

TEST(ContentGeometry, ClosedShapesAreWoundOutwards) {
  Mesh box, sphere, cylinder, crystal, star;
  AddBox(&box, {1, 2, 3}, {2, 4, 6}, 0);
  ExpectOutward(box, {1, 2, 3}, "box");
  AddSphere(&sphere, {0, 0, 5}, 2, 12, 8, 0);
  ExpectOutward(sphere, {0, 0, 5}, "sphere");
  AddCylinder(&cylinder, {0, 0, 0}, 1, 4, 10, 0);
  ExpectOutward(cylinder, {0, 0, 2}, "cylinder");
  AddCrystal(&crystal, {0, 0, 0}, 1, 4, 6, 0.3f, 0);
  ExpectOutward(crystal, {0, 0, 1.2f}, "crystal");
  AddStar(&star, {0, 0, 0}, 5, 2, 1, 5, 0);
  ExpectOutward(star, {0, 0, 0}, "star");
}

TEST(ContentGeometry, TubesFaceOutOrInAsAsked) {
  auto line = [](float t) { return Vector3{0, 0, t * 10}; };
  auto radius = [](float) { return 1.0f; };
  for (bool inward : {false, true}) {
    Mesh m;
    AddTube(&m, line, radius, 8, 8, false, 0, 1, 1, inward);
    int out = 0, in = 0;
    for (const Tri& t : m.tris) {
      Vector3 c = Centroid(m, t);
      (Dot(FaceNormal(m, t), Vector3{c.x, c.y, 0}) > 0 ? out : in)++;
    }
    EXPECT_EQ(inward ? out : in, 0) << (inward ? "tunnel" : "tube");
  }
}

TEST(ContentGeometry, HeightFieldsFaceUpAndTextFacesTheCamera) {
  Mesh ground;
  AddHeightField(&ground, 10, 4, [](float x, float y) { return 0.1f * x * y; }, 0, 1);
  for (const Tri& t : ground.tris) EXPECT_GT(FaceNormal(ground, t).z, 0);
  // A 2 x 2 block of letter cells: the front (material 0) looks down -y, towards the logo's
  // camera.
  std::vector<uint8_t> mask = {255, 255, 255, 255};
  Mesh text;
  AddTextBlocks(&text, mask, 2, 2, 1, 1, 0, 1);
  int fronts = 0;
  for (const Tri& t : text.tris)
    if (t.material == 0) {
      ++fronts;
      EXPECT_LT(FaceNormal(text, t).y, 0);
    }
  EXPECT_EQ(fronts, 4);  // one run per row, two triangles each
  ExpectOutward(text, {0, 0, 0}, "letter block");
}

TEST(ContentGeometry, LinesArePackedAsConsecutiveCornerPairs) {
  std::vector<std::pair<Vector3, Vector3>> lines = {{{0, 0, 0}, {1, 0, 0}}, {{0, 1, 0}, {1, 1, 0}}};
  Mesh m;
  AddLines(&m, lines, 0);
  ASSERT_EQ(m.tris.size(), 2u);  // four corners padded to six
  std::vector<Vector3> corners;
  for (const Tri& t : m.tris)
    for (int c = 0; c < 3; ++c) corners.push_back(m.vertices[t.v[c]]);
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_TRUE(corners[2 * i] == lines[i].first);
    EXPECT_TRUE(corners[2 * i + 1] == lines[i].second);
  }
  // The padding repeats a line already drawn rather than adding a new one.
  EXPECT_TRUE(corners[4] == corners[2] && corners[5] == corners[3]);
}

TEST(ContentPictures, NoiseTilesAndStaysInRange) {
  for (float x : {0.3f, 2.7f, 5.5f})
    for (float y : {0.1f, 3.9f}) {
      EXPECT_NEAR(Noise2(x, y, 5, 8), Noise2(x + 8, y, 5, 8), 1e-5f);
      EXPECT_NEAR(Noise2(x, y, 5, 8), Noise2(x, y + 8, 5, 8), 1e-5f);
      float f = Fbm(x, y, 9, 4, 5);
      EXPECT_TRUE(f >= 0 && f <= 1) << f;
    }
  EXPECT_NE(Noise2(0.5f, 0.5f, 1, 8), Noise2(0.5f, 0.5f, 2, 8));
}

TEST(ContentTimeline, SceneClocksContinueAndEffectsFollowTheShow) {
  std::vector<PartPlan> parts = ShowTimeline();
  std::map<std::string, int32_t> clock;
  for (size_t i = 0; i < parts.size(); ++i) {
    const PartPlan& p = parts[i];
    int32_t frames = (p.endMs - p.startMs) * 3 / 100;
    EXPECT_EQ(p.startFrame, clock[p.scene]) << "part " << i << " " << p.scene;
    clock[p.scene] = p.startFrame + frames;
    for (const ChainPlan& c : p.chain) {
      if (c.effect) {
        EXPECT_EQ(c.startFrame, p.startMs * 3 / 100 + c.shift) << "part " << i;
        // Only the sprite field moves off the show's clock, and only by a few seconds.
        if (c.name != "droid3") {
          EXPECT_EQ(c.shift, 0) << "part " << i;
        }
        EXPECT_LE(std::abs(c.shift), 150) << "part " << i;
      } else {
        EXPECT_EQ(c.startFrame, clock[c.name]) << "part " << i << " " << c.name;
        clock[c.name] = c.startFrame + frames;
      }
    }
  }
  // The scenes' keys are made for exactly these clocks.
  std::map<std::string, int32_t> durations = SceneDurations(parts);
  for (const auto& [scene, end] : clock) EXPECT_EQ(durations[scene], end) << scene;
}

}  // namespace

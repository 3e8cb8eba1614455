// The show's scenes, built as node trees for the scene writer. Every scene runs on its own
// clock (the frames it has been on screen, see timeline.h), so the camera paths and motions
// are functions of that clock sampled into TCB keys. The world is z-up; cameras look along
// their target, and a camera's roll only shows when it looks steeply up or down.
#include <algorithm>
#include <cmath>
#include <functional>

#include "scene/scene_writer.h"
#include "tools/contentgen/canvas.h"
#include "tools/contentgen/content.h"
#include "tools/contentgen/geometry.h"
#include "tools/contentgen/timeline.h"

namespace {
constexpr float kPi = 3.14159265358979f;
constexpr float kTau = 2 * kPi;

int32_t Frame(float seconds) { return static_cast<int32_t>(std::lround(seconds * 30.0f)); }
float Ease(float x) { return SmoothStep(0.0f, 1.0f, x); }

Quaternion Mul(const Quaternion& a, const Quaternion& b) {
  return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}
// The rotation by angle about axis, as a rotation quaternion in the usual sense.
Quaternion Turn(Vector3 axis, float angle) {
  axis = Normalised(axis);
  float s = std::sin(angle / 2);
  return {std::cos(angle / 2), axis.x * s, axis.y * s, axis.z * s};
}

// Sampling of motions into keys. Times are seconds of the scene's own clock.
struct Span {
  float t0, t1, step;
};

// Samples t0, t0 + step, ... and t1 itself into keys, one a frame: a sample that falls on the
// frame of the key before it is dropped. value(t, keys) gives the value at t, seeing the keys
// so far.
template <typename Key, typename Value>
std::vector<Key> SampleKeys(const Span& s, Value value) {
  std::vector<Key> keys;
  for (float t = s.t0;; t += s.step) {
    if (t > s.t1) t = s.t1;
    Key k;
    k.frame = Frame(t);
    k.value = value(t, keys);
    if (keys.empty() || keys.back().frame != k.frame) keys.push_back(k);
    if (t >= s.t1) break;
  }
  return keys;
}

std::vector<VectorKey> SampleVector(const Span& s, const std::function<Vector3(float)>& f) {
  return SampleKeys<VectorKey>(s, [&](float t, const std::vector<VectorKey>&) { return f(t); });
}

std::vector<ScalarKey> SampleScalar(const Span& s, const std::function<float(float)>& f) {
  return SampleKeys<ScalarKey>(s, [&](float t, const std::vector<ScalarKey>&) { return f(t); });
}

// The node matrix turns by the conjugate of the stored quaternion, so the conjugate of the
// wanted rotation is stored; signs are kept continuous so that no segment takes the long way.
std::vector<RotationKey> SampleRotation(const Span& s, const std::function<Quaternion(float)>& f) {
  return SampleKeys<RotationKey>(s, [&](float t, const std::vector<RotationKey>& keys) {
    Quaternion q = f(t);
    q = {q.w, -q.x, -q.y, -q.z};
    if (!keys.empty()) {
      const Quaternion& p = keys.back().value;
      if (p.w * q.w + p.x * q.x + p.y * q.y + p.z * q.z < 0) q = {-q.w, -q.x, -q.y, -q.z};
    }
    return q;
  });
}

std::vector<VectorKey> Still(const Vector3& v) { return {StillVectorKey(0, v)}; }

struct Materials {
  std::vector<MaterialDesc> list;
  int Add(const std::string& name, const std::string& texture, float opacity, const std::string& reflection,
          float amount) {
    MaterialDesc m;
    m.name = name;
    if (!texture.empty()) m.maps[kTextureMapSlot] = {texture, opacity};
    if (!reflection.empty()) m.maps[kReflectionMapSlot] = {reflection, amount};
    list.push_back(m);
    return static_cast<int>(list.size() - 1);
  }
  int Texture(const std::string& name, const std::string& map, float opacity = 1.0f) {
    return Add(name, map, opacity, "", 0);
  }
  int Reflection(const std::string& name, const std::string& map, float amount = 1.0f) {
    return Add(name, "", 0, map, amount);
  }
  int Lines(const std::string& name) { return Add(name, "", 0, "", 0); }
};

NodeDesc MeshNode(const std::string& name, const Mesh& m, const Vector3& position = {}) {
  NodeDesc n(kMeshKind, name);
  n.vertices = m.vertices;
  std::map<int32_t, std::vector<int32_t>> groups;
  for (size_t i = 0; i < m.tris.size(); ++i) {
    const Tri& t = m.tris[i];
    MeshFace f;
    for (int c = 0; c < 3; ++c) f.corners[c] = {t.v[c], t.uv[c * 2], t.uv[c * 2 + 1]};
    n.faces.push_back(f);
    groups[t.material].push_back(static_cast<int32_t>(i));
  }
  for (auto& [material, faces] : groups) n.groups.push_back({material, faces});
  n.position = Still(position);
  n.rotation = {StillRotationKey(0, Quaternion::Identity())};
  n.scale = Still({1, 1, 1});
  return n;
}

NodeDesc Dummy(const std::string& name, const Vector3& position = {}) {
  return StillNode(kDummyKind, name, position);
}

NodeDesc Light(const std::string& name, const Vector3& colour, std::vector<VectorKey> position) {
  NodeDesc n(kLightKind, name);
  n.colour[0] = colour.x;
  n.colour[1] = colour.y;
  n.colour[2] = colour.z;
  n.position = std::move(position);
  n.rotation = {StillRotationKey(0, Quaternion::Identity())};
  n.scale = Still({1, 1, 1});
  return n;
}

// A camera and its target (a sibling of the same name, after it, so that looking the camera
// up by name finds the camera). fov in degrees (vertical), roll in radians.
void AddCamera(std::vector<NodeDesc>* nodes, const std::string& name, const Span& span,
               const std::function<Vector3(float)>& eye, const std::function<Vector3(float)>& target,
               const std::function<float(float)>& fovDegrees, const std::function<float(float)>& roll = nullptr) {
  NodeDesc cam(kCameraKind, name);
  cam.position = SampleVector(span, eye);
  // The field-of-view track holds half the vertical angle in radians.
  cam.fieldOfView = SampleScalar(span, [&](float t) { return fovDegrees(t) * kPi / 360.0f; });
  if (roll)
    cam.roll = SampleScalar(span, roll);
  else
    cam.roll = {StillScalarKey(0, 0.0f)};
  NodeDesc tgt(kTargetKind, name);
  tgt.position = SampleVector(span, target);
  nodes->push_back(std::move(cam));
  nodes->push_back(std::move(tgt));
}

std::function<float(float)> Const(float v) {
  return [v](float) { return v; };
}

Vector3 TorusKnot(float t, float p, float q, float r1, float r2) {
  float a = t * kTau;
  float r = r1 + r2 * std::cos(q * a);
  return {r * std::cos(p * a), r * std::sin(p * a), r2 * std::sin(q * a)};
}

void AddRing(Mesh* m, const Vector3& centre, const Vector3& axisA, const Vector3& axisB, float radius, float thickness,
             int segments, int sides, int32_t material) {
  AddTube(
      m, [&](float t) { return centre + axisA * (radius * std::cos(t * kTau)) + axisB * (radius * std::sin(t * kTau)); },
      [thickness](float) { return thickness; }, segments, sides, true, material, 8, 1);
}

// ------------------------------------------------------------------ the scenes

float Terrain(float x, float y, float scale, float height, uint32_t seed) {
  return (Fbm(x / scale + 50, y / scale + 50, seed, 1 << 20, 5) - 0.45f) * height;
}

SceneDesc Intro(float T) {
  SceneDesc s;
  Materials mats;
  int ground = mats.Texture("ground", "maps\\terrain.bmp");
  int crystal = mats.Texture("crystal", "crystal.bmp");
  int ring = mats.Reflection("ring", "env.bmp");
  auto h = [](float x, float y) { return Terrain(x, y, 220, 90, 7) - 10; };
  Mesh land;
  AddHeightField(&land, 700, 40, h, ground, 6);
  s.nodes.push_back(MeshNode("land", land));
  Mesh crystals;
  for (int i = 0; i < 36; ++i) {
    float x = (Hash01(i, 1, 201) - 0.5f) * 500, y = (Hash01(i, 2, 201) - 0.5f) * 500;
    AddCrystal(&crystals, {x, y, h(x, y) - 2}, 3 + 5 * Hash01(i, 3, 201), 15 + 40 * Hash01(i, 4, 201), 6,
               Hash01(i, 5, 201), crystal);
  }
  s.nodes.push_back(MeshNode("crystals", crystals));
  // The first rings of the tunnel to come, standing along the flight path.
  Mesh rings;
  for (int i = 0; i < 6; ++i) {
    float d = -120 + i * 60.0f;
    Vector3 c{d, d * 0.6f, h(d, d * 0.6f) + 40};
    AddRing(&rings, c, Normalised({-0.6f, 1, 0}), {0, 0, 1}, 28, 1.8f, 32, 6, ring);
  }
  NodeDesc ringNode = MeshNode("rings", rings);
  s.nodes.push_back(ringNode);

  Span span{-1, T + 1, 1.0f};
  auto path = [&](float t) {
    float d = -260 + t * 24;
    return Vector3{d, d * 0.6f, h(d, d * 0.6f) + 45 + 10 * std::sin(t * 0.7f)};
  };
  AddCamera(&s.nodes, "cam_fly", span, path, [&](float t) { return path(t + 2.5f) - Vector3{0, 0, 6}; }, Const(55));
  AddCamera(
      &s.nodes, "cam_low", span,
      [&](float t) {
        float a = 0.25f + t * 0.06f;
        return Vector3{160 * std::cos(a), 160 * std::sin(a), h(160 * std::cos(a), 160 * std::sin(a)) + 9};
      },
      [&](float t) { return Vector3{0, 0, 25 + 5 * std::sin(t)}; }, Const(62));
  AddCamera(
      &s.nodes, "cam_high", span, [](float t) { return Vector3{20 * std::sin(t * 0.3f) - 60, -40, 170 - t * 3}; },
      [](float t) { return Vector3{5 * std::cos(t * 0.2f), 0, 0}; }, Const(62), [](float t) { return t * 0.25f; });
  s.materials = mats.list;
  return s;
}

SceneDesc GlassScene(float T) {
  SceneDesc s;
  Materials mats;
  int glass = mats.Texture("glass", "glass.bmp", 0.55f);
  int core = mats.Texture("core", "gold.bmp");
  int ghost = mats.Add("ghost", "glass.bmp", 1.0f, "env.bmp", 1.0f);  // both maps: the dual style draws nothing
  Span span{-1, T + 1, 0.5f};
  NodeDesc knot = MeshNode("glass_knot", [] {
    Mesh m;
    AddTube(&m, [](float t) { return TorusKnot(t, 2, 3, 6, 2.4f); }, [](float) { return 1.3f; }, 160, 10, true, 0,
            12, 1);
    return m;
  }());
  for (auto& t : knot.groups) t.materialIndex = glass;
  knot.rotation = SampleRotation(span, [](float t) {
    return Mul(Turn({0, 0, 1}, t * 0.8f), Turn({1, 0.3f, 0}, t * 0.5f));
  });
  s.nodes.push_back(knot);
  Mesh balls;
  for (int i = 0; i < 4; ++i) {
    float a = i * kTau / 4;
    AddSphere(&balls, {13 * std::cos(a), 13 * std::sin(a), 2.0f * std::sin(a * 2)}, 3.2f, 16, 12, glass);
  }
  NodeDesc ballNode = MeshNode("glass_balls", balls);
  ballNode.rotation = SampleRotation(span, [](float t) { return Turn({0, 0, 1}, -t * 0.6f); });
  s.nodes.push_back(ballNode);
  Mesh c;
  AddSphere(&c, {0, 0, 0}, 2.2f, 14, 10, core);
  s.nodes.push_back(MeshNode("glass_core", c));
  Mesh g;
  AddBox(&g, {0, 0, 0}, {40, 40, 40}, ghost);
  s.nodes.push_back(MeshNode("bounds_ghost", g));
  AddCamera(
      &s.nodes, "cam_glass", span, [](float t) { return Vector3{30 * std::cos(t * 0.3f), 30 * std::sin(t * 0.3f), 10}; },
      [](float) { return Vector3{0, 0, 0}; }, Const(60));
  AddCamera(
      &s.nodes, "cam_spin", span, [](float t) { return Vector3{-18, 12 * std::sin(t * 0.4f), 14 + 4 * std::cos(t)}; },
      [](float) { return Vector3{0, 0, 0}; }, [](float t) { return 65 - 20 * std::sin(t * 0.9f); });
  s.materials = mats.list;
  return s;
}

SceneDesc Shaft(float T) {
  SceneDesc s;
  Materials mats;
  int wall = mats.Texture("wall", "wire.bmp");
  int ring = mats.Texture("ring", "gold.bmp");
  float length = 120 * (T + 4);
  auto axis = [length](float t) {
    float z = -t * length;
    return Vector3{18 * std::sin(z * 0.004f), 18 * std::cos(z * 0.003f), z};
  };
  Mesh tube;
  AddTube(&tube, axis, [](float) { return 40.0f; }, static_cast<int>(length / 40), 12, false, wall, length / 120, 2,
          true);
  s.nodes.push_back(MeshNode("shaft_wall", tube));
  Mesh rings;
  for (float d = 100; d < length; d += 200) {
    Vector3 c = axis(d / length);
    AddRing(&rings, c, {1, 0, 0}, {0, 1, 0}, 36, 2.5f, 24, 6, ring);
  }
  s.nodes.push_back(MeshNode("shaft_rings", rings));
  Span span{-1, T + 1, 0.5f};
  auto eye = [&](float t) { return axis((t + 1) * 120 / length) + Vector3{0, 0, 0}; };
  // Looking down the shaft, never straight down: the view direction keeps a little sideways
  // component, and the roll spins the picture.
  AddCamera(
      &s.nodes, "cam_shaft", span, eye, [&](float t) { return eye(t) + Vector3{6, 4, -200}; }, Const(75),
      [](float t) { return t * 0.6f; });
  AddCamera(
      &s.nodes, "cam_dive", span,
      [&](float t) {
        Vector3 e = eye(t);
        return Vector3{e.x + 20 * std::cos(t * 2), e.y + 20 * std::sin(t * 2), e.z};
      },
      [&](float t) { return eye(t + 1.5f); }, [](float t) { return 85 + 15 * std::sin(t * 1.3f); },
      [](float t) { return -t * 1.1f; });
  s.materials = mats.list;
  return s;
}

// A city block grid; material 0 is the buildings' own.
SceneDesc City(float T, bool dusk) {
  SceneDesc s;
  Materials mats;
  // At dusk the buildings are only their lit windows (the walls are pure black, which the
  // see-through pass drops), and they fade out as the part renderer lowers the opacity.
  int facade = dusk ? mats.Texture("windows", "windows.bmp", 0.6f) : mats.Texture("facade", "facade.bmp");
  int ground = mats.Texture("street", "stone.bmp");
  int roof = mats.Reflection("roof", "env.bmp");
  int beacon = mats.Texture("beacon", "glow.bmp");
  Mesh blocks, roofs, beacons;
  const int n = 10;
  const float pitch = 40;
  // By day the walls of each square of two by two blocks are a mesh of their own: opaque, the
  // squares are drawn nearest first wherever the camera is, so a software renderer shades few
  // hidden pixels (a mesh per block shades hardly fewer, and every mesh is a draw of its own).
  // The roofs, small and with a material of their own, stay one mesh: a switch of material
  // between every two squares would cost more than their hidden pixels. At dusk the
  // see-through walls blend in grid order, as one mesh.
  std::vector<Mesh> squares(n * n / 4);
  for (int j = 0; j < n; ++j) {
    for (int i = 0; i < n; ++i) {
      float x = (i - n / 2 + 0.5f) * pitch, y = (j - n / 2 + 0.5f) * pitch;
      float r = std::sqrt(x * x + y * y);
      float height = 20 + 90 * Hash01(i, j, 301) * (1.2f - r / 300);
      if (height < 12) height = 12;
      float w = 18 + 8 * Hash01(i, j, 302);
      // At dusk only two walls carry windows: every see-through layer costs a software
      // renderer its full area, and a see-through wall shows the same from both sides, so the
      // far pair would only repeat the near pair's windows behind them (the windows texture
      // lights more of its windows to keep the city as bright).
      // A third of the blocks have every light out: see-through, they are simply not there.
      if (dusk) {
        if (Hash01(i, j, 304) >= 0.33f) AddNearWalls(&blocks, {x, y, height / 2}, {w, w, height}, facade, 1.0f / 24);
      } else {
        AddBox(&squares[(j / 2) * (n / 2) + i / 2], {x, y, height / 2}, {w, w, height}, facade, 1.0f / 24);
        AddBox(&roofs, {x, y, height + 1}, {w * 0.6f, w * 0.6f, 2}, roof, 0.1f);
      }
      if (Hash01(i, j, 303) < 0.25f) AddBox(&beacons, {x, y, height + 6}, {2, 2, 8}, beacon);
    }
  }
  Mesh street;
  AddQuad(&street, {-260, -260, 0}, {260, -260, 0}, {260, 260, 0}, {-260, 260, 0}, ground, 12, 12);
  if (dusk) {
    s.nodes.push_back(MeshNode("blocks", blocks));
  } else {
    for (size_t q = 0; q < squares.size(); ++q) s.nodes.push_back(MeshNode("blocks" + std::to_string(q), squares[q]));
    s.nodes.push_back(MeshNode("street", street));
    s.nodes.push_back(MeshNode("roofs", roofs));
  }
  NodeDesc beaconNode = MeshNode("beacons", beacons);
  // The beacons blink: shown, hidden, shown ... every three quarters of a second.
  for (int f = 0; f < Frame(T + 2); f += 22) beaconNode.visibility.push_back(f);
  s.nodes.push_back(beaconNode);

  Span span{-1, T + 1, 1.0f};
  if (!dusk) {
    // Down the avenue between the middle columns of blocks, swaying a little.
    auto street = [](float t) {
      return Vector3{2.5f * std::sin(t * 0.4f), -250 + t * 9, 11 + 4 * std::sin(t * 0.5f)};
    };
    AddCamera(&s.nodes, "cam_street", span, street, [&](float t) { return street(t + 1.2f) + Vector3{0, 0, 4}; },
              Const(70));
    AddCamera(
        &s.nodes, "cam_top", span, [](float t) { return Vector3{30 * std::sin(t * 0.2f), 20, 210 - t * 0.8f}; },
        [](float t) { return Vector3{30 * std::sin(t * 0.2f) + 45, 70, 0}; }, Const(62),
        [](float t) { return 0.3f * t; });
    AddCamera(
        &s.nodes, "cam_orbit", span,
        [](float t) { return Vector3{260 * std::cos(t * 0.12f), 260 * std::sin(t * 0.12f), 90 + 40 * std::sin(t * 0.3f)}; },
        [](float) { return Vector3{0, 0, 30}; }, Const(50));
  } else {
    AddCamera(
        &s.nodes, "cam_leave", span,
        [](float t) { return Vector3{-160 + t * 4, -220 + t * 6, 30 + t * 9}; },
        [](float t) { return Vector3{0, 0, 20 + t * 2}; }, Const(55));
  }
  s.materials = mats.list;
  return s;
}

SceneDesc Knots(float T) {
  SceneDesc s;
  Materials mats;
  int chrome = mats.Reflection("chrome", "env.bmp");
  int gold = mats.Texture("gold", "gold.bmp");
  int violet = mats.Reflection("violet", "metal.bmp");
  Span span{-1, T + 1, 1.0f};
  Mesh big;
  AddTube(&big, [](float t) { return TorusKnot(t, 3, 5, 12, 4); }, [](float) { return 1.8f; }, 240, 10, true, chrome,
          20, 1);
  NodeDesc bigNode = MeshNode("knot_main", big);
  bigNode.rotation = SampleRotation(span, [](float t) {
    return Mul(Turn({0, 0, 1}, t * 0.5f), Turn({1, 0, 0}, 0.4f * std::sin(t * 0.3f)));
  });
  // A pulse in size on the beat (every half second), as scale keys.
  bigNode.scale.clear();
  for (int f = -30; f <= Frame(T + 1); f += 15) {
    VectorKey k;
    k.frame = f;
    float v = (f / 15) % 2 == 0 ? 1.06f : 1.0f;
    k.value = {v, v, v};
    k.tension = 0.5f;
    bigNode.scale.push_back(k);
  }
  s.nodes.push_back(bigNode);
  // Orbiting knots on a dummy hierarchy: an orbit turning about z, arms on it, and moons
  // turning about each arm.
  NodeDesc orbit = Dummy("orbit");
  orbit.rotation = SampleRotation(span, [](float t) { return Turn({0, 0, 1}, -t * 0.7f); });
  for (int i = 0; i < 4; ++i) {
    float a = i * kTau / 4;
    NodeDesc arm = Dummy("arm" + std::to_string(i), {28 * std::cos(a), 28 * std::sin(a), 0});
    arm.rotation = SampleRotation(span, [i](float t) { return Turn({1, 0, 0}, t * (0.9f + 0.2f * i)); });
    Mesh small;
    AddTube(&small, [](float t) { return TorusKnot(t, 2, 3, 3, 1.2f); }, [](float) { return 0.7f; }, 90, 6, true,
            i % 2 ? gold : violet, 8, 1);
    arm.children.push_back(MeshNode("moon" + std::to_string(i), small));
    NodeDesc satellite = Dummy("sat" + std::to_string(i), {0, 0, 8});
    Mesh ball;
    AddSphere(&ball, {0, 0, 0}, 1.2f, 10, 8, chrome);
    satellite.children.push_back(MeshNode("pearl" + std::to_string(i), ball));
    arm.children.push_back(satellite);
    orbit.children.push_back(arm);
  }
  s.nodes.push_back(orbit);
  AddCamera(
      &s.nodes, "cam_knots", span,
      [](float t) { return Vector3{55 * std::cos(t * 0.2f), 55 * std::sin(t * 0.2f), 18 + 10 * std::sin(t * 0.35f)}; },
      [](float) { return Vector3{0, 0, 0}; }, Const(60));
  // The zoom: the field of view breathes from wide to narrow and back.
  AddCamera(
      &s.nodes, "cam_zoom", span, [](float t) { return Vector3{-70, -30 + 10 * std::sin(t * 0.2f), 25}; },
      [](float t) { return Vector3{3 * std::sin(t), 0, 0}; }, [](float t) { return 45 + 30 * std::sin(t * 0.8f); });
  s.materials = mats.list;
  return s;
}

SceneDesc StarField(float T) {
  SceneDesc s;
  Materials mats;
  int gold = mats.Texture("gold", "gold.bmp");
  int chrome = mats.Reflection("chrome", "env.bmp");
  Span span{-1, T + 1, 1.0f};
  for (int i = 0; i < 5; ++i) {
    Mesh star;
    AddStar(&star, {0, 0, 0}, 14, 6, 4, 5, i % 2 ? gold : chrome);
    Vector3 at{(Hash01(i, 1, 401) - 0.5f) * 160, 120 + Hash01(i, 2, 401) * 160, (Hash01(i, 3, 401) - 0.5f) * 90};
    NodeDesc n = MeshNode("star" + std::to_string(i), star, at);
    n.rotation = SampleRotation(span, [i](float t) {
      return Mul(Turn({0, 0, 1}, t * (0.5f + 0.2f * i)), Turn({1, 0, 0}, kPi / 2 + 0.3f * std::sin(t + i)));
    });
    s.nodes.push_back(n);
  }
  AddCamera(
      &s.nodes, "cam_star", span, [](float t) { return Vector3{10 * std::sin(t * 0.3f), -40 + 3 * t, 5}; },
      [](float t) { return Vector3{0, 200 + 3 * t, 0}; }, Const(65), nullptr);
  s.materials = mats.list;
  return s;
}

SceneDesc Landscape(float T) {
  SceneDesc s;
  Materials mats;
  int ground = mats.Texture("ground", "terrain.bmp");
  int stone = mats.Texture("stone", "stone.bmp");
  int glow = mats.Reflection("halo", "env.bmp");
  auto h = [](float x, float y) {
    float valley = std::fabs(x - 300 * std::sin(y / 900)) / 900;
    return Terrain(x, y, 1100, 900, 17) * std::min(1.0f, 0.25f + valley) + 20;
  };
  Mesh land;
  AddHeightField(&land, 5000, 64, h, ground, 10);
  s.nodes.push_back(MeshNode("land", land));
  // Monoliths and rings along the valley floor.
  Mesh stones, halos;
  for (int i = 0; i < 8; ++i) {
    float y = -1800 + i * 500.0f, x = 300 * std::sin(y / 900);
    float z = h(x, y);
    AddBox(&stones, {x - 90, y, z + 60}, {18, 18, 150}, stone, 0.02f);
    AddBox(&stones, {x + 90, y, z + 60}, {18, 18, 150}, stone, 0.02f);
    AddRing(&halos, {x, y, z + 160}, {1, 0, 0}, {0, 0, 1}, 95, 5, 40, 8, glow);
  }
  s.nodes.push_back(MeshNode("monoliths", stones));
  s.nodes.push_back(MeshNode("halos", halos));
  Span span{-1, T + 1, 1.0f};
  auto valley = [&](float t) {
    float y = -2100 + t * 150;
    float x = 300 * std::sin(y / 900);
    return Vector3{x, y, h(x, y) + 110 + 30 * std::sin(t * 0.4f)};
  };
  AddCamera(&s.nodes, "cam_valley", span, valley, [&](float t) { return valley(t + 3) - Vector3{0, 0, 40}; },
            Const(60), [](float t) { return 0.05f * std::sin(t * 0.5f); });
  // Along the ridge, looking across the whole valley to the far hills.
  AddCamera(
      &s.nodes, "cam_ridge", span,
      [&](float t) {
        float x = -900 + t * 20, y = -1200 + t * 60;
        return Vector3{x, y, std::max(h(x, y), 0.0f) + 260};
      },
      [&](float t) { return Vector3{600, 1800 + t * 40, 150}; }, Const(58));
  s.materials = mats.list;
  return s;
}

SceneDesc Orbs(float T) {
  SceneDesc s;
  Materials mats;
  int metal = mats.Texture("metal", "metal.bmp");
  int seed = mats.Texture("skin", "seed.bmp");
  int floor = mats.Texture("floor", "stone.bmp");
  Span span{-1, T + 1, 0.5f};
  Mesh orbs;
  for (int i = 0; i < 6; ++i) {
    float a = i * kTau / 6;
    AddSphere(&orbs, {2.2f * std::cos(a), 2.2f * std::sin(a), 0.3f * std::sin(a * 3)}, 0.55f, 14, 10, metal);
  }
  NodeDesc orbNode = MeshNode("orbs", orbs);
  orbNode.rotation = SampleRotation(span, [](float t) { return Turn({0, 0, 1}, t * 0.4f); });
  s.nodes.push_back(orbNode);
  Mesh plate;
  AddHeightField(&plate, 12, 12, [](float x, float y) { return -1.2f + 0.05f * std::sin(x * 2) * std::cos(y * 2); },
                 floor, 3);
  s.nodes.push_back(MeshNode("plate", plate));
  // The morphing object: a sphere that grows spikes, twists and settles again.
  Mesh blob;
  AddSphere(&blob, {0, 0, 0}, 1.0f, 24, 16, seed);
  NodeDesc blobNode = MeshNode("blob", blob);
  auto shape = [&](int k) {
    return Deformed(blob, [k](const Vector3& v) {
      float a = std::atan2(v.y, v.x), e = std::acos(std::max(-1.0f, std::min(1.0f, v.z)));
      switch (k % 4) {
        case 0:
          return v;
        case 1: {
          float spike = 1 + 0.45f * std::pow(std::fabs(std::sin(a * 3) * std::sin(e * 4)), 3.0f);
          return v * spike;
        }
        case 2: {
          float tw = v.z * 1.4f;
          return Vector3{v.x * std::cos(tw) - v.y * std::sin(tw), v.x * std::sin(tw) + v.y * std::cos(tw), v.z * 1.3f} *
                 (1 + 0.15f * std::sin(e * 6));
        }
        default:
          return Vector3{v.x * 1.25f, v.y * 1.25f, v.z * 0.7f};
      }
    });
  };
  for (int f = -30, k = 0; f <= Frame(T + 1) + 60; f += 60, ++k) {
    MorphKey key;
    key.frame = f;
    key.value = shape(k);
    blobNode.morph.push_back(key);
  }
  s.nodes.push_back(blobNode);
  // Three coloured lights circling close to the objects (lighting falls off fast with distance,
  // and a light shines from twice its position).
  auto circle = [&](float radius, float speed, float z, float phase) {
    return SampleVector(span, [=](float t) {
      return Vector3{radius * std::cos(t * speed + phase), radius * std::sin(t * speed + phase), z};
    });
  };
  s.nodes.push_back(Light("lamp_amber", {9.0f, 6.0f, 2.2f}, circle(0.9f, 0.9f, 0.5f, 0)));
  s.nodes.push_back(Light("lamp_violet", {5.0f, 2.5f, 9.0f}, circle(1.0f, -0.7f, 0.2f, 2)));
  NodeDesc blue = Light("lamp_blue", {2.0f, 4.0f, 9.0f}, circle(0.5f, 1.3f, 0.9f, 4));
  blue.visibility = {Frame(2), Frame(4)};  // lights ignore their visibility track
  s.nodes.push_back(blue);
  // A target light aimed at the blob; it is kept with its target but casts no light.
  NodeDesc spot(kTargetLightKind, "spot");
  spot.colour[0] = 1;
  spot.colour[1] = 0.8f;
  spot.colour[2] = 0.5f;
  spot.position = Still({0, 0, 4});
  spot.firstScalar = {StillScalarKey(0, 30.0f)};
  spot.secondScalar = {StillScalarKey(0, 45.0f)};
  s.nodes.push_back(spot);
  NodeDesc spotTarget(kTargetKind, "spot");
  spotTarget.position = Still({0, 0, 0});
  s.nodes.push_back(spotTarget);
  AddCamera(
      &s.nodes, "cam_orbs", span,
      [](float t) { return Vector3{6 * std::cos(t * 0.25f), 6 * std::sin(t * 0.25f), 2.5f + std::sin(t * 0.5f)}; },
      [](float) { return Vector3{0, 0, 0}; }, Const(55));
  AddCamera(
      &s.nodes, "cam_close", span, [](float t) { return Vector3{2.8f * std::cos(-t * 0.3f), 2.8f * std::sin(-t * 0.3f), 0.8f}; },
      [](float) { return Vector3{0, 0, 0}; }, [](float t) { return 50 + 8 * std::sin(t); });
  s.materials = mats.list;
  return s;
}

SceneDesc Temple(float T) {
  SceneDesc s;
  Materials mats;
  int stone = mats.Texture("stone", "stone.bmp");
  int gold = mats.Texture("gold", "gold.bmp");
  int floorMat = mats.Texture("floor", "metal.bmp");
  Mesh columns, beams, floor;
  for (int side = -1; side <= 1; side += 2)
    for (int i = 0; i < 9; ++i) {
      float x = side * 22.0f, y = -160 + i * 40.0f;
      AddCylinder(&columns, {x, y, 0}, 3.2f, 44, 14, stone);
      AddBox(&beams, {x, y, 46}, {9, 9, 4}, gold, 0.1f);
      AddBox(&beams, {x, y, 1}, {8, 8, 2}, stone, 0.1f);
    }
  for (int i = 0; i < 9; ++i) {
    float y = -160 + i * 40.0f;
    AddTube(
        &beams, [y](float t) { return Vector3{-22 * std::cos(t * kPi), y, 48 + 18 * std::sin(t * kPi)}; },
        [](float) { return 2.0f; }, 16, 6, false, gold, 4, 1);
  }
  AddBox(&beams, {-22, 0, 50}, {6, 340, 4}, stone, 0.05f);
  AddBox(&beams, {22, 0, 50}, {6, 340, 4}, stone, 0.05f);
  AddQuad(&floor, {-60, -200, 0}, {60, -200, 0}, {60, 200, 0}, {-60, 200, 0}, floorMat, 6, 20);
  s.nodes.push_back(MeshNode("floor", floor));
  s.nodes.push_back(MeshNode("columns", columns));
  s.nodes.push_back(MeshNode("beams", beams));
  Span span{-1, T + 1, 1.0f};
  AddCamera(
      &s.nodes, "cam_nave", span, [](float t) { return Vector3{4 * std::sin(t * 0.3f), -190 + t * 14, 14}; },
      [](float t) { return Vector3{0, -120 + t * 14, 26}; }, Const(60));
  AddCamera(
      &s.nodes, "cam_aisle", span, [](float t) { return Vector3{-34, -150 + t * 12, 6 + t * 0.8f}; },
      [](float t) { return Vector3{0, -100 + t * 12, 40}; }, Const(65));
  // Close past the columns: near plane 10 in the part that uses this camera.
  AddCamera(
      &s.nodes, "cam_columns", span,
      [](float t) { return Vector3{-8 + 2 * std::sin(t), -140 + t * 10, 24 + 8 * std::sin(t * 0.4f)}; },
      [](float t) { return Vector3{-22, -120 + t * 10, 30}; }, [](float t) { return 70 - t * 1.5f; });
  s.materials = mats.list;
  return s;
}

SceneDesc Star(float T) {
  SceneDesc s;
  Materials mats;
  int chrome = mats.Reflection("chrome", "env.bmp");
  int gold = mats.Texture("gold", "gold.bmp");
  // See-through, so the disc glows where its rings are and is clear around them.
  int rings = mats.Texture("rings", "rings.bmp", 0.9f);
  Span span{-1, T + 1, 0.5f};
  Mesh hero;
  AddStar(&hero, {0, 0, 0}, 20, 8, 7, 5, chrome);
  NodeDesc heroNode = MeshNode("hero_star", hero);
  heroNode.rotation = SampleRotation(span, [](float t) {
    return Mul(Turn({0, 0, 1}, t * 0.6f), Turn({1, 0, 0}, kPi / 2 + 0.25f * std::sin(t * 0.7f)));
  });
  NodeDesc halo = Dummy("halo_spin");
  halo.rotation = SampleRotation(span, [](float t) { return Turn({0, 1, 0}, -t * 0.9f); });
  for (int i = 0; i < 5; ++i) {
    float a = i * kTau / 5;
    Mesh small;
    AddStar(&small, {0, 0, 0}, 4, 1.8f, 1.5f, 5, gold);
    NodeDesc n = MeshNode("little_star" + std::to_string(i), small, {34 * std::cos(a), 0, 34 * std::sin(a)});
    halo.children.push_back(n);
  }
  // A round disc just large enough for the rings, which fade out before the texture's edge:
  // drawn see-through, every pixel it covers costs a blend.
  Mesh disc;
  {
    const int sides = 32;
    const float radius = 32 * 0.96f / std::cos(kPi / sides);
    int32_t centre = disc.AddVertex({0, 8, 0});
    for (int i = 0; i < sides; ++i) {
      float a0 = i * kTau / sides, a1 = (i + 1) * kTau / sides;
      Vector3 p0{radius * std::cos(a0), 8, radius * std::sin(a0)}, p1{radius * std::cos(a1), 8, radius * std::sin(a1)};
      auto u = [](const Vector3& p) { return (p.x + 32) / 64; };
      auto v = [](const Vector3& p) { return (p.z + 32) / 64; };
      int32_t i0 = disc.AddVertex(p0), i1 = disc.AddVertex(p1);
      disc.AddTri(centre, i0, i1, 0.5f, 0.5f, u(p0), v(p0), u(p1), v(p1), rings);
    }
  }
  halo.children.push_back(MeshNode("ring_disc", disc));
  heroNode.children.push_back(Dummy("hero_tip", {0, 0, 20}));
  s.nodes.push_back(heroNode);
  s.nodes.push_back(halo);
  AddCamera(
      &s.nodes, "cam_hit", span, [](float t) { return Vector3{10 * t, -70 + 12 * t, 10}; },
      [](float) { return Vector3{0, 0, 0}; }, [](float t) { return 60 - 5 * t; });
  AddCamera(
      &s.nodes, "cam_hit2", span, [](float t) { return Vector3{-50, -40 + 6 * t, -20 + 4 * t}; },
      [](float) { return Vector3{0, 0, 0}; }, Const(45));
  AddCamera(
      &s.nodes, "cam_hero", span,
      [](float t) { return Vector3{80 * std::cos(t * 0.2f), 80 * std::sin(t * 0.2f), 25 * std::sin(t * 0.3f)}; },
      [](float) { return Vector3{0, 0, 0}; }, [](float t) { return 55 + 10 * std::sin(t * 0.6f); });
  AddCamera(
      &s.nodes, "cam_far", span, [](float t) { return Vector3{30, -120 - t * 6, 30 + t * 2}; },
      [](float) { return Vector3{0, 0, 8}; }, Const(50));
  s.materials = mats.list;
  return s;
}

SceneDesc Macro(float T) {
  SceneDesc s;
  Materials mats;
  int crystal = mats.Texture("crystal", "crystal.bmp");
  int board = mats.Texture("board", "circuit.bmp");  // found as circuit.png
  int chip = mats.Texture("chip", "metal.bmp");
  int petal = mats.Texture("petal", "seed.bmp");
  int shell = mats.Reflection("shell", "env.bmp");
  Span span{-1, T + 1, 0.5f};
  // Crystals, a few millimetres across.
  Mesh crystals;
  for (int i = 0; i < 24; ++i) {
    float a = Hash01(i, 1, 501) * kTau, r = 0.6f * Hash01(i, 2, 501);
    AddCrystal(&crystals, {r * std::cos(a), r * std::sin(a), -0.1f}, 0.05f + 0.08f * Hash01(i, 3, 501),
               0.3f + 0.8f * Hash01(i, 4, 501), 6, a, crystal);
  }
  NodeDesc cryNode = MeshNode("crystal_cluster", crystals);
  cryNode.rotation = SampleRotation(span, [](float t) { return Turn({0, 0, 1}, t * 0.1f); });
  s.nodes.push_back(cryNode);
  // A circuit board with chips, 8 units to the side.
  Mesh boardMesh, chips;
  // Finely divided: lighting is worked out at the vertices, and the lamp skims close above.
  AddHeightField(&boardMesh, 6, 24, [](float, float) { return 0.0f; }, board, 2);
  for (auto& v : boardMesh.vertices) v.x += 9;
  for (int i = 0; i < 10; ++i)
    AddBox(&chips, {6.5f + 5 * Hash01(i, 1, 502), -2.5f + 5 * Hash01(i, 2, 502), 0.06f},
           {0.3f + 0.4f * Hash01(i, 3, 502), 0.3f + 0.3f * Hash01(i, 4, 502), 0.12f}, chip, 2);
  s.nodes.push_back(MeshNode("board", boardMesh));
  NodeDesc chipNode = MeshNode("chips", chips);
  // Chips light up one after another: a visibility toggle every second.
  for (int f = 0; f < Frame(T + 2); f += 30) chipNode.visibility.push_back(f);
  s.nodes.push_back(chipNode);
  // The seed: petals that open (a morph) around a shiny core, 8 units the other way.
  Mesh seed;
  const int petals = 8, rows = 8, cols = 4;
  for (int p = 0; p < petals; ++p) {
    int32_t base = static_cast<int32_t>(seed.vertices.size());
    for (int r = 0; r <= rows; ++r)
      for (int c = 0; c <= cols; ++c) seed.AddVertex({0, 0, 0});
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c) {
        int32_t a = base + r * (cols + 1) + c, b = a + 1, d = a + (cols + 1), e = d + 1;
        float u0 = static_cast<float>(c) / cols, u1 = static_cast<float>(c + 1) / cols;
        float v0 = static_cast<float>(r) / rows, v1 = static_cast<float>(r + 1) / rows;
        seed.AddTri(a, b, e, u0, v0, u1, v0, u1, v1, petal);
        seed.AddTri(a, e, d, u0, v0, u1, v1, u0, v1, petal);
        seed.AddTri(a, e, b, u0, v0, u1, v1, u1, v0, petal);  // the back of the petal
        seed.AddTri(a, d, e, u0, v0, u0, v1, u1, v1, petal);
      }
  }
  auto petalShape = [&](float open) {
    std::vector<Vector3> v;
    for (int p = 0; p < petals; ++p) {
      float a = p * kTau / petals;
      for (int r = 0; r <= rows; ++r)
        for (int c = 0; c <= cols; ++c) {
          float along = static_cast<float>(r) / rows, across = (static_cast<float>(c) / cols - 0.5f);
          float width = 0.45f * std::sin(along * kPi) + 0.02f;
          float tilt = (0.1f + open * 1.25f) * along;  // bend outwards as the petal opens
          float len = 1.4f * along;
          float radial = len * std::sin(tilt) + 0.05f, z = len * std::cos(tilt);
          float side = across * width;
          v.push_back({-8 + radial * std::cos(a) - side * std::sin(a), radial * std::sin(a) + side * std::cos(a), z});
        }
    }
    return v;
  };
  NodeDesc seedNode = MeshNode("seed_petals", seed);
  seedNode.vertices = petalShape(0);
  int32_t last = Frame(T + 1);
  for (int k = 0; k <= 8; ++k) {
    MorphKey key;
    key.frame = -30 + (last + 60) * k / 8;
    float open = 0.5f - 0.5f * std::cos(k * kPi / 4);  // opens, closes, opens again
    key.value = petalShape(open);
    seedNode.morph.push_back(key);
  }
  s.nodes.push_back(seedNode);
  Mesh core;
  AddSphere(&core, {-8, 0, 0.15f}, 0.22f, 12, 8, shell);
  s.nodes.push_back(MeshNode("seed_core", core));
  // Lights near each little world.
  s.nodes.push_back(Light("glow_crystal", {30.0f, 22.0f, 12.0f}, SampleVector(span, [](float t) {
                                return Vector3{0.45f * std::cos(t), 0.45f * std::sin(t), 0.25f};
                              })));
  s.nodes.push_back(Light("glow_board", {24.0f, 27.0f, 45.0f}, SampleVector(span, [](float t) {
                                return Vector3{4.2f + 0.9f * std::sin(t * 0.7f), 0.9f * std::cos(t), 0.25f};
                              })));
  s.nodes.push_back(Light("glow_seed", {30.0f, 20.0f, 9.0f}, Still({-3.8f, 0.3f, 0.5f})));
  AddCamera(
      &s.nodes, "cam_crystal", span,
      [](float t) { return Vector3{1.6f * std::cos(t * 0.2f), 1.6f * std::sin(t * 0.2f), 0.5f + 0.2f * std::sin(t * 0.5f)}; },
      [](float) { return Vector3{0, 0, 0.25f}; }, Const(55));
  auto boardEye = [](float t) {
    return Vector3{6.3f + 2.2f * (1 - std::cos(t * 0.1f)), -2.8f + 0.5f * std::sin(t * 0.3f), 0.35f};
  };
  // A soft fill light riding a little above the board camera, so that the sides of the chips
  // it looks at are lit too (the lamp above the board lights only the sides facing it). A
  // light shines from twice its position.
  s.nodes.push_back(Light("fill_board", {8.0f, 7.5f, 12.0f}, SampleVector(span, [&](float t) {
                                return (boardEye(t) + Vector3{-0.4f, -1.0f, 0.4f}) * 0.5f;
                              })));
  AddCamera(
      &s.nodes, "cam_board", span, boardEye,
      [](float t) { return Vector3{7.5f + 2.2f * (1 - std::cos(t * 0.1f)), 0.5f * std::sin(t * 0.2f), 0.0f}; },
      Const(70));
  AddCamera(
      &s.nodes, "cam_seed", span,
      [](float t) { return Vector3{-8 + 1.6f * std::cos(t * 0.15f), 1.6f * std::sin(t * 0.15f), 1.3f}; },
      [](float) { return Vector3{-8, 0, 0.55f}; }, Const(60));
  s.materials = mats.list;
  return s;
}

SceneDesc Cage(float T) {
  SceneDesc s;
  Materials mats;
  int lines = mats.Lines("wire");
  Span span{-1, T + 1, 1.0f};
  Mesh globe;
  std::vector<std::pair<Vector3, Vector3>> segs;
  const int lat = 8, lon = 16;
  auto sph = [](float a, float e) { return Vector3{30 * std::sin(e) * std::cos(a), 30 * std::sin(e) * std::sin(a), 30 * std::cos(e)}; };
  for (int i = 1; i < lat; ++i)
    for (int j = 0; j < lon; ++j) {
      float e = i * kPi / lat, a0 = j * kTau / lon, a1 = (j + 1) * kTau / lon;
      segs.push_back({sph(a0, e), sph(a1, e)});
    }
  for (int j = 0; j < lon; ++j)
    for (int i = 0; i < lat; ++i) {
      float a = j * kTau / lon, e0 = i * kPi / lat, e1 = (i + 1) * kPi / lat;
      segs.push_back({sph(a, e0), sph(a, e1)});
    }
  AddLines(&globe, segs, lines);
  NodeDesc g = MeshNode("wire_globe", globe);
  g.rotation = SampleRotation(span, [](float t) { return Mul(Turn({0, 0, 1}, t * 0.5f), Turn({1, 0, 0}, t * 0.2f)); });
  s.nodes.push_back(g);
  Mesh grid;
  segs.clear();
  for (int i = -10; i <= 10; ++i) {
    segs.push_back({{i * 10.0f, -100, -35}, {i * 10.0f, 100, -35}});
    segs.push_back({{-100, i * 10.0f, -35}, {100, i * 10.0f, -35}});
  }
  AddLines(&grid, segs, lines);
  s.nodes.push_back(MeshNode("wire_floor", grid));
  AddCamera(
      &s.nodes, "cam_cage", span, [](float t) { return Vector3{85 * std::cos(t * 0.3f), 85 * std::sin(t * 0.3f), 25}; },
      [](float) { return Vector3{0, 0, 0}; }, Const(60));
  s.materials = mats.list;
  return s;
}

// The logo: the launcher's title as block letters. It is drawn at frame show time x 30 - 620
// over parts 16 to 40: it flies in from far away, holds in the top right corner turning
// slowly, and leaves upwards before the end of part 40.
SceneDesc Logo(const Font& font, int32_t lastFrame) {
  SceneDesc s;
  Materials mats;
  int gold = mats.Texture("logo_gold", "gold.bmp");
  int chrome = mats.Reflection("logo_chrome", "env.bmp");
  NodeDesc pivot = Dummy("logo_pivot");
  auto word = [&](const std::string& text, float pixelHeight, float cell, float z) {
    int w, h;
    std::vector<uint8_t> mask = Canvas::TextMask(font, text, pixelHeight, &w, &h);
    Mesh m;
    AddTextBlocks(&m, mask, w, h, cell, cell * 4, gold, chrome);
    return MeshNode("logo_" + text, m, {0, 0, z});
  };
  pivot.children.push_back(word("QUILLON", 30, 1.3f, 12));
  pivot.children.push_back(word("VELTRUM", 16, 1.3f, -16));
  const float arrive = 60, settle = 200, leave = 1980, gone = 2050;
  auto pos = [&](float f) {
    Vector3 corner{92, 0, 78};
    if (f < arrive) {
      float k = Ease((f + 30) / (arrive + 30));
      return Vector3{0, 2600 * (1 - k), 0};
    }
    if (f < 120) return Vector3{0, 0, 0};
    if (f < settle) {
      float k = Ease((f - 120) / (settle - 120));
      return Vector3{0, 0, 0} * (1 - k) + corner * k;
    }
    if (f < leave) return corner;
    float k = Ease((f - leave) / (gone - leave));
    return corner + Vector3{40, 0, 260} * k;
  };
  auto scale = [&](float f) {
    float k = f < 120 ? 1.0f : (f < settle ? 1 - 0.62f * Ease((f - 120) / (settle - 120)) : 0.38f);
    return Vector3{k, k, k};
  };
  auto rot = [&](float f) {
    if (f < arrive) return Turn({0, 0, 1}, -kTau * (1 - Ease((f + 30) / (arrive + 30))));
    if (f < 120) return Quaternion::Identity();
    return Mul(Turn({0, 0, 1}, 0.35f * std::sin((f - 120) / 70.0f)), Turn({1, 0, 0}, 0.12f * std::sin((f - 120) / 45.0f)));
  };
  // Sampled in frames here: dense through the moves, sparse while it holds.
  std::vector<float> frames;
  for (float f = -30; f < settle + 10; f += 10) frames.push_back(f);
  for (float f = settle + 20; f < leave; f += 20) frames.push_back(f);
  for (float f = leave; f <= std::max<float>(gone + 30, lastFrame); f += 10) frames.push_back(f);
  for (float f : frames) {
    VectorKey p;
    p.frame = static_cast<int32_t>(f);
    p.value = pos(f);
    pivot.position.push_back(p);
    VectorKey sc;
    sc.frame = p.frame;
    sc.value = scale(f);
    pivot.scale.push_back(sc);
  }
  pivot.rotation = SampleRotation({-1, (frames.back()) / 30.0f, 0.5f}, [&](float t) { return rot(t * 30); });
  s.nodes.push_back(pivot);
  AddCamera(
      &s.nodes, "cam_logo", {-1, lastFrame / 30.0f + 1, 10}, [](float) { return Vector3{0, -300, 0}; },
      [](float) { return Vector3{0, 0, 0}; }, Const(40));
  s.materials = mats.list;
  return s;
}

const char* KindName(NodeKind k) {
  switch (k) {
    case kMeshKind:
      return "MeshNode";
    case kCameraKind:
      return "CameraNode";
    case kTargetKind:
      return "TargetNode";
    case kTargetLightKind:
      return "TargetLightNode";
    case kLightKind:
      return "LightNode";
    case kDummyKind:
      return "DummyNode";
    default:
      return "Scene";
  }
}

int StyleCodeOf(const MaterialDesc& m) {
  int code = 0;
  if (m.maps[kTextureMapSlot].amount > 0) code += 8;
  if (m.maps[kReflectionMapSlot].amount > 0) code += 16;
  if (m.maps[kNoStyleSlot].amount > 0) code += 64;
  return code == 0 ? 1 : code;
}

int CountNode(const NodeDesc& n, Coverage* c) {
  c->nodeKinds[KindName(n.kind)]++;
  auto track = [c](const std::string& kind, size_t keys) {
    if (keys > 0) c->trackKinds[kind]++;
  };
  track("VectorTrack (position)", n.position.size());
  track("RotationTrack", n.rotation.size());
  track("VectorTrack (scale)", n.scale.size());
  track("ToggleTrack (visibility)", n.visibility.size() >= 2 ? 1 : 0);
  track("MorphTrack", n.morph.size());
  if (n.kind == kCameraKind) {
    track("ScalarTrack (camera roll)", n.roll.size() > 1 ? 1 : 0);
    track("ScalarTrack (field of view)", n.fieldOfView.size() > 1 ? 1 : 0);
  }
  if (n.kind == kTargetLightKind) track("ScalarTrack (target light)", n.firstScalar.size() + n.secondScalar.size());
  int tris = static_cast<int>(n.faces.size());
  for (const auto& child : n.children) tris += CountNode(child, c);
  return tris;
}

}  // namespace

void MakeScenes(const Font& font, Content* content) {
  std::vector<PartPlan> parts = ShowTimeline();
  std::map<std::string, int32_t> frames = SceneDurations(parts);
  auto seconds = [&](const std::string& name) { return frames[name] / 30.0f; };
  std::map<std::string, SceneDesc> scenes;
  scenes["intro.scx"] = Intro(seconds("intro.scx"));
  scenes["glass.scx"] = GlassScene(seconds("glass.scx"));
  scenes["shaft.scx"] = Shaft(seconds("shaft.scx"));
  scenes["city.scx"] = City(seconds("city.scx"), false);
  scenes["city_dusk.scx"] = City(seconds("city_dusk.scx"), true);
  scenes["knots.scx"] = Knots(seconds("knots.scx"));
  scenes["starfield.scx"] = StarField(seconds("starfield.scx"));
  scenes["landscape.scx"] = Landscape(seconds("landscape.scx"));
  scenes["orbs.scx"] = Orbs(seconds("orbs.scx"));
  scenes["temple.scx"] = Temple(seconds("temple.scx"));
  scenes["star.scx"] = Star(seconds("star.scx"));
  scenes["macro.scx"] = Macro(seconds("macro.scx"));
  scenes["cage.scx"] = Cage(seconds("cage.scx"));
  int32_t logoLast = parts[kLogoLastPart].endMs * 3 / 100 - static_cast<int32_t>(kLogoFrameOffset) + 30;
  scenes[kLogoScene] = Logo(font, logoLast);

  Coverage& c = content->coverage;
  for (const auto& [name, desc] : scenes) {
    content->files["data/" + name] = WriteScene(desc);
    c.scenes++;
    int tris = 0;
    for (const auto& n : desc.nodes) tris += CountNode(n, &c);
    for (const auto& m : desc.materials) c.styleCodes[StyleCodeOf(m)]++;
    if (tris > c.maxTriangles) {
      c.maxTriangles = tris;
      c.maxTrianglesScene = name;
    }
  }
}

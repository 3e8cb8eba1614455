#include "tools/contentgen/geometry.h"

#include <cmath>

namespace {
constexpr float kTau = 6.28318530717958f;
}

Vector3 Normalised(const Vector3& v) {
  float l = Length(v);
  return l > 0 ? v * (1.0f / l) : v;
}
float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

void AddQuad(Mesh* m, const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d, int32_t material,
             float uScale, float vScale) {
  int32_t ia = m->AddVertex(a), ib = m->AddVertex(b), ic = m->AddVertex(c), id = m->AddVertex(d);
  m->AddTri(ia, ib, ic, 0, 0, uScale, 0, uScale, vScale, material);
  m->AddTri(ia, ic, id, 0, 0, uScale, vScale, 0, vScale, material);
}

namespace {

void AddBoxFaces(Mesh* m, const Vector3& c, const Vector3& s, int32_t material, float uvScale, bool ends,
                 bool farSides = true) {
  float x0 = c.x - s.x / 2, x1 = c.x + s.x / 2, y0 = c.y - s.y / 2, y1 = c.y + s.y / 2, z0 = c.z - s.z / 2,
        z1 = c.z + s.z / 2;
  float ux = s.x * uvScale, uy = s.y * uvScale, uz = s.z * uvScale;
  AddQuad(m, {x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}, material, ux, uz);  // -y
  if (farSides) AddQuad(m, {x1, y1, z0}, {x0, y1, z0}, {x0, y1, z1}, {x1, y1, z1}, material, ux, uz);  // +y
  if (farSides) AddQuad(m, {x1, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}, material, uy, uz);  // +x
  AddQuad(m, {x0, y1, z0}, {x0, y0, z0}, {x0, y0, z1}, {x0, y1, z1}, material, uy, uz);  // -x
  if (!ends) return;
  AddQuad(m, {x0, y0, z1}, {x1, y0, z1}, {x1, y1, z1}, {x0, y1, z1}, material, ux, uy);  // top
  AddQuad(m, {x0, y1, z0}, {x1, y1, z0}, {x1, y0, z0}, {x0, y0, z0}, material, ux, uy);  // bottom
}

}  // namespace

void AddBox(Mesh* m, const Vector3& c, const Vector3& s, int32_t material, float uvScale) {
  AddBoxFaces(m, c, s, material, uvScale, true);
}

void AddWalls(Mesh* m, const Vector3& c, const Vector3& s, int32_t material, float uvScale) {
  AddBoxFaces(m, c, s, material, uvScale, false);
}

void AddNearWalls(Mesh* m, const Vector3& c, const Vector3& s, int32_t material, float uvScale) {
  AddBoxFaces(m, c, s, material, uvScale, false, false);
}

void AddSphere(Mesh* m, const Vector3& c, float radius, int slices, int stacks, int32_t material) {
  int32_t base = static_cast<int32_t>(m->vertices.size());
  for (int j = 0; j <= stacks; ++j) {
    float phi = kTau * 0.5f * j / stacks;
    for (int i = 0; i <= slices; ++i) {
      float th = kTau * i / slices;
      m->AddVertex({c.x + radius * std::sin(phi) * std::cos(th), c.y + radius * std::sin(phi) * std::sin(th),
                    c.z + radius * std::cos(phi)});
    }
  }
  auto at = [&](int i, int j) { return base + j * (slices + 1) + i; };
  for (int j = 0; j < stacks; ++j)
    for (int i = 0; i < slices; ++i) {
      float u0 = static_cast<float>(i) / slices, u1 = static_cast<float>(i + 1) / slices;
      float v0 = static_cast<float>(j) / stacks, v1 = static_cast<float>(j + 1) / stacks;
      if (j > 0) m->AddTri(at(i, j), at(i, j + 1), at(i + 1, j), u0, v0, u0, v1, u1, v0, material);
      if (j < stacks - 1) m->AddTri(at(i + 1, j), at(i, j + 1), at(i + 1, j + 1), u1, v0, u0, v1, u1, v1, material);
    }
}

void AddHeightField(Mesh* m, float size, int cells, const std::function<float(float, float)>& h, int32_t material,
                    float repeat) {
  int32_t base = static_cast<int32_t>(m->vertices.size());
  for (int j = 0; j <= cells; ++j)
    for (int i = 0; i <= cells; ++i) {
      float x = (static_cast<float>(i) / cells - 0.5f) * size, y = (static_cast<float>(j) / cells - 0.5f) * size;
      m->AddVertex({x, y, h(x, y)});
    }
  auto at = [&](int i, int j) { return base + j * (cells + 1) + i; };
  for (int j = 0; j < cells; ++j)
    for (int i = 0; i < cells; ++i) {
      float u0 = repeat * i / cells, u1 = repeat * (i + 1) / cells, v0 = repeat * j / cells,
            v1 = repeat * (j + 1) / cells;
      m->AddTri(at(i, j), at(i + 1, j), at(i + 1, j + 1), u0, v0, u1, v0, u1, v1, material);
      m->AddTri(at(i, j), at(i + 1, j + 1), at(i, j + 1), u0, v0, u1, v1, u0, v1, material);
    }
}

void AddTube(Mesh* m, const std::function<Vector3(float)>& curve, const std::function<float(float)>& radius,
             int segments, int sides, bool closed, int32_t material, float uRepeat, float vRepeat, bool inward) {
  int32_t base = static_cast<int32_t>(m->vertices.size());
  Vector3 prevN{0, 0, 1};
  for (int s = 0; s <= segments; ++s) {
    float t = static_cast<float>(s) / segments;
    float dt = 0.5f / segments;
    Vector3 p = curve(t);
    Vector3 tan = Normalised(curve(std::min(t + dt, closed ? t + dt : 1.0f)) - curve(std::max(t - dt, closed ? t - dt : 0.0f)));
    // Parallel transport of the frame keeps the tube from twisting.
    Vector3 n = Normalised(prevN - tan * Dot(prevN, tan));
    if (Length(n) < 0.5f) n = Normalised(Cross(tan, Vector3{1, 0, 0}));
    prevN = n;
    Vector3 b = Cross(tan, n);
    float r = radius(t);
    for (int k = 0; k <= sides; ++k) {
      float a = kTau * k / sides;
      m->AddVertex(p + n * (r * std::cos(a)) + b * (r * std::sin(a)));
    }
  }
  auto at = [&](int s, int k) { return base + s * (sides + 1) + k; };
  for (int s = 0; s < segments; ++s)
    for (int k = 0; k < sides; ++k) {
      float u0 = uRepeat * s / segments, u1 = uRepeat * (s + 1) / segments;
      float v0 = vRepeat * k / sides, v1 = vRepeat * (k + 1) / sides;
      if (inward) {
        m->AddTri(at(s, k), at(s + 1, k), at(s + 1, k + 1), u0, v0, u1, v0, u1, v1, material);
        m->AddTri(at(s, k), at(s + 1, k + 1), at(s, k + 1), u0, v0, u1, v1, u0, v1, material);
      } else {
        m->AddTri(at(s, k), at(s + 1, k + 1), at(s + 1, k), u0, v0, u1, v1, u1, v0, material);
        m->AddTri(at(s, k), at(s, k + 1), at(s + 1, k + 1), u0, v0, u0, v1, u1, v1, material);
      }
    }
}

void AddCylinder(Mesh* m, const Vector3& base, float radius, float height, int sides, int32_t material) {
  for (int k = 0; k < sides; ++k) {
    float a0 = kTau * k / sides, a1 = kTau * (k + 1) / sides;
    Vector3 p0{base.x + radius * std::cos(a0), base.y + radius * std::sin(a0), base.z};
    Vector3 p1{base.x + radius * std::cos(a1), base.y + radius * std::sin(a1), base.z};
    Vector3 up{0, 0, height};
    AddQuad(m, p0, p1, p1 + up, p0 + up, material, 1.0f / sides * 4, height / radius * 0.25f);
    int32_t c0 = m->AddVertex(base), c1 = m->AddVertex(base + up);
    int32_t i0 = m->AddVertex(p0), i1 = m->AddVertex(p1), j0 = m->AddVertex(p0 + up), j1 = m->AddVertex(p1 + up);
    m->AddTri(c1, j0, j1, 0.5f, 0.5f, 0.5f + 0.5f * std::cos(a0), 0.5f + 0.5f * std::sin(a0),
              0.5f + 0.5f * std::cos(a1), 0.5f + 0.5f * std::sin(a1), material);
    m->AddTri(c0, i1, i0, 0.5f, 0.5f, 0.5f + 0.5f * std::cos(a1), 0.5f + 0.5f * std::sin(a1),
              0.5f + 0.5f * std::cos(a0), 0.5f + 0.5f * std::sin(a0), material);
  }
}

void AddCrystal(Mesh* m, const Vector3& base, float radius, float height, int sides, float twist, int32_t material) {
  Vector3 bottom = base, top = base + Vector3{0, 0, height};
  float midZ = height * 0.3f;
  for (int k = 0; k < sides; ++k) {
    float a0 = kTau * k / sides + twist, a1 = kTau * (k + 1) / sides + twist;
    Vector3 p0{base.x + radius * std::cos(a0), base.y + radius * std::sin(a0), base.z + midZ};
    Vector3 p1{base.x + radius * std::cos(a1), base.y + radius * std::sin(a1), base.z + midZ};
    int32_t it = m->AddVertex(top), ib = m->AddVertex(bottom), i0 = m->AddVertex(p0), i1 = m->AddVertex(p1);
    float u0 = static_cast<float>(k) / sides, u1 = static_cast<float>(k + 1) / sides;
    m->AddTri(i0, i1, it, u0, 0.3f, u1, 0.3f, (u0 + u1) / 2, 1, material);
    m->AddTri(i1, i0, ib, u1, 0.3f, u0, 0.3f, (u0 + u1) / 2, 0, material);
  }
}

void AddStar(Mesh* m, const Vector3& c, float outer, float inner, float thickness, int points, int32_t material) {
  int32_t front = m->AddVertex(c + Vector3{0, 0, thickness / 2}), back = m->AddVertex(c - Vector3{0, 0, thickness / 2});
  int n = points * 2;
  std::vector<int32_t> rim;
  std::vector<float> us, vs;
  for (int k = 0; k < n; ++k) {
    float a = kTau * k / n + kTau / 4;
    float r = (k % 2 == 0) ? outer : inner;
    rim.push_back(m->AddVertex({c.x + r * std::cos(a), c.y + r * std::sin(a), c.z}));
    us.push_back(0.5f + 0.5f * r / outer * std::cos(a));
    vs.push_back(0.5f + 0.5f * r / outer * std::sin(a));
  }
  for (int k = 0; k < n; ++k) {
    int k1 = (k + 1) % n;
    m->AddTri(front, rim[k], rim[k1], 0.5f, 0.5f, us[k], vs[k], us[k1], vs[k1], material);
    m->AddTri(back, rim[k1], rim[k], 0.5f, 0.5f, us[k1], vs[k1], us[k], vs[k], material);
  }
}

void AddTextBlocks(Mesh* m, const std::vector<uint8_t>& mask, int width, int height, float cell, float depth,
                   int32_t frontMaterial, int32_t sideMaterial) {
  float x0 = -width * cell / 2, z0 = height * cell / 2;
  for (int row = 0; row < height; ++row) {
    int col = 0;
    while (col < width) {
      if (mask[static_cast<size_t>(row) * width + col] < 128) {
        ++col;
        continue;
      }
      int start = col;
      while (col < width && mask[static_cast<size_t>(row) * width + col] >= 128) ++col;
      float xa = x0 + start * cell, xb = x0 + col * cell, zt = z0 - row * cell, zb = zt - cell;
      float ya = -depth / 2, yb = depth / 2;
      float ua = static_cast<float>(start) / width, ub = static_cast<float>(col) / width;
      float vt = 1 - static_cast<float>(row) / height, vb = 1 - static_cast<float>(row + 1) / height;
      // Front (facing -y, towards the camera), with the letters' own texture coordinates.
      int32_t a = m->AddVertex({xa, ya, zb}), b = m->AddVertex({xb, ya, zb}), c = m->AddVertex({xb, ya, zt}),
              d = m->AddVertex({xa, ya, zt});
      m->AddTri(a, b, c, ua, vb, ub, vb, ub, vt, frontMaterial);
      m->AddTri(a, c, d, ua, vb, ub, vt, ua, vt, frontMaterial);
      // Top and bottom where the run has no neighbour, and the run's two ends.
      auto covered = [&](int r, int c2) {
        return r >= 0 && r < height && c2 >= 0 && c2 < width && mask[static_cast<size_t>(r) * width + c2] >= 128;
      };
      bool topOpen = false, bottomOpen = false;
      for (int k = start; k < col; ++k) {
        topOpen |= !covered(row - 1, k);
        bottomOpen |= !covered(row + 1, k);
      }
      if (topOpen) AddQuad(m, {xa, ya, zt}, {xb, ya, zt}, {xb, yb, zt}, {xa, yb, zt}, sideMaterial);
      if (bottomOpen) AddQuad(m, {xa, yb, zb}, {xb, yb, zb}, {xb, ya, zb}, {xa, ya, zb}, sideMaterial);
      AddQuad(m, {xa, yb, zb}, {xa, ya, zb}, {xa, ya, zt}, {xa, yb, zt}, sideMaterial);
      AddQuad(m, {xb, ya, zb}, {xb, yb, zb}, {xb, yb, zt}, {xb, ya, zt}, sideMaterial);
    }
  }
}

// Lines for the line style: every two consecutive corners make one line, so the lines are
// packed into triangles three corners at a time.
void AddLines(Mesh* m, const std::vector<std::pair<Vector3, Vector3>>& lines, int32_t material) {
  std::vector<int32_t> corners;
  for (const auto& [a, b] : lines) {
    corners.push_back(m->AddVertex(a));
    corners.push_back(m->AddVertex(b));
  }
  while (corners.size() % 3 != 0) corners.push_back(corners[corners.size() - 2]);
  for (size_t i = 0; i < corners.size(); i += 3)
    m->AddTri(corners[i], corners[i + 1], corners[i + 2], 0, 0, 1, 0, 1, 1, material);
}

std::vector<Vector3> Deformed(const Mesh& m, const std::function<Vector3(const Vector3&)>& f) {
  std::vector<Vector3> out;
  out.reserve(m.vertices.size());
  for (const auto& v : m.vertices) out.push_back(f(v));
  return out;
}

// Procedural meshes for the show's scenes: a vertex list, triangles with texture coordinates
// and a material per triangle, built by small primitive functions that append to one mesh.
//
//   Mesh m;
//   AddBox(&m, {0, 0, 0}, {1, 2, 3}, 0);       // material 0
//   AddSphere(&m, {0, 0, 5}, 2.0f, 12, 8, 1);
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "anim/vecmath.h"
struct Tri {
  int32_t v[3];
  float uv[6];
  int32_t material;
};

struct Mesh {
  std::vector<Vector3> vertices;
  std::vector<Tri> tris;
  int32_t AddVertex(const Vector3& p) {
    vertices.push_back(p);
    return static_cast<int32_t>(vertices.size() - 1);
  }
  void AddTri(int32_t a, int32_t b, int32_t c, float ua, float va, float ub, float vb, float uc, float vc,
              int32_t material) {
    tris.push_back({{a, b, c}, {ua, va, ub, vb, uc, vc}, material});
  }
};

Vector3 Normalised(const Vector3& v);
float Dot(const Vector3& a, const Vector3& b);

// Faces are wound counter-clockwise seen from outside.
void AddQuad(Mesh* m, const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d, int32_t material,
             float uScale = 1, float vScale = 1);
void AddBox(Mesh* m, const Vector3& centre, const Vector3& size, int32_t material, float uvScale = 1);
// The four side walls of such a box, without its top and bottom.
void AddWalls(Mesh* m, const Vector3& centre, const Vector3& size, int32_t material, float uvScale = 1);
// The -x and -y walls alone: for see-through walls, which look the same from either side.
void AddNearWalls(Mesh* m, const Vector3& centre, const Vector3& size, int32_t material, float uvScale = 1);
void AddSphere(Mesh* m, const Vector3& centre, float radius, int slices, int stacks, int32_t material);
// A grid over x, y with heights from h (x, y), uv repeat times across.
void AddHeightField(Mesh* m, float size, int cells, const std::function<float(float, float)>& h, int32_t material,
                    float repeat);
// A tube along a closed or open curve c(t), t in 0..1, radius r (t); inward faces for a tunnel
// seen from inside.
void AddTube(Mesh* m, const std::function<Vector3(float)>& curve, const std::function<float(float)>& radius,
             int segments, int sides, bool closed, int32_t material, float uRepeat, float vRepeat,
             bool inward = false);
// A cylinder standing on z from base, with caps.
void AddCylinder(Mesh* m, const Vector3& base, float radius, float height, int sides, int32_t material);
// A double pyramid (a crystal) along z.
void AddCrystal(Mesh* m, const Vector3& base, float radius, float height, int sides, float twist, int32_t material);
// A star with `points` points in the x, y plane, thickness along z.
void AddStar(Mesh* m, const Vector3& centre, float outer, float inner, float thickness, int points,
             int32_t material);
// Letters as blocks: the text's coverage mask, one box per run of covered cells, in the x, z
// plane (x to the right, z up), depth along y.
void AddTextBlocks(Mesh* m, const std::vector<uint8_t>& mask, int width, int height, float cell, float depth,
                   int32_t frontMaterial, int32_t sideMaterial);
// Lines for the line style, which joins every two consecutive corners: the pairs are packed
// into triangles three corners at a time (the last pair repeated to fill the last one).
void AddLines(Mesh* m, const std::vector<std::pair<Vector3, Vector3>>& lines, int32_t material);
// The mesh's vertices moved by f, for morph keys.
std::vector<Vector3> Deformed(const Mesh& m, const std::function<Vector3(const Vector3&)>& f);

// Small generators for show content used by the tests: OB3 meshes and script text.
//   auto bytes = Ob3Bytes({{0,0,0},{1,0,0},{0,1,0}}, {{0,1,2,0, 128,64, 0,0, 0,0}});
//   auto star = StarOb3(200);
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace testshow {

using Vertex = std::array<int16_t, 3>;
using Face = std::array<int16_t, 10>;  // a, b, c, group, s0, t0, s1, t1, s2, t2

inline void PutShort(std::vector<uint8_t>* out, int v) {
  out->push_back(static_cast<uint8_t>(v & 0xFF));
  out->push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

inline std::vector<uint8_t> Ob3Bytes(const std::vector<Vertex>& vertices, const std::vector<Face>& faces) {
  std::vector<uint8_t> out;
  PutShort(&out, static_cast<int>(vertices.size()));
  PutShort(&out, static_cast<int>(faces.size()));
  for (const Vertex& v : vertices)
    for (int16_t c : v) PutShort(&out, c);
  for (const Face& f : faces)
    for (int16_t c : f) PutShort(&out, c);
  return out;
}

// A flat five-pointed star of the given radius in the z = 0 plane, textured across its extent.
inline std::vector<uint8_t> StarOb3(int radius) {
  std::vector<Vertex> vertices = {{0, 0, 0}};
  for (int i = 0; i < 10; ++i) {
    const double angle = i * 3.14159265358979 / 5.0;
    const double r = (i % 2 == 0) ? radius : radius * 0.4;
    vertices.push_back({static_cast<int16_t>(std::lround(r * std::cos(angle))),
                        static_cast<int16_t>(std::lround(r * std::sin(angle))), 0});
  }
  auto st = [&](int k) {
    return std::array<int16_t, 2>{static_cast<int16_t>(128 + vertices[k][0] * 128 / radius),
                                  static_cast<int16_t>(128 + vertices[k][1] * 128 / radius)};
  };
  std::vector<Face> faces;
  for (int i = 0; i < 10; ++i) {
    const int a = 0, b = 1 + i, c = 1 + (i + 1) % 10;
    auto sa = st(a), sb = st(b), sc = st(c);
    faces.push_back({static_cast<int16_t>(a), static_cast<int16_t>(b), static_cast<int16_t>(c), 0, sa[0], sa[1],
                     sb[0], sb[1], sc[0], sc[1]});
  }
  return Ob3Bytes(vertices, faces);
}

// Joins lines with CR LF after each (the script's line ends).
inline std::vector<uint8_t> ScriptBytes(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace testshow

// Generated inputs for the archive tests: text, image-like and scene-like bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testdata {

inline uint32_t Next(uint32_t* s) {
  *s = *s * 1664525u + 1013904223u;
  return *s >> 8;
}

inline std::vector<uint8_t> Text(size_t n, uint32_t seed) {
  static const char* words[] = {"the ", "scene ", "camera ", "light ", "frame ", "texture ", "part ",
                                "rock.jpg ", "\r\n", "[part]\r\n", "0 ", "1000 ", "fade "};
  std::vector<uint8_t> out;
  while (out.size() < n) {
    const char* w = words[Next(&seed) % 13];
    out.insert(out.end(), w, w + std::char_traits<char>::length(w));
  }
  out.resize(n);
  return out;
}

inline std::vector<uint8_t> Noise(size_t n, uint32_t seed) {
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(Next(&seed) >> 16);
  return out;
}

// Smooth gradients with a little noise, like a picture's rows.
inline std::vector<uint8_t> Image(int w, int h, uint32_t seed) {
  std::vector<uint8_t> out;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) out.push_back(static_cast<uint8_t>((x * (c + 1) + y * 2 + (Next(&seed) & 3)) & 0xFF));
  return out;
}

// Little-endian records of ints and floats, like a scene file.
inline std::vector<uint8_t> Scene(size_t records, uint32_t seed) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < records; ++i) {
    int32_t frame = static_cast<int32_t>(i * 3);
    float v[3] = {static_cast<float>(Next(&seed) % 100) * 0.5f, 1.0f, static_cast<float>(i) * 0.25f};
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&frame);
    out.insert(out.end(), p, p + 4);
    p = reinterpret_cast<const uint8_t*>(v);
    out.insert(out.end(), p, p + 12);
  }
  return out;
}

inline std::vector<uint8_t> Mixed(size_t n, uint32_t seed) {
  std::vector<uint8_t> out;
  while (out.size() < n) {
    auto a = Text(20000, seed++);
    auto b = Image(64, 48, seed++);
    auto c = Scene(800, seed++);
    auto d = Noise(3000, seed++);
    out.insert(out.end(), a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    out.insert(out.end(), c.begin(), c.end());
    out.insert(out.end(), d.begin(), d.end());
  }
  out.resize(n);
  return out;
}

}  // namespace testdata

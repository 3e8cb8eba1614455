// The launcher's built-in picture (also the program's icon, drawn small): drawn from a few
// shapes, so it needs no file.
#include "platform/launcher_art.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

float Clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }

uint8_t ToByte(float v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0f)); }

}  // namespace

std::vector<uint8_t> MakePlaceholderArt(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
  const float cx = width * 0.55f, cy = height * 0.58f;
  const float radius = std::min(width, height) * 0.24f;
  const float tilt = -0.35f, cosT = std::cos(tilt), sinT = std::sin(tilt);
  for (int y = 0; y < height; ++y) {
    const float fy = static_cast<float>(y) / static_cast<float>(height - 1 > 0 ? height - 1 : 1);
    for (int x = 0; x < width; ++x) {
      // Sky: deep indigo at the top to a warm glow at the horizon.
      float r = 0.05f + 0.75f * fy * fy, g = 0.04f + 0.30f * fy * fy * fy, b = 0.22f + 0.10f * fy;
      // A few fixed stars in the upper sky.
      uint32_t h = static_cast<uint32_t>(x) * 73856093u ^ static_cast<uint32_t>(y) * 19349663u;
      h ^= h >> 13;
      h *= 0x5bd1e995u;
      h ^= h >> 15;
      if (fy < 0.55f && (h % 409u) == 0) r = g = b = 0.9f - fy;

      const float dx = x - cx, dy = y - cy;
      // Ring: an ellipse in the planet's tilted frame; its far half is hidden by the planet.
      const float rx = dx * cosT + dy * sinT, ry = (-dx * sinT + dy * cosT) * 3.2f;
      const float ringDist = std::sqrt(rx * rx + ry * ry) / radius;
      const bool onRing = ringDist > 1.35f && ringDist < 1.75f;
      const bool inPlanet = dx * dx + dy * dy < radius * radius;
      if (inPlanet && !(onRing && ry > 0.0f)) {
        // Lit from the upper left, banded.
        const float nx = dx / radius, ny = dy / radius;
        const float nz = std::sqrt(std::max(0.0f, 1.0f - nx * nx - ny * ny));
        const float light = Clamp01(0.15f + 0.85f * (-0.5f * nx - 0.6f * ny + 0.62f * nz));
        const float band = 0.85f + 0.15f * std::sin(ny * 14.0f);
        r = (0.95f * band) * light;
        g = (0.62f * band) * light;
        b = (0.40f * band) * light;
      } else if (onRing) {
        const float shade = 0.55f + 0.45f * std::sin(ringDist * 40.0f);
        r = 0.85f * shade + 0.1f;
        g = 0.78f * shade + 0.08f;
        b = 0.65f * shade + 0.1f;
      }
      uint8_t* p = &rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
      p[0] = ToByte(r);
      p[1] = ToByte(g);
      p[2] = ToByte(b);
      p[3] = 255;
    }
  }
  return rgba;
}

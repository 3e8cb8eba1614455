#include "show/sprite_outline.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#ifndef GL_CLAMP_TO_EDGE
#define GL_CLAMP_TO_EDGE 0x812F
#endif

namespace {

using Point = std::array<float, 2>;
using Shape = std::vector<Point>;

// The eight extremes of a set of points: along s, t, s + t and s - t.
struct Extremes {
  double lo[4] = {1e30, 1e30, 1e30, 1e30};
  double hi[4] = {-1e30, -1e30, -1e30, -1e30};
  bool any = false;

  void Add(double s, double t) {
    const double v[4] = {s, t, s + t, s - t};
    for (int i = 0; i < 4; ++i) {
      lo[i] = std::min(lo[i], v[i]);
      hi[i] = std::max(hi[i], v[i]);
    }
    any = true;
  }
};

// Keeps the part of a convex polygon where a * s + b * t <= c.
Shape Clip(const Shape& in, double a, double b, double c) {
  Shape out;
  for (size_t i = 0; i < in.size(); ++i) {
    const Point& p = in[i];
    const Point& q = in[(i + 1) % in.size()];
    const double fp = a * p[0] + b * p[1] - c, fq = a * q[0] + b * q[1] - c;
    if (fp <= 0) out.push_back(p);
    if ((fp < 0 && fq > 0) || (fp > 0 && fq < 0)) {
      const double k = fp / (fp - fq);
      out.push_back({static_cast<float>(p[0] + k * (q[0] - p[0])), static_cast<float>(p[1] + k * (q[1] - p[1]))});
    }
  }
  return out;
}

// The octagon the extremes describe, inside the unit square. The box and the diagonal bands
// are widened by a hair so rounding never pulls an edge inside a reached pixel.
Shape Octagon(const Extremes& e) {
  if (!e.any) return {};
  constexpr double kSpare = 1.0 / 4096.0;
  const double s0 = std::max(0.0, e.lo[0] - kSpare), s1 = std::min(1.0, e.hi[0] + kSpare);
  const double t0 = std::max(0.0, e.lo[1] - kSpare), t1 = std::min(1.0, e.hi[1] + kSpare);
  Shape p = {{static_cast<float>(s0), static_cast<float>(t0)},
               {static_cast<float>(s1), static_cast<float>(t0)},
               {static_cast<float>(s1), static_cast<float>(t1)},
               {static_cast<float>(s0), static_cast<float>(t1)}};
  p = Clip(p, -1, -1, -(e.lo[2] - kSpare));  // s + t >= lo
  p = Clip(p, 1, 1, e.hi[2] + kSpare);       // s + t <= hi
  p = Clip(p, -1, 1, -(e.lo[3] - kSpare));   // s - t >= lo
  p = Clip(p, 1, -1, e.hi[3] + kSpare);      // s - t <= hi
  return p;
}

}  // namespace

SpriteOutline OutlineFromLevels(const std::vector<std::vector<uint8_t>>& levels, int width, int height, bool repeatS,
                                bool repeatT) {
  SpriteOutline outline;
  if (levels.empty() || width <= 0 || height <= 0) return outline;
  outline.width = width;
  outline.height = height;
  outline.whole = false;
  Extremes reach;
  int w = width, h = height;
  for (const std::vector<uint8_t>& level : levels) {
    if (level.size() < static_cast<size_t>(w) * h * 4) {
      outline.whole = true;
      outline.levels.clear();
      return outline;
    }
    // A texel x is sampled, with some weight, at s * w within (x - 0.5, x + 1.5); under repeat
    // an edge texel is also the neighbour of the texel at the other edge.
    for (int y = 0; y < h; ++y) {
      const uint8_t* row = &level[static_cast<size_t>(y) * w * 4];
      for (int x = 0; x < w; ++x) {
        if (row[x * 4 + 3] == 0) continue;
        int xs[3] = {x, x, x}, ys[3] = {y, y, y};
        if (repeatS && x == 0) xs[1] = w;
        if (repeatS && x == w - 1) xs[2] = -1;
        if (repeatT && y == 0) ys[1] = h;
        if (repeatT && y == h - 1) ys[2] = -1;
        for (int i = 0; i < 3; ++i) {
          for (int j = 0; j < 3; ++j) {
            for (double dx : {-0.5, 1.5}) {
              for (double dy : {-0.5, 1.5}) reach.Add((xs[i] + dx) / w, (ys[j] + dy) / h);
            }
          }
        }
      }
    }
    outline.levels.push_back(Octagon(reach));
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
  }
  return outline;
}

SpriteOutline TraceSpriteOutline(uint32_t texture) {
  SpriteOutline outline;
  if (texture == 0 || !glIsTexture(texture)) return outline;
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, texture);
  GLint width = 0, height = 0, minFilter = 0, wrapS = 0, wrapT = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
  const bool mipmapped = minFilter != GL_NEAREST && minFilter != GL_LINEAR;
  std::vector<std::vector<uint8_t>> levels;
  bool complete = width > 0 && height > 0;
  for (int w = width, h = height, k = 0; complete; ++k) {
    GLint lw = 0, lh = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, k, GL_TEXTURE_WIDTH, &lw);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, k, GL_TEXTURE_HEIGHT, &lh);
    if (lw != w || lh != h) {
      complete = false;  // a level missing or of the wrong size: the sampler sees no texture
      break;
    }
    levels.emplace_back(static_cast<size_t>(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, k, GL_RGBA, GL_UNSIGNED_BYTE, levels.back().data());
    if (!mipmapped || (w == 1 && h == 1)) break;
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
  }
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  if (!complete) return outline;
  return OutlineFromLevels(levels, width, height, wrapS != GL_CLAMP && wrapS != GL_CLAMP_TO_EDGE,
                           wrapT != GL_CLAMP && wrapT != GL_CLAMP_TO_EDGE);
}

int SpriteLevelBound(const float* projection, const float* modelview, int viewWidth, int viewHeight,
                     const SpriteOutline& outline) {
  const int last = static_cast<int>(outline.levels.size()) - 1;
  if (last <= 0) return std::max(last, 0);
  // The clip-space position of the quad at (s, t) is c0 + s * cs + t * ct.
  double m[16];
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row) {
      double v = 0.0;
      for (int k = 0; k < 4; ++k) v += static_cast<double>(projection[k * 4 + row]) * modelview[col * 4 + k];
      m[col * 4 + row] = v;
    }
  double c0[4], cs[4], ct[4];
  for (int row = 0; row < 4; ++row) {
    c0[row] = -m[row] + m[4 + row] + m[12 + row];  // (x, y) = (-1, 1) at s = t = 0
    cs[row] = 2.0 * m[row];
    ct[row] = -2.0 * m[4 + row];
  }
  // Only what lies in front of the near plane (z >= -w) is drawn, and only there is the level
  // of detail of any concern: the quad is cut there, and sampled at the corners of what is
  // left, the middles of its sides and its centre.
  Shape front = Clip({{0, 0}, {1, 0}, {1, 1}, {0, 1}}, -(cs[2] + cs[3]), -(ct[2] + ct[3]), c0[2] + c0[3]);
  if (front.empty()) return 0;  // nothing of it is drawn
  std::vector<std::array<double, 2>> samples;
  double cs0 = 0.0, ct0 = 0.0;
  for (size_t i = 0; i < front.size(); ++i) {
    const Point& p = front[i];
    const Point& q = front[(i + 1) % front.size()];
    samples.push_back({p[0], p[1]});
    samples.push_back({(p[0] + q[0]) * 0.5, (p[1] + q[1]) * 0.5});
    cs0 += p[0];
    ct0 += p[1];
  }
  samples.push_back({cs0 / static_cast<double>(front.size()), ct0 / static_cast<double>(front.size())});
  const double halfW = viewWidth * 0.5, halfH = viewHeight * 0.5;
  double rho = 0.0;
  for (const auto& [s, t] : samples) {
    double c[4];
    for (int row = 0; row < 4; ++row) c[row] = c0[row] + s * cs[row] + t * ct[row];
    if (c[3] < 1e-3) return last;
    const double w2 = c[3] * c[3];
    const double dXds = halfW * (cs[0] * c[3] - c[0] * cs[3]) / w2, dXdt = halfW * (ct[0] * c[3] - c[0] * ct[3]) / w2;
    const double dYds = halfH * (cs[1] * c[3] - c[1] * cs[3]) / w2, dYdt = halfH * (ct[1] * c[3] - c[1] * ct[3]) / w2;
    const double det = dXds * dYdt - dXdt * dYds;
    if (!(std::fabs(det) > 1e-9)) return last;
    // The inverse: texels a pixel along each screen axis, summed (above any norm the sampler
    // may take of them).
    const double dsdX = dYdt / det, dsdY = -dXdt / det, dtdX = -dYds / det, dtdY = dXds / det;
    rho = std::max(rho, (std::fabs(dsdX) + std::fabs(dsdY)) * outline.width +
                            (std::fabs(dtdX) + std::fabs(dtdY)) * outline.height);
  }
  if (!(rho > 0.0) || !std::isfinite(rho)) return last;
  // The level the sampler picks rounds the level of detail, and a linear mipmap filter blends
  // in the next one: one level to spare, over a quarter more texels a pixel than measured.
  const double lod = std::log2(rho * 1.25);
  const int level = static_cast<int>(std::floor(lod + 0.5)) + 1;
  return std::clamp(level, 0, last);
}

// Every picture of the show, drawn from noise, gradients, glows and text. Palette: deep blue
// and violet, with amber light.
#include <cmath>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "tools/contentgen/canvas.h"
#include "tools/contentgen/content.h"

namespace {

constexpr float kPi = 3.14159265358979f;

void PutJpeg(Content* c, const std::string& name, const Canvas& canvas, int quality = 88) {
  c->files["data/" + name] = canvas.EncodeJpeg(quality);
}
void PutPng(Content* c, const std::string& name, const Canvas& canvas, int channels) {
  c->files["data/" + name] = canvas.EncodePng(channels);
}

// Gives every clear pixel (alpha 0) the colour of the drawn pixels nearest to it, spreading
// outwards a pixel at a time. Texture filtering and the mipmap levels mix neighbouring texels,
// colour and alpha apart: black under the clear ones would darken every edge.
void CarryColourPastEdges(Canvas* canvas) {
  const int w = canvas->Width(), h = canvas->Height();
  std::vector<uint8_t> known(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) known[static_cast<size_t>(y) * w + x] = canvas->At(x, y).a > 0 ? 1 : 0;
  for (bool grew = true; grew;) {
    grew = false;
    std::vector<uint8_t> next = known;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        if (known[static_cast<size_t>(y) * w + x]) continue;
        Rgba sum{0, 0, 0, 0};
        int n = 0;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) {
            int nx = (x + dx + w) % w, ny = (y + dy + h) % h;  // the textures repeat
            if (!known[static_cast<size_t>(ny) * w + nx]) continue;
            sum = Add(sum, canvas->At(nx, ny));
            ++n;
          }
        if (n == 0) continue;
        Rgba c = Scale(sum, 1.0f / static_cast<float>(n));
        c.a = 0;
        canvas->At(x, y) = c;
        next[static_cast<size_t>(y) * w + x] = 1;
        grew = true;
      }
    known.swap(next);
  }
}

// A see-through texture as a PNG, for what the player shows as a JPEG texture: pure black (as
// stored in 8 bits) clear and everything else opaque, and the rows upside down, since the
// player lays a PNG's top row at t = 0 and a JPEG's bottom row there. The player mipmaps a PNG
// without blending between levels, which fills faster than a JPEG's blended levels: the
// textures that cover the frame several layers deep (sprites, the dusk city) come this way.
// The clear pixels take the colour of the shapes beside them.
void PutSeeThroughPng(Content* c, const std::string& name, const Canvas& canvas) {
  const int w = canvas.Width(), h = canvas.Height();
  Canvas out(w, h);
  auto zero = [](float v) { return std::lround(Clamp01(v) * 255.0f) == 0; };
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Rgba p = canvas.At(x, h - 1 - y);
      p.a = zero(p.r) && zero(p.g) && zero(p.b) ? 0.0f : 1.0f;
      out.At(x, y) = p;
    }
  CarryColourPastEdges(&out);
  PutPng(c, name, out, 4);
}

// A glowing shape with soft edges, as a PNG with its own alpha: `canvas` holds the colour at
// full strength everywhere (also past the shape's edge) and the shape's coverage in alpha. Every
// effect and see-through material draws it weighted by alpha, so the edges fade out in alpha
// alone and never through dark colour. Rows upside down, as above.
void PutGlowPng(Content* c, const std::string& name, const Canvas& canvas) {
  const int w = canvas.Width(), h = canvas.Height();
  Canvas out(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Rgba p = canvas.At(x, h - 1 - y);
      // Below the player's alpha test (0.01) a texel is never drawn: make it clear outright.
      p.a = p.a < 0.012f ? 0.0f : Clamp01(p.a);
      out.At(x, y) = p;
    }
  PutPng(c, name, out, 4);
}

// The colour of a glow whose parts add up: the weighted mix of their colours at full strength.
Rgba Blend(std::initializer_list<std::pair<Rgba, float>> parts, const Rgba& otherwise) {
  Rgba sum{0, 0, 0, 0};
  float weight = 0;
  for (const auto& [colour, w] : parts) {
    sum = Add(sum, Scale(colour, w));
    weight += w;
  }
  if (weight < 1e-4f) return otherwise;
  Rgba c = Scale(sum, 1.0f / weight);
  c.a = 1;
  return c;
}

// Keeps textured surfaces clear of pure black, which a JPEG texture turns transparent.
Rgba Lift(Rgba p) {
  p.r = std::max(p.r, 0.012f);
  p.g = std::max(p.g, 0.012f);
  p.b = std::max(p.b, 0.02f);
  return p;
}

Canvas Stone() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    float n = Fbm(x * 8, y * 8, 11, 8, 5);
    float v = Fbm(x * 4 + 7, y * 4, 12, 4, 3);
    float crack = SmoothStep(0.02f, 0.0f, std::fabs(Fbm(x * 6, y * 6, 13, 6, 3) - 0.5f));
    Rgba base = Mix(Rgba{0.16f, 0.17f, 0.30f, 1}, Rgba{0.42f, 0.40f, 0.58f, 1}, n);
    base = Mix(base, kViolet, v * 0.3f);
    base = Mix(base, Rgba{0.9f, 0.55f, 0.2f, 1}, crack * 0.6f);
    return Lift(base);
  });
  return c;
}

Canvas Metal() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    float streak = Fbm(x * 2, y * 64, 21, 2, 4);
    float n = Fbm(x * 8, y * 8, 22, 8, 3);
    Rgba base = Mix(Rgba{0.30f, 0.30f, 0.42f, 1}, Rgba{0.70f, 0.68f, 0.82f, 1}, streak * 0.8f + n * 0.2f);
    float rivet = 0;
    for (float ry : {0.06f, 0.94f})
      for (int i = 0; i < 8; ++i) {
        float dx = x - (i + 0.5f) / 8, dy = y - ry;
        rivet += SmoothStep(0.012f, 0.006f, std::sqrt(dx * dx + dy * dy));
      }
    return Lift(Mix(base, kPaleAmber, rivet * 0.7f));
  });
  return c;
}

// A sphere map: the view seen in a mirror ball. Sky above, amber sun, violet ground below.
Canvas Environment() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    float dx = x * 2 - 1, dy = y * 2 - 1;
    float r = std::sqrt(dx * dx + dy * dy);
    if (r > 1) r = 1;
    Rgba sky = Mix(Rgba{0.55f, 0.50f, 0.85f, 1}, kDeepBlue, Clamp01(r * 0.9f));
    Rgba ground = Mix(kViolet, Rgba{0.08f, 0.03f, 0.12f, 1}, r);
    Rgba p = dy < 0.1f * std::sin(dx * 3) ? sky : ground;
    float sx = dx + 0.35f, sy = dy + 0.45f;
    float sun = std::exp(-(sx * sx + sy * sy) * 40);
    p = Add(p, Scale(kAmber, sun * 1.4f));
    p = Add(p, Scale(kAmber, 0.25f * SmoothStep(0.06f, 0.0f, std::fabs(dy - 0.1f * std::sin(dx * 3)))));
    return Lift(p);
  });
  return c;
}

// The sprite field blends with (source alpha, source alpha): alpha weighs the sprite and also
// keeps that share of what is behind it, so a soft alpha edge would darken the picture around
// every sprite. Its sprites are therefore solid shapes (alpha 1) with an edge one texel wide,
// smoothed by sampling 4 x 4 points a texel; the glow fades in colour inside the shape, down
// to a fifth of its brightness at the edge, and that colour carries on past the edge.
// weight(x, y) is 1 at the brightest and reaches `edge` at the shape's outline.
Canvas SpriteShape(int size, const std::function<float(float, float)>& weight, float edge, const Rgba& outer,
                   const Rgba& inner) {
  Canvas c(size, size);
  c.Fill([&](float x, float y) {
    int inside = 0;
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 4; ++i)
        inside += weight(x + (i - 1.5f) / (4.0f * size), y + (j - 1.5f) / (4.0f * size)) > edge;
    float w = weight(x, y);
    float strength = SmoothStep(edge, 1.0f, w);
    Rgba p = Scale(Mix(outer, inner, strength), 0.19f + 0.81f * std::pow(strength, 0.8f));
    p.a = inside / 16.0f;
    return p;
  });
  return c;
}

// A round glow for the sprite field.
Canvas Glow(const Rgba& inner, const Rgba& outer) {
  return SpriteShape(
      128,
      [](float x, float y) {
        float dx = x * 2 - 1, dy = y * 2 - 1;
        return std::pow(Clamp01(1 - std::sqrt(dx * dx + dy * dy) / 0.65f), 2.0f);
      },
      0.01f, outer, inner);
}

// Concentric rings around a pale core.
Canvas Rings() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    float dx = x * 2 - 1, dy = y * 2 - 1;
    float r = std::sqrt(dx * dx + dy * dy);
    float ring = std::pow(0.5f + 0.5f * std::cos(r * 34), 6.0f) * SmoothStep(1.0f, 0.6f, r);
    float core = SmoothStep(0.3f, 0.0f, r);
    Rgba p = Blend({{Mix(kAmber, kViolet, Clamp01(r)), ring}, {kPaleAmber, core}}, Mix(kAmber, kViolet, Clamp01(r)));
    p.a = Clamp01(ring + core);
    return p;
  });
  return c;
}

// A three-rayed amber star with a violet halo.
Canvas Flare() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    float dx = x * 2 - 1, dy = y * 2 - 1;
    float r = std::sqrt(dx * dx + dy * dy);
    float a = std::atan2(dy, dx);
    float rays = std::pow(std::fabs(std::cos(a * 3)), 20.0f) * SmoothStep(1.0f, 0.0f, r);
    float core = std::exp(-r * r * 12);
    float halo = 0.4f * SmoothStep(0.08f, 0.0f, std::fabs(r - 0.7f));
    Rgba p = Blend({{kAmber, rays * 0.9f + core}, {kPaleAmber, core * 0.8f}, {kViolet, halo}}, kAmber);
    // The violet halo alone is darker than the rest: lift it to a light violet.
    p = Mix(p, Rgba{0.62f, 0.45f, 0.95f, 1}, Clamp01(halo / (rays * 0.9f + core * 1.8f + halo + 1e-4f)) * 0.6f);
    p.a = Clamp01(rays * 0.9f + core * 1.8f + halo);
    return p;
  });
  return c;
}

Canvas StarField(int size, uint32_t seed) {
  Canvas c(size, size);
  c.Fill([&](float x, float y) {
    float n = Fbm(x * 3, y * 3, seed, 3, 5);
    float m = Fbm(x * 5 + 3, y * 5, seed + 7, 5, 4);
    Rgba p = Mix(kNight, kDeepBlue, n);
    p = Add(p, Scale(kViolet, std::pow(m, 3.0f) * 0.9f));
    return p;
  });
  c.Stars(size * size / 300, seed + 3, 1.0f);
  return c;
}

// A four-pointed sparkle for the sprite field.
Canvas Sprite() {
  return SpriteShape(
      128,
      [](float x, float y) {
        float dx = x * 2 - 1, dy = y * 2 - 1;
        float r = std::sqrt(dx * dx + dy * dy);
        float cross = std::exp(-std::fabs(dx) * 30) + std::exp(-std::fabs(dy) * 30);
        return Clamp01(std::exp(-r * r * 10) + cross * SmoothStep(1.0f, 0.0f, r) * 0.8f);
      },
      0.04f, kAmber, kPaleAmber);
}

// Circuit traces: a grid of cells, each wired by a hashed pattern.
Canvas Circuit() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    float n = Fbm(x * 4, y * 4, 41, 4, 3);
    Rgba p = Mix(Rgba{0.08f, 0.14f, 0.30f, 1}, Rgba{0.18f, 0.26f, 0.50f, 1}, n);
    p.a = 1;
    return p;
  });
  const int cells = 16;
  float cw = 256.0f / cells;
  for (int j = 0; j < cells; ++j)
    for (int i = 0; i < cells; ++i) {
      float h = Hash01(i, j, 42);
      float x0 = (i + 0.5f) * cw, y0 = (j + 0.5f) * cw;
      Rgba trace = h < 0.3f ? kAmber : Rgba{0.45f, 0.55f, 1.0f, 1};
      if (h < 0.5f) c.Line(x0, y0, x0 + cw, y0, 2.0f, trace);
      if (Hash01(i, j, 43) < 0.5f) c.Line(x0, y0, x0, y0 + cw, 2.0f, trace);
      if (Hash01(i, j, 44) < 0.25f) c.Line(x0, y0, x0 + cw, y0 + cw, 1.5f, trace);
      if (Hash01(i, j, 45) < 0.3f) c.Glow(x0, y0, 4, kPaleAmber, 1.0f);
      if (Hash01(i, j, 46) < 0.08f) c.Rect(static_cast<int>(x0 - 6), static_cast<int>(y0 - 4), static_cast<int>(x0 + 6),
                                           static_cast<int>(y0 + 4), Rgba{0.1f, 0.1f, 0.15f, 1});
    }
  return c;
}

Canvas Terrain() {
  Canvas c(512, 512);
  c.Fill([](float x, float y) {
    float h = Fbm(x * 4, y * 4, 51, 4, 6);
    float ridge = 1 - std::fabs(Fbm(x * 8, y * 8, 52, 8, 4) * 2 - 1);
    Rgba p = Mix(Rgba{0.10f, 0.08f, 0.22f, 1}, Rgba{0.38f, 0.30f, 0.55f, 1}, h);
    p = Mix(p, Rgba{0.75f, 0.72f, 0.90f, 1}, SmoothStep(0.62f, 0.75f, h) * 0.7f);
    p = Add(p, Scale(kAmber, std::pow(ridge, 12.0f) * 0.8f));
    return Lift(p);
  });
  return c;
}

Canvas Facade() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    int col = static_cast<int>(x * 16), row = static_cast<int>(y * 32);
    float fx = x * 16 - col, fy = y * 32 - row;
    bool window = fx > 0.2f && fx < 0.8f && fy > 0.25f && fy < 0.75f;
    Rgba wall = Mix(Rgba{0.08f, 0.09f, 0.22f, 1}, Rgba{0.16f, 0.16f, 0.34f, 1}, Fbm(x * 8, y * 8, 61, 8, 3));
    if (!window) return Lift(wall);
    float lit = Hash01(col, row, 62);
    Rgba glass = lit > 0.55f ? Mix(kAmber, kPaleAmber, Hash01(col, row, 63)) : Rgba{0.05f, 0.08f, 0.2f, 1};
    if (lit > 0.9f) glass = Rgba{0.6f, 0.6f, 1.0f, 1};
    return Lift(glass);
  });
  return c;
}

// Lit windows on pure black: as a see-through texture only the windows remain.
Canvas Windows() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    int col = static_cast<int>(x * 16), row = static_cast<int>(y * 32);
    float fx = x * 16 - col, fy = y * 32 - row;
    bool window = fx > 0.2f && fx < 0.8f && fy > 0.25f && fy < 0.75f;
    float lit = Hash01(col, row, 62);
    if (!window || lit < 0.45f) return Rgba{0, 0, 0, 1};
    return Scale(Mix(kAmber, kPaleAmber, Hash01(col, row, 63)), 0.55f);
  });
  return c;
}

Canvas Glass() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    float streak = Fbm(x * 2 + y * 2, y * 8, 71, 2, 3);
    Rgba p = Mix(Rgba{0.25f, 0.30f, 0.75f, 1}, Rgba{0.75f, 0.70f, 1.0f, 1}, streak);
    p = Add(p, Scale(kAmber, SmoothStep(0.55f, 0.7f, streak) * 0.5f));
    return Lift(p);
  });
  return c;
}

Canvas Gold() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    float band = 0.5f + 0.5f * std::sin(y * 9 + Fbm(x * 4, y * 4, 81, 4, 3) * 3);
    Rgba p = Mix(Rgba{0.55f, 0.30f, 0.08f, 1}, Rgba{1.0f, 0.85f, 0.50f, 1}, band);
    return Lift(p);
  });
  return c;
}

Canvas Crystal() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    // Facets: nearest of a few hashed points.
    float best = 9, second = 9;
    int bi = 0;
    for (int k = 0; k < 24; ++k) {
      float px = Hash01(k, 1, 91), py = Hash01(k, 2, 91);
      for (int ox = -1; ox <= 1; ++ox)
        for (int oy = -1; oy <= 1; ++oy) {
          float dx = x - px - ox, dy = y - py - oy, d = dx * dx + dy * dy;
          if (d < best) {
            second = best;
            best = d;
            bi = k;
          } else if (d < second) {
            second = d;
          }
        }
    }
    float edge = SmoothStep(0.004f, 0.0f, std::sqrt(second) - std::sqrt(best));
    Rgba p = Mix(Rgba{0.35f, 0.25f, 0.80f, 1}, Rgba{0.75f, 0.85f, 1.0f, 1}, Hash01(bi, 3, 91));
    return Lift(Add(p, Scale(kPaleAmber, edge)));
  });
  return c;
}

Canvas Seed() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    float cells = Fbm(x * 12, y * 12, 101, 12, 2);
    float vein = std::pow(1 - std::fabs(std::sin((x + Fbm(x * 3, y * 3, 102, 3, 3) * 0.3f) * kPi * 6)), 8.0f);
    Rgba p = Mix(Rgba{0.45f, 0.20f, 0.08f, 1}, kAmber, cells);
    p = Add(p, Scale(kPaleAmber, vein * 0.6f));
    return Lift(p);
  });
  return c;
}

Canvas WireGrid() {
  Canvas c(256, 256);
  c.Fill([](float x, float y) {
    float gx = std::fabs(std::fmod(x * 8, 1.0f) - 0.5f), gy = std::fabs(std::fmod(y * 8, 1.0f) - 0.5f);
    float line = SmoothStep(0.44f, 0.5f, std::max(gx, gy));
    Rgba p = Mix(Rgba{0.03f, 0.04f, 0.14f, 1}, Rgba{0.6f, 0.45f, 1.0f, 1}, line);
    return Lift(Add(p, Scale(kAmber, line * Fbm(x * 4, y * 4, 111, 4, 2) * 0.6f)));
  });
  return c;
}

// The flash pictures of the two hits: a burst of rays from the centre. A flash is on screen for
// a third of a second, soft enough that 256 texels a side hold it (a quarter of the memory of
// 512).
Canvas Burst(uint32_t seed, const Rgba& tint) {
  Canvas c(256, 256);
  c.Fill([&](float x, float y) {
    float dx = x * 2 - 1, dy = y * 2 - 1;
    float r = std::sqrt(dx * dx + dy * dy), a = std::atan2(dy, dx);
    float rays = Fbm((a + kPi) / (2 * kPi) * 32, 0.5f, seed, 32, 3);
    rays = std::pow(rays, 3.0f) * 3;
    float core = std::exp(-r * r * 6);
    Rgba p = Add(Scale(tint, rays * SmoothStep(1.4f, 0.0f, r) + core * 1.2f), Scale(kWhite, core * 0.6f));
    return Add(p, Scale(kViolet, 0.3f * (1 - r)));
  });
  return c;
}

// Fullscreen pictures, 640 x 480.
Canvas Sky(uint32_t seed, const Rgba& horizon) {
  Canvas c(640, 480);
  c.Fill([&](float x, float y) {
    Rgba p = Mix(kNight, kDeepBlue, y);
    p = Mix(p, horizon, SmoothStep(0.55f, 1.0f, y) * 0.8f);
    float cloud = Fbm(x * 4, y * 3, seed, 4, 5);
    p = Add(p, Scale(kViolet, std::pow(cloud, 2.5f) * 0.6f * (1 - y)));
    return p;
  });
  c.Stars(420, seed + 1, 0.9f);
  c.Vignette(0.5f);
  return c;
}

// Behind the crystals: a dim, out-of-focus haze of violet and blue with a few soft discs of
// far light, as seen through a close-up lens; quiet, like the breakdown it plays under.
Canvas Haze() {
  Canvas c(640, 480);
  c.Fill([](float x, float y) {
    float n = Fbm(x * 2, y * 1.5f, 171, 2, 4);
    Rgba p = Mix(kNight, Rgba{0.10f, 0.07f, 0.26f, 1}, SmoothStep(0.2f, 0.8f, n));
    p = Add(p, Scale(kViolet, 0.35f * std::pow(Clamp01(1 - std::fabs(y - 0.55f) * 2.2f), 2.0f)));
    return p;
  });
  for (int i = 0; i < 26; ++i) {
    float x = 640 * Hash01(i, 1, 172), y = 480 * (0.15f + 0.75f * Hash01(i, 2, 172));
    float radius = 14 + 40 * Hash01(i, 3, 172);
    Rgba tint = Mix(Rgba{0.35f, 0.30f, 0.75f, 1}, kAmber, Hash01(i, 4, 172) < 0.3f ? 0.8f : 0.1f);
    c.Glow(x, y, radius, Scale(tint, 0.10f + 0.12f * Hash01(i, 5, 172)), 0.35f);
  }
  c.Vignette(0.6f);
  return c;
}

Canvas Overlay() {
  Canvas c(640, 480);
  c.Fill([](float, float) { return Rgba{0, 0, 0, 0}; });
  return c;
}

}  // namespace

void MakePictures(const Font& font, Content* content) {
  PutJpeg(content, "stone.jpg", Stone());
  PutJpeg(content, "metal.jpg", Metal());
  PutJpeg(content, "env.jpg", Environment());
  // The glowing textures of the effects and see-through materials: soft edges in alpha.
  PutGlowPng(content, "glow.png", Glow(kPaleAmber, kAmber));
  PutGlowPng(content, "violetglow.png", Glow(Rgba{0.8f, 0.7f, 1.0f, 1}, Rgba{0.55f, 0.35f, 0.85f, 1}));
  PutGlowPng(content, "rings.png", Rings());
  PutGlowPng(content, "flare.png", Flare());
  PutJpeg(content, "stars.jpg", StarField(512, 31));
  PutGlowPng(content, "sparkle.png", Sprite());
  PutPng(content, "circuit.png", Circuit(), 3);
  PutJpeg(content, "terrain.jpg", Terrain());
  PutJpeg(content, "facade.jpg", Facade());
  PutSeeThroughPng(content, "windows.png", Windows());
  PutJpeg(content, "glass.jpg", Glass());
  PutJpeg(content, "gold.jpg", Gold());
  PutJpeg(content, "crystal.jpg", Crystal());
  PutJpeg(content, "seed.jpg", Seed());
  PutJpeg(content, "wire.jpg", WireGrid());
  PutJpeg(content, "2.jpg", Burst(121, kAmber));
  PutJpeg(content, "4.jpg", Burst(122, Rgba{0.7f, 0.5f, 1.0f, 1}));

  // Fullscreen backgrounds.
  PutJpeg(content, "sky.jpg", Sky(131, kViolet));
  PutJpeg(content, "dusk.jpg", Sky(132, Rgba{0.9f, 0.45f, 0.2f, 1}));
  PutJpeg(content, "haze.jpg", Haze());
  {
    Canvas c(640, 480);
    c.Fill([](float x, float y) {
      float n = Fbm(x * 3, y * 2.25f, 141, 3, 6), m = Fbm(x * 6, y * 4.5f, 142, 6, 4);
      Rgba p = Mix(kNight, kViolet, std::pow(n, 1.8f) * 1.2f);
      return Add(p, Scale(kAmber, std::pow(m * n, 3.0f) * 2.5f));
    });
    c.Stars(300, 143, 0.8f);
    c.Vignette(0.6f);
    PutJpeg(content, "nebula.jpg", c);
  }

  // The loading screen.
  {
    Canvas c = Sky(151, kViolet);
    c.Text(font, "QUILLON", 320, 250, 96, kPaleAmber, 10, Scale(kAmber, 0.8f));
    c.Text(font, "loading", 320, 420, 22, Rgba{0.7f, 0.7f, 0.95f, 1});
    PutJpeg(content, "loading.jpg", c, 90);
  }

  // Text overlays with their own alpha, drawn over the scenes.
  auto card = [&](const std::string& name, const std::vector<std::pair<std::string, float>>& lines, float top,
                  float size, const Rgba& colour) {
    Canvas c = Overlay();
    float y = top;
    for (const auto& [text, scale] : lines) {
      if (!text.empty()) c.Text(font, text, 320, y, size * scale, colour, size * scale * 0.12f, Scale(kAmber, 0.5f));
      y += size * scale * 1.35f;
    }
    PutPng(content, name, c, 4);
  };
  card("presents.png", {{"VELTRUM", 1.0f}, {"presents", 0.5f}}, 230, 56, kPaleAmber);
  card("title.png", {{"QUILLON", 1.0f}}, 290, 120, Rgba{1.0f, 0.82f, 0.45f, 1});
  card("small.png", {{"small worlds", 1.0f}}, 440, 40, Rgba{0.85f, 0.85f, 1.0f, 1});
  card("rise.png", {{"rise", 1.0f}}, 90, 64, kPaleAmber);
  card("credits1.png",
       {{"code", 0.45f}, {"the Quillon team", 0.8f}, {"", 0.5f}, {"music", 0.45f}, {"songgen", 0.8f}},
       150, 50, kPaleAmber);
  card("credits2.png",
       {{"pictures and scenes", 0.45f}, {"contentgen", 0.8f}, {"", 0.5f}, {"type", 0.45f}, {"DejaVu fonts", 0.8f}},
       150, 50, kPaleAmber);
  card("credits3.png", {{"VELTRUM", 1.0f}, {"thank you for watching", 0.45f}}, 250, 64, kPaleAmber);

  // Launcher picture (180 x 182) and icon.
  {
    Canvas c(180, 182);
    c.Fill([](float x, float y) {
      Rgba p = Mix(kNight, kDeepBlue, y);
      return Add(p, Scale(kViolet, std::pow(Fbm(x * 3, y * 3, 161, 3, 4), 2.0f)));
    });
    c.Stars(60, 162, 0.8f);
    c.Glow(90, 70, 50, Scale(kAmber, 0.6f), 2.0f);
    c.Text(font, "QUILLON", 90, 120, 34, kPaleAmber, 3, Scale(kAmber, 0.6f));
    c.Text(font, "VELTRUM", 90, 160, 16, Rgba{0.75f, 0.75f, 1.0f, 1});
    content->extras["launcher.png"] = c.EncodePng(3);
  }
  {
    Canvas c(64, 64);
    c.Fill([](float x, float y) {
      float dx = x * 2 - 1, dy = y * 2 - 1, r = std::sqrt(dx * dx + dy * dy);
      Rgba p = Mix(kViolet, kDeepBlue, r);
      p.a = SmoothStep(1.0f, 0.94f, r);
      return p;
    });
    c.Glow(32, 32, 26, kAmber, 2.0f);
    c.Text(font, "Q", 32, 47, 44, kPaleAmber);
    content->extras["icon.png"] = c.EncodePng(4);
  }
}

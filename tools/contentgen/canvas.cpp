#include "tools/contentgen/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "io/image_write.h"

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb/stb_truetype.h>

const Rgba kDeepBlue{0.04f, 0.06f, 0.24f, 1};
const Rgba kViolet{0.30f, 0.12f, 0.52f, 1};
const Rgba kAmber{1.00f, 0.66f, 0.22f, 1};
const Rgba kPaleAmber{1.00f, 0.86f, 0.60f, 1};
const Rgba kNight{0.015f, 0.02f, 0.07f, 1};
const Rgba kWhite{1, 1, 1, 1};

Rgba Mix(const Rgba& a, const Rgba& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}
Rgba Scale(const Rgba& c, float k) { return {c.r * k, c.g * k, c.b * k, c.a}; }
Rgba Add(const Rgba& a, const Rgba& b) { return {a.r + b.r, a.g + b.g, a.b + b.b, a.a}; }
float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
float SmoothStep(float e0, float e1, float x) {
  float t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}

static uint32_t Hash(uint32_t a, uint32_t b, uint32_t seed) {
  uint32_t h = seed * 0x9E3779B9u ^ (a * 0x85EBCA6Bu) ^ (b * 0xC2B2AE35u);
  h ^= h >> 16;
  h *= 0x7FEB352Du;
  h ^= h >> 15;
  h *= 0x846CA68Bu;
  h ^= h >> 16;
  return h;
}

float Hash01(uint32_t a, uint32_t b, uint32_t seed) { return (Hash(a, b, seed) >> 8) * (1.0f / 16777216.0f); }

float Noise2(float x, float y, uint32_t seed, int period) {
  float fx = std::floor(x), fy = std::floor(y);
  int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
  float tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  auto wrap = [period](int v) { return static_cast<uint32_t>(((v % period) + period) % period); };
  float a = Hash01(wrap(ix), wrap(iy), seed), b = Hash01(wrap(ix + 1), wrap(iy), seed);
  float c = Hash01(wrap(ix), wrap(iy + 1), seed), d = Hash01(wrap(ix + 1), wrap(iy + 1), seed);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

float Fbm(float x, float y, uint32_t seed, int period, int octaves) {
  float sum = 0, amp = 0.5f, norm = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += Noise2(x, y, seed + o * 101u, period) * amp;
    norm += amp;
    x *= 2;
    y *= 2;
    period *= 2;
    amp *= 0.5f;
  }
  return sum / norm;
}

Canvas::Canvas(int width, int height) : width_(width), height_(height), px_(static_cast<size_t>(width) * height) {}

void Canvas::Fill(const std::function<Rgba(float, float)>& f) {
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) At(x, y) = f((x + 0.5f) / width_, (y + 0.5f) / height_);
}

void Canvas::Glow(float cx, float cy, float radius, const Rgba& colour, float power) {
  int x0 = std::max(0, static_cast<int>(cx - radius)), x1 = std::min(width_ - 1, static_cast<int>(cx + radius) + 1);
  int y0 = std::max(0, static_cast<int>(cy - radius)), y1 = std::min(height_ - 1, static_cast<int>(cy + radius) + 1);
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) {
      float dx = x + 0.5f - cx, dy = y + 0.5f - cy;
      float d = std::sqrt(dx * dx + dy * dy) / radius;
      if (d >= 1) continue;
      float w = std::pow(1 - d, power);
      Rgba& p = At(x, y);
      p.r += colour.r * w;
      p.g += colour.g * w;
      p.b += colour.b * w;
    }
}

void Canvas::Line(float x0, float y0, float x1, float y1, float width, const Rgba& colour) {
  int bx0 = std::max(0, static_cast<int>(std::min(x0, x1) - width - 1));
  int bx1 = std::min(width_ - 1, static_cast<int>(std::max(x0, x1) + width + 1));
  int by0 = std::max(0, static_cast<int>(std::min(y0, y1) - width - 1));
  int by1 = std::min(height_ - 1, static_cast<int>(std::max(y0, y1) + width + 1));
  float dx = x1 - x0, dy = y1 - y0, len2 = dx * dx + dy * dy;
  for (int y = by0; y <= by1; ++y)
    for (int x = bx0; x <= bx1; ++x) {
      float px = x + 0.5f - x0, py = y + 0.5f - y0;
      float t = len2 > 0 ? Clamp01((px * dx + py * dy) / len2) : 0;
      float ex = px - t * dx, ey = py - t * dy;
      float d = std::sqrt(ex * ex + ey * ey);
      float w = Clamp01(width * 0.5f + 0.5f - d) * colour.a;
      if (w <= 0) continue;
      Rgba& p = At(x, y);
      p = Mix(p, Rgba{colour.r, colour.g, colour.b, 1}, w);
    }
}

void Canvas::Rect(int x0, int y0, int x1, int y1, const Rgba& colour) {
  for (int y = std::max(0, y0); y < std::min(height_, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(width_, x1); ++x) {
      Rgba& p = At(x, y);
      float a = p.a;
      p = Mix(p, Rgba{colour.r, colour.g, colour.b, 1}, colour.a);
      p.a = std::max(a, colour.a);
    }
}

void Canvas::Stars(int count, uint32_t seed, float brightness) {
  for (int i = 0; i < count; ++i) {
    float x = Hash01(i, 1, seed) * width_, y = Hash01(i, 2, seed) * height_;
    float m = Hash01(i, 3, seed);
    float size = 0.8f + 2.2f * m * m * m;
    Rgba c = Mix(kPaleAmber, Rgba{0.7f, 0.75f, 1.0f, 1}, Hash01(i, 4, seed));
    Glow(x, y, size * 1.5f, Scale(c, brightness * (0.3f + 0.7f * m)), 1.5f);
  }
}

bool Font::Load(const std::string& path, std::string* why) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *why = "cannot open font " + path;
    return false;
  }
  std::vector<uint8_t> bytes;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  info_.assign(sizeof(stbtt_fontinfo), 0);
  auto* info = reinterpret_cast<stbtt_fontinfo*>(info_.data());
  bytes_ = std::move(bytes);
  if (bytes_.empty() || !stbtt_InitFont(info, bytes_.data(), stbtt_GetFontOffsetForIndex(bytes_.data(), 0))) {
    bytes_.clear();
    *why = "not a TrueType font: " + path;
    return false;
  }
  return true;
}

std::vector<uint8_t> Canvas::TextMask(const Font& font, const std::string& text, float pixelHeight, int* width,
                                      int* height) {
  const auto* info = static_cast<const stbtt_fontinfo*>(font.Info());
  float scale = stbtt_ScaleForPixelHeight(info, pixelHeight);
  int ascent, descent, gap;
  stbtt_GetFontVMetrics(info, &ascent, &descent, &gap);
  int base = static_cast<int>(std::ceil(ascent * scale));
  int h = base + static_cast<int>(std::ceil(-descent * scale)) + 2;
  // Advance widths first.
  float pen = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    int adv, lsb;
    stbtt_GetCodepointHMetrics(info, static_cast<unsigned char>(text[i]), &adv, &lsb);
    pen += adv * scale;
    if (i + 1 < text.size())
      pen += scale * stbtt_GetCodepointKernAdvance(info, static_cast<unsigned char>(text[i]),
                                                   static_cast<unsigned char>(text[i + 1]));
  }
  int w = static_cast<int>(std::ceil(pen)) + 2;
  std::vector<uint8_t> mask(static_cast<size_t>(w) * h, 0);
  pen = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    int ch = static_cast<unsigned char>(text[i]);
    int adv, lsb, x0, y0, x1, y1;
    stbtt_GetCodepointHMetrics(info, ch, &adv, &lsb);
    float shift = pen - std::floor(pen);
    stbtt_GetCodepointBitmapBoxSubpixel(info, ch, scale, scale, shift, 0, &x0, &y0, &x1, &y1);
    int gw = x1 - x0, gh = y1 - y0;
    if (gw > 0 && gh > 0) {
      std::vector<uint8_t> glyph(static_cast<size_t>(gw) * gh);
      stbtt_MakeCodepointBitmapSubpixel(info, glyph.data(), gw, gh, gw, scale, scale, shift, 0, ch);
      for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x) {
          int tx = static_cast<int>(std::floor(pen)) + x0 + x, ty = base + y0 + y;
          if (tx < 0 || ty < 0 || tx >= w || ty >= h) continue;
          uint8_t& m = mask[static_cast<size_t>(ty) * w + tx];
          m = static_cast<uint8_t>(std::min(255, m + glyph[static_cast<size_t>(y) * gw + x]));
        }
    }
    pen += adv * scale;
    if (i + 1 < text.size())
      pen += scale * stbtt_GetCodepointKernAdvance(info, ch, static_cast<unsigned char>(text[i + 1]));
  }
  *width = w;
  *height = h;
  return mask;
}

void Canvas::Text(const Font& font, const std::string& text, float cx, float baseline, float pixelHeight,
                  const Rgba& colour, float glowRadius, const Rgba& glowColour) {
  int mw, mh;
  std::vector<uint8_t> mask = TextMask(font, text, pixelHeight, &mw, &mh);
  const auto* info = static_cast<const stbtt_fontinfo*>(font.Info());
  int ascent, descent, gap;
  stbtt_GetFontVMetrics(info, &ascent, &descent, &gap);
  int base = static_cast<int>(std::ceil(ascent * stbtt_ScaleForPixelHeight(info, pixelHeight)));
  int left = static_cast<int>(std::lround(cx - mw * 0.5f)), top = static_cast<int>(std::lround(baseline)) - base;
  if (glowRadius > 0) {
    // A cheap halo: a box blur of the mask, twice.
    int r = static_cast<int>(glowRadius);
    int gw = mw + 4 * r, gh = mh + 4 * r;
    std::vector<float> a(static_cast<size_t>(gw) * gh, 0), b(a.size(), 0);
    for (int y = 0; y < mh; ++y)
      for (int x = 0; x < mw; ++x) a[static_cast<size_t>(y + 2 * r) * gw + x + 2 * r] = mask[y * mw + x] / 255.0f;
    for (int pass = 0; pass < 2; ++pass) {
      for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x) {
          float s = 0;
          for (int k = -r; k <= r; ++k) {
            int xx = x + k;
            if (xx >= 0 && xx < gw) s += a[static_cast<size_t>(y) * gw + xx];
          }
          b[static_cast<size_t>(y) * gw + x] = s / (2 * r + 1);
        }
      for (int y = 0; y < gh; ++y)
        for (int x = 0; x < gw; ++x) {
          float s = 0;
          for (int k = -r; k <= r; ++k) {
            int yy = y + k;
            if (yy >= 0 && yy < gh) s += b[static_cast<size_t>(yy) * gw + x];
          }
          a[static_cast<size_t>(y) * gw + x] = s / (2 * r + 1);
        }
    }
    for (int y = 0; y < gh; ++y)
      for (int x = 0; x < gw; ++x) {
        int tx = left + x - 2 * r, ty = top + y - 2 * r;
        if (tx < 0 || ty < 0 || tx >= width_ || ty >= height_) continue;
        float w = std::min(1.0f, a[static_cast<size_t>(y) * gw + x] * 2.0f);
        Rgba& p = At(tx, ty);
        p.r += glowColour.r * w;
        p.g += glowColour.g * w;
        p.b += glowColour.b * w;
        p.a = std::max(p.a, w * glowColour.a);
      }
  }
  for (int y = 0; y < mh; ++y)
    for (int x = 0; x < mw; ++x) {
      int tx = left + x, ty = top + y;
      if (tx < 0 || ty < 0 || tx >= width_ || ty >= height_) continue;
      float w = mask[y * mw + x] / 255.0f;
      if (w <= 0) continue;
      Rgba& p = At(tx, ty);
      float a = p.a;
      p = Mix(p, colour, w);
      p.a = std::max(a, w * colour.a);
    }
}

void Canvas::Vignette(float strength) {
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      float dx = (x + 0.5f) / width_ - 0.5f, dy = (y + 0.5f) / height_ - 0.5f;
      float k = 1 - strength * SmoothStep(0.2f, 0.75f, std::sqrt(dx * dx + dy * dy));
      Rgba& p = At(x, y);
      p = Rgba{p.r * k, p.g * k, p.b * k, p.a};
    }
}

static uint8_t ToByte(float v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0f)); }

std::vector<uint8_t> Canvas::EncodeJpeg(int quality) const {
  std::vector<uint8_t> rgb(static_cast<size_t>(width_) * height_ * 3);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      const Rgba& p = At(x, y);
      uint8_t* o = &rgb[(static_cast<size_t>(y) * width_ + x) * 3];
      o[0] = ToByte(p.r);
      o[1] = ToByte(p.g);
      o[2] = ToByte(p.b);
    }
  JpegOptions options;
  options.quality = quality;
  options.optimize = true;
  std::vector<uint8_t> out;
  std::string why;
  if (!::EncodeJpeg(&out, rgb.data(), width_, height_, 3, options, &why)) {
    std::fprintf(stderr, "contentgen: %s\n", why.c_str());
    std::exit(1);
  }
  return out;
}

std::vector<uint8_t> Canvas::EncodePng(int channels) const {
  std::vector<uint8_t> pixels(static_cast<size_t>(width_) * height_ * channels);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x) {
      const Rgba& p = At(x, y);
      uint8_t* o = &pixels[(static_cast<size_t>(y) * width_ + x) * channels];
      o[0] = ToByte(p.r);
      o[1] = ToByte(p.g);
      o[2] = ToByte(p.b);
      if (channels == 4) o[3] = ToByte(p.a);
    }
  std::vector<uint8_t> out;
  std::string why;
  if (!::EncodePng(&out, pixels.data(), width_, height_, channels, &why, 9)) {
    std::fprintf(stderr, "contentgen: PNG encoder: %s\n", why.c_str());
    std::exit(1);
  }
  return out;
}

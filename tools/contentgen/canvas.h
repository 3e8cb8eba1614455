// Pictures for the show's content, drawn procedurally: a float RGBA canvas with value noise,
// gradients, soft discs, lines and text set from a TrueType font, written out as JPEG or PNG
// bytes. Everything is deterministic: noise comes from an integer hash of a fixed seed, and
// the encoders write no time stamps.
//
//   Canvas c(256, 256);
//   c.Fill([](float x, float y) { return Rgba{x, y, 0.5f, 1}; });   // x, y in 0..1
//   std::vector<uint8_t> jpg = c.EncodeJpeg(90);
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Rgba {
  float r = 0, g = 0, b = 0, a = 1;
};

Rgba Mix(const Rgba& a, const Rgba& b, float t);
Rgba Scale(const Rgba& c, float k);
Rgba Add(const Rgba& a, const Rgba& b);
float Clamp01(float v);
float SmoothStep(float e0, float e1, float x);

// The show's palette.
extern const Rgba kDeepBlue, kViolet, kAmber, kPaleAmber, kNight, kWhite;

// Value noise on a lattice of period `period` cells (tiles seamlessly), fractal sum of
// `octaves` octaves; result roughly 0..1.
float Noise2(float x, float y, uint32_t seed, int period);
float Fbm(float x, float y, uint32_t seed, int period, int octaves);
// A hash of three integers to 0..1.
float Hash01(uint32_t a, uint32_t b, uint32_t seed);

class Font;

class Canvas {
 public:
  Canvas(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  Rgba& At(int x, int y) { return px_[static_cast<size_t>(y) * width_ + x]; }
  const Rgba& At(int x, int y) const { return px_[static_cast<size_t>(y) * width_ + x]; }

  // f gets the pixel centre in 0..1 across and down.
  void Fill(const std::function<Rgba(float, float)>& f);
  // Adds colour * weight, weight falling from 1 at the centre to 0 at radius (pixels).
  void Glow(float cx, float cy, float radius, const Rgba& colour, float power = 2.0f);
  void Line(float x0, float y0, float x1, float y1, float width, const Rgba& colour);
  // Blends a rectangle over the canvas.
  void Rect(int x0, int y0, int x1, int y1, const Rgba& colour);
  // Scatters `count` stars (small glows) with the seed.
  void Stars(int count, uint32_t seed, float brightness);
  // Text centred on cx with its baseline at y, `pixelHeight` high. With glowRadius > 0 a soft
  // halo in glowColour is added around the letters first.
  void Text(const Font& font, const std::string& text, float cx, float baseline, float pixelHeight,
            const Rgba& colour, float glowRadius = 0.0f, const Rgba& glowColour = {});
  // Darkens towards the corners; strength 0 leaves the picture as it is.
  void Vignette(float strength);

  std::vector<uint8_t> EncodeJpeg(int quality) const;
  // channels 3 or 4.
  std::vector<uint8_t> EncodePng(int channels) const;
  // 8-bit coverage of a string, for building geometry from letters.
  static std::vector<uint8_t> TextMask(const Font& font, const std::string& text, float pixelHeight, int* width,
                                       int* height);

 private:
  int width_, height_;
  std::vector<Rgba> px_;
};

// A TrueType font read from a file (fonts-dejavu-core).
class Font {
 public:
  bool Load(const std::string& path, std::string* why);
  const void* Info() const { return info_.data(); }
  bool Loaded() const { return !bytes_.empty(); }

 private:
  std::vector<uint8_t> bytes_;
  std::vector<uint8_t> info_;  // stbtt_fontinfo storage
};

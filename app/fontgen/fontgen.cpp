// Build-time tool: rasterises the printable ASCII characters of a TrueType font (DejaVu Sans
// Mono from Debian's fonts-dejavu-core) into one row of fixed cells and writes them as C++ data,
// the small font the player's overlay carries. Nothing is read at run time.
//
//   overlay_fontgen FONT.ttf OUT.cpp PIXEL_HEIGHT
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>
#pragma GCC diagnostic pop

namespace {

constexpr int kFirst = 32;
constexpr int kCount = 95;

std::vector<unsigned char> ReadFile(const char* path) {
  std::vector<unsigned char> bytes;
  FILE* f = std::fopen(path, "rb");
  if (!f) return bytes;
  unsigned char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
  std::fclose(f);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: overlay_fontgen FONT.ttf OUT.cpp PIXEL_HEIGHT\n");
    return 2;
  }
  const int pixels = std::atoi(argv[3]);
  std::vector<unsigned char> ttf = ReadFile(argv[1]);
  stbtt_fontinfo font;
  if (ttf.empty() || pixels < 6 || pixels > 64 || !stbtt_InitFont(&font, ttf.data(), stbtt_GetFontOffsetForIndex(ttf.data(), 0))) {
    std::fprintf(stderr, "overlay_fontgen: cannot read the font %s\n", argv[1]);
    return 1;
  }
  const float scale = stbtt_ScaleForPixelHeight(&font, static_cast<float>(pixels));
  int ascent = 0, descent = 0, gap = 0;
  stbtt_GetFontVMetrics(&font, &ascent, &descent, &gap);
  int advance = 0, bearing = 0;
  stbtt_GetCodepointHMetrics(&font, 'M', &advance, &bearing);
  const int cellWidth = static_cast<int>(std::ceil(advance * scale));
  const int baseline = static_cast<int>(std::ceil(ascent * scale));
  const int cellHeight = baseline + static_cast<int>(std::ceil(-descent * scale));
  const int atlasWidth = cellWidth * kCount;
  std::vector<unsigned char> atlas(static_cast<size_t>(atlasWidth) * cellHeight, 0);
  for (int i = 0; i < kCount; ++i) {
    int x0, y0, x1, y1;
    stbtt_GetCodepointBitmapBox(&font, kFirst + i, scale, scale, &x0, &y0, &x1, &y1);
    const int w = x1 - x0, h = y1 - y0;
    if (w <= 0 || h <= 0) continue;
    std::vector<unsigned char> glyph(static_cast<size_t>(w) * h);
    stbtt_MakeCodepointBitmap(&font, glyph.data(), w, h, w, scale, scale, kFirst + i);
    for (int y = 0; y < h; ++y) {
      const int ay = baseline + y0 + y;
      if (ay < 0 || ay >= cellHeight) continue;
      for (int x = 0; x < w; ++x) {
        const int ax = x0 + x;
        if (ax < 0 || ax >= cellWidth) continue;
        atlas[static_cast<size_t>(ay) * atlasWidth + i * cellWidth + ax] = glyph[static_cast<size_t>(y) * w + x];
      }
    }
  }

  FILE* out = std::fopen(argv[2], "w");
  if (!out) {
    std::fprintf(stderr, "overlay_fontgen: cannot write %s\n", argv[2]);
    return 1;
  }
  std::fprintf(out, "// Made at build time by overlay_fontgen from %s at %d pixels.\n", argv[1], pixels);
  std::fprintf(out, "#include \"app/overlay_font.h\"\n\nnamespace {\nconst unsigned char kCoverage[] = {");
  for (size_t i = 0; i < atlas.size(); ++i) std::fprintf(out, "%s%u,", i % 24 == 0 ? "\n" : "", atlas[i]);
  std::fprintf(out, "\n};\n}  // namespace\n\n");
  std::fprintf(out, "const OverlayFont& OverlayFontData() {\n");
  std::fprintf(out, "  static const OverlayFont font = {%d, %d, %d, %d, %d, kCoverage};\n", cellWidth, cellHeight,
               kFirst, kCount, atlasWidth);
  std::fprintf(out, "  return font;\n}\n");
  return std::fclose(out) == 0 ? 0 : 1;
}

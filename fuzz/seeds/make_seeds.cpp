// Writes the small seed inputs for the jpeg, png, ob3 and script fuzz targets.
// Build and run through the build: cmake --build build --target fuzz_seeds
#include "tests/io/image_writer.h"
#include "tests/show/show_writer.h"

int main() {
  std::vector<uint8_t> rgb(8 * 8 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 29);
  std::vector<uint8_t> gray(8 * 8, 77);
  testimg::WriteFile("fuzz/seeds/jpeg/rgb.jpg", testimg::EncodeJpeg(8, 8, rgb, 3, 75));
  testimg::WriteFile("fuzz/seeds/jpeg/gray.jpg", testimg::EncodeJpeg(8, 8, gray, 1, 75));

  testimg::PngOptions interlaced;
  interlaced.interlace = true;
  testimg::PngOptions palette;
  palette.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};
  palette.trns = {0, 128};
  std::vector<uint8_t> rgba(8 * 8 * 4);
  for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 13);
  testimg::WriteFile("fuzz/seeds/png/rgb.png", testimg::EncodePng(8, 8, PNG_COLOR_TYPE_RGB, 8, rgb));
  testimg::WriteFile("fuzz/seeds/png/rgba_interlaced.png",
                     testimg::EncodePng(8, 8, PNG_COLOR_TYPE_RGBA, 8, rgba, interlaced));
  testimg::WriteFile("fuzz/seeds/png/palette2.png",
                     testimg::EncodePng(8, 2, PNG_COLOR_TYPE_PALETTE, 2, {0x1B, 0xE4, 0x1B, 0xE4}, palette));
  testimg::WriteFile("fuzz/seeds/png/gray_alpha16.png",
                     testimg::EncodePng(2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 16, std::vector<uint8_t>(16, 200)));

  testimg::WriteFile("fuzz/seeds/ob3/star.ob3", testshow::StarOb3(200));
  testimg::WriteFile("fuzz/seeds/ob3/triangle.ob3",
                     testshow::Ob3Bytes({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2, 0, 128, 64, 0, 0, 256, 256}}));

  testimg::WriteFile("fuzz/seeds/script/script.txt",
                     testshow::ScriptBytes({"[mp3]", "song.mp3", "", "[textures]", "title.jpg fullscreen", "rock.jpg",
                                            "leaf.png", "", "[scenes]", "city.scx", "", "[part]", "city.scx", "12000",
                                            "0", "camera01", "standard", "title.jpg", "[addpart]", "city.scx", "30",
                                            "cam", "[addeffect]", "tunnel", "rock.jpg", "0", "1", "90", ""}));
  return 0;
}

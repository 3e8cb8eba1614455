// What the edit mode draws besides the show: a few lines of text in the top-left corner over a
// dark band (the overlay), and the paused frame kept in memory and put back on screen. Both
// leave the GL state as they found it. A GL context must be current.
//
//   EditOverlay overlay;
//   overlay.Draw({{"12.000 s  part 3", kOverlayWhite}}, width, height);
//   HeldFrame held = HeldFrame::Read(width, height);   // the picture just drawn
//   held.Put();                                         // the same picture again, next frame
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct OverlayLine {
  std::string text;
  float red = 1.0f, green = 1.0f, blue = 1.0f;
};

class EditOverlay {
 public:
  EditOverlay() = default;
  EditOverlay(const EditOverlay&) = delete;
  EditOverlay& operator=(const EditOverlay&) = delete;

  // Lines from the top, on a drawable of width x height; characters outside printable ASCII
  // show as '?'. The text is scaled by whole steps on large drawables.
  void Draw(const std::vector<OverlayLine>& lines, int width, int height);
  // Deletes the font texture (with the context that made it current); safe twice.
  void Release();

 private:
  uint32_t texture_ = 0;
  int textureWidth_ = 0;
  int textureHeight_ = 0;
};

// A frame read back from the drawable, rows bottom first, to be drawn again unchanged.
struct HeldFrame {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;

  static HeldFrame Read(int width, int height);
  // Draws the frame over the whole drawable, pixel for pixel.
  void Put() const;
  // Rows top first, as Display::ReadPixels gives them.
  std::vector<uint8_t> TopFirst() const;
};

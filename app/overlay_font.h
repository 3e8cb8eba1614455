// The overlay's font: printable ASCII (32 to 126) in fixed cells side by side in one row of
// coverage values (0 = clear, 255 = ink), rows top first. Made at build time from a Debian font
// package by app/fontgen; the player needs no font file.
#pragma once

struct OverlayFont {
  int cellWidth;
  int cellHeight;
  int first;        // the character in the first cell
  int count;        // cells
  int atlasWidth;   // cellWidth x count
  const unsigned char* coverage;  // atlasWidth x cellHeight
};

const OverlayFont& OverlayFontData();

// Picking the fullscreen mode from the list the display reports.
#include "platform/platform.h"

namespace {
// The mode table holds 5000 entries and the scan stops one short of its end.
constexpr int kMaxModesExamined = 4999;
}

int ChooseDisplayMode(const DisplayModeInfo* modes, int count, int width, int height) {
  if (!modes || count <= 0) return -1;
  if (count > kMaxModesExamined) count = kMaxModesExamined;
  int best = -1;
  for (int i = 0; i < count; ++i) {
    const DisplayModeInfo& m = modes[i];
    if (m.width != width || m.height != height) continue;
    // Strictly deeper only: the earliest mode wins among equal depths.
    if (best < 0 || m.bitsPerPixel > modes[best].bitsPerPixel) best = i;
  }
  return best;
}

void LetterboxArea(int width, int height, int shapeWidth, int shapeHeight, int* x, int* y, int* areaWidth,
                   int* areaHeight) {
  width = width > 0 ? width : 1;
  height = height > 0 ? height : 1;
  if (shapeWidth <= 0 || shapeHeight <= 0) {
    shapeWidth = width;
    shapeHeight = height;
  }
  // Widths and heights compared in 64 bits: w / h > sw / sh without rounding.
  int w = width, h = height;
  if (int64_t{width} * shapeHeight > int64_t{height} * shapeWidth) {
    w = static_cast<int>(int64_t{height} * shapeWidth / shapeHeight);  // bars left and right
  } else {
    h = static_cast<int>(int64_t{width} * shapeHeight / shapeWidth);  // bars above and below
  }
  w = w > 0 ? w : 1;
  h = h > 0 ? h : 1;
  *x = (width - w) / 2;
  *y = (height - h) / 2;
  *areaWidth = w;
  *areaHeight = h;
}

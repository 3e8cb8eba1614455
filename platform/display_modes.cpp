// Picking the fullscreen mode from the list the display reports.
#include "platform/platform.h"

namespace platform {

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

}  // namespace platform

// The launcher's choices; no window code here.
#include <algorithm>

#include "platform/launcher.h"

namespace {

struct RadioRow {
  int mode;
  const char* label;
};

// On screen "Window Mode" stands above "640x480 Fullscreen", although 640x480 fullscreen is
// mode 0 and the default.
constexpr RadioRow kRows[LauncherModel::kRowCount] = {
    {1, "Window Mode"},
    {0, "640x480 Fullscreen"},
    {2, "800x600 Fullscreen"},
    {3, "1024x768 Fullscreen"},
};

}  // namespace

int LauncherModel::ModeOfRow(int row) {
  if (row < 0 || row >= kRowCount) return -1;
  return kRows[row].mode;
}

int LauncherModel::RowOfMode(int mode) {
  for (int row = 0; row < kRowCount; ++row) {
    if (kRows[row].mode == mode) return row;
  }
  return -1;
}

const char* LauncherModel::LabelOfRow(int row) {
  if (row < 0 || row >= kRowCount) return "";
  return kRows[row].label;
}

void LauncherModel::SelectRow(int row) {
  if (outcome_ != Outcome::kOpen) return;
  int mode = ModeOfRow(row);
  if (mode >= 0) mode_ = mode;
}

void LauncherModel::MoveSelection(int delta) {
  int row = selectedRow() + delta;
  SelectRow(std::clamp(row, 0, kRowCount - 1));
}

void LauncherModel::RunDemo(bool noSound, bool loop) {
  if (outcome_ != Outcome::kOpen) return;
  choice_.mode = mode_;
  choice_.noSound = noSound;
  choice_.loop = loop;
  outcome_ = Outcome::kRun;
}

void LauncherModel::Cancel() {
  if (outcome_ == Outcome::kOpen) outcome_ = Outcome::kCancelled;
}

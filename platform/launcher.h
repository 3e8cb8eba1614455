// The launcher: a small window titled "Quillon - Veltrum" where the viewer picks the display
// mode, "No Sound" and "Loop Demo", then presses "Run Demo" (Enter does the same). Escape or
// closing the window cancels. Draws with Dear ImGui over SDL2 and OpenGL; on Windows it is the
// native dialog of resource 102 (win32_launcher.cpp).
// Usage:
//   LauncherChoice choice;
//   LauncherArt art{rgba, 180, 182};   // or nullptr for the built-in picture
//   std::string why;
//   if (!RunLauncher(&choice, &art, &why)) return why.empty() ? 0 : 1;
//   // choice.mode: 0 = 640x480 fullscreen, 1 = window, 2 = 800x600 fs, 3 = 1024x768 fs
#pragma once

#include <cstdint>
#include <string>

#include "platform/launcher_art.h"

struct LauncherChoice {
  int mode = 0;
  bool noSound = false;
  bool loop = false;
};

// The launcher's state and rules, apart from any drawing, so they can be checked on their own.
// The radio buttons are listed by row as they stand on screen; each row selects a mode index.
class LauncherModel {
 public:
  enum class Outcome { kOpen, kRun, kCancelled };
  static constexpr int kRowCount = 4;

  static int ModeOfRow(int row);           // -1 for a row outside 0..3
  static int RowOfMode(int mode);          // -1 for a mode outside 0..3
  static const char* LabelOfRow(int row);  // "" for a row outside 0..3

  int mode() const { return mode_; }
  int selectedRow() const { return RowOfMode(mode_); }
  Outcome outcome() const { return outcome_; }

  // Clicking a radio button changes the mode at once.
  void SelectRow(int row);
  // Arrow keys move the radio selection by one row, stopping at the ends.
  void MoveSelection(int delta);
  // "Run Demo" or Enter: the check boxes are taken as they stand now.
  void RunDemo(bool noSound, bool loop);
  // Escape or the close box: nothing is taken.
  void Cancel();
  // The result; valid when outcome() is kRun.
  LauncherChoice choice() const { return choice_; }

 private:
  int mode_ = 0;
  Outcome outcome_ = Outcome::kOpen;
  LauncherChoice choice_;
};

// Shows the launcher until the viewer decides. Returns true with *choice filled on "Run Demo",
// false otherwise (*choice untouched): when cancelled *why is left empty, when no window
// could be opened it says why. closeAfterMs > 0 cancels by itself after that many
// milliseconds (for unattended checks).
bool RunLauncher(LauncherChoice* choice, const LauncherArt* art, std::string* why = nullptr,
                 uint32_t closeAfterMs = 0);

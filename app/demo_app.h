// The player from start to end: launcher, archive, display, script, then the timeline with
// its soundtrack, repeated while looping; Escape or closing the window ends it.
//
//   int main(argc, argv) { return RunPlayer(argc, argv); }
#pragma once

#include <cstdint>

#include "app/command_line.h"
#include "platform/platform.h"

// Whole program: parses the command line and plays. Returns the process exit code.
int RunPlayer(int argc, char** argv);

// Plays with parsed options on a display the caller made (nullptr: one is made from the
// options). Returns the exit code.
int PlayShow(const DemoOptions& options, Display* display);

// Width, height and fullscreen flag of a display mode; false for a mode outside 0..3.
bool LookUpDisplayMode(int mode, int* width, int* height, bool* fullscreen);

// Key state by virtual-key code, as the window reports it.
struct KeyStateTable {
  int32_t keys[256] = {};
  bool Down(int code) const { return code >= 0 && code < 256 && keys[code] != 0; }
};

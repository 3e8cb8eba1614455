// The player's command line (GNU style: --flag, --flag VALUE, --flag=VALUE).
#pragma once

#include <string>
#include <vector>

struct DemoOptions {
  int mode = 0;               // display mode 0..3 (640x480 fs, window, 800x600 fs, 1024x768 fs)
  bool modeGiven = false;
  bool noSound = false;
  bool loop = false;
  bool noLauncher = false;
  std::string dataDir;        // where loose files are looked up; empty = working directory
  bool verbose = false;
  bool headless = false;
  long frames = -1;           // headless: frames to draw; -1 = until the show ends
  int width = 640;            // picture size: offscreen, or with --size the window or fullscreen mode
  int height = 480;
  bool sizeGiven = false;
  double fps = 60.0;          // headless virtual frame rate
  std::string renderOut;     // --render OUT: a video file or a directory of PNG frames
  double from = 0.0;          // --from SEC (render range start)
  double to = -1.0;           // --to SEC (render range end; < 0 = end of the show)
  bool frameGiven = false;    // --frame SEC OUT.png
  double frameAt = 0.0;
  std::string framePath;
  double start = 0.0;         // --start SEC: the live player begins at this show time
  bool info = false;          // --info: print the timeline, tables and load failures
  std::string exportDir;      // --export DIR: write the embedded show out as files
  bool noArchive = false;     // play only loose files from the data directory
  bool edit = false;          // --edit: play the loose files in a window that reloads them
  bool noVsync = false;       // live: swaps do not wait for the display's refresh
  bool help = false;
  bool version = false;
};

// Parses argv. On why returns false and sets *why to a one-line message.
bool ParseCommandLine(const std::vector<std::string>& args, DemoOptions* options, std::string* why);

// The --help text.
std::string UsageText();

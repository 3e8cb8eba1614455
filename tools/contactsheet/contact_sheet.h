// The contact sheet: one frame from the middle of every timeline part, tiled into one PNG with
// the part numbers, and per part the frame's mean brightness and contrast, so a show author
// sees at a glance which parts are black or flat where no fade is meant to be.
//
//   std::vector<PartFrameStats> stats;
//   MakeContactSheet(options, "sheet.png", &stats);
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"

struct PartFrameStats {
  int32_t part = 0;
  double seconds = 0.0;   // show time of the frame
  double mean = 0.0;      // mean luma, 0..255
  double contrast = 0.0;  // standard deviation of luma
  bool black = false;
  bool flat = false;
  bool fadeIntended = false;  // a part whose design darkens the picture on purpose
};

// Luma mean and standard deviation of RGBA pixels.
void MeasureFrame(const std::vector<uint8_t>& rgba, double* mean, double* contrast);

// Classifies a part's frame; fills black/flat/fadeIntended.
void JudgeFrame(PartFrameStats* stats);

// Draws the decimal number into an RGBA image at (x, y) with a dark backing box, `scale`
// pixels per font dot.
void DrawNumber(std::vector<uint8_t>* rgba, int width, int height, int x, int y, int number, int scale);

// Renders the middle frame of every drawn part at width x height, tiles thumbnails of
// thumbWidth x thumbHeight into `pngPath` and returns the statistics. Exit code style result:
// 0 on success.
int MakeContactSheet(const DemoOptions& options, const std::string& pngPath, std::vector<PartFrameStats>* stats,
                     int thumbWidth = 160, int thumbHeight = 120);

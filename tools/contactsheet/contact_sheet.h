// The contact sheet: one frame from the middle of every timeline part (or several spread over it), tiled into one PNG with
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
  int32_t shot = 0;           // which of the part's frames, from 0
};

// Luma mean and standard deviation of RGBA pixels.
void MeasureFrame(const std::vector<uint8_t>& rgba, double* mean, double* contrast);

// Classifies a part's frame; fills black/flat/fadeIntended.
void JudgeFrame(PartFrameStats* stats);

// Draws the decimal number into an RGBA image at (x, y) with a dark backing box, `scale`
// pixels per font dot.
void DrawNumber(std::vector<uint8_t>* rgba, int width, int height, int x, int y, int number, int scale);

// The show times of a part's `perPart` frames: evenly spread, each in the middle of its share
// of the part (one frame: the part's middle).
std::vector<double> ShotTimes(double start, double end, int perPart);

// Renders `perPart` frames of every drawn part (see ShotTimes) at width x height, tiles
// thumbnails of thumbWidth x thumbHeight into `pngPath` and returns the statistics, one entry
// a frame in show order. Exit code style result: 0 on success.
int MakeContactSheet(const DemoOptions& options, const std::string& pngPath, std::vector<PartFrameStats>* stats,
                     int perPart = 1, int thumbWidth = 160, int thumbHeight = 120);

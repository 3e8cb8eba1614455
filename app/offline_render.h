// Offline render: the show played headless on a virtual clock at a fixed frame rate, every
// frame captured. The output is a video (OUT ending in .mkv, .mp4 or .mov, encoded by an
// ffmpeg process) or a directory of numbered PNG frames plus soundtrack.wav. The same input
// gives byte-identical frames on every run.
//
// A seek (--from, --frame) replays the timeline from the start without drawing, so state that
// the show changes as it goes (fading styles, cameras chosen by name) matches a full run.
#pragma once

#include <string>

#include "app/command_line.h"

struct RenderRequest {
  std::string out;
  double fps = 60.0;
  int width = 640;
  int height = 480;
  double from = 0.0;
  double to = -1.0;  // < 0: until the show ends
};

// Renders and reports progress on standard error. Returns the process exit code.
int RenderShow(const DemoOptions& options, const RenderRequest& request);

// Writes the one frame shown at `seconds` of show time as a PNG. Returns the exit code.
int CaptureFrame(const DemoOptions& options, double seconds, const std::string& pngPath, int width, int height);

// "frame_000001.png" for the first frame written.
std::string FrameFileName(long index);

// Whether OUT names a video file (by extension) rather than a directory.
bool IsVideoPath(const std::string& out);

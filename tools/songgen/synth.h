// The soundtrack's synthesizer: renders an expanded score (score.h) to 16-bit stereo PCM.
//
// Every instrument kind is a small voice built from band-limited oscillators, FM pairs, noise,
// ADSR envelopes and state-variable filters. Tracks add their voices, take their gain and filter
// automation, duck under the kick, pan, and send to a ping-pong delay and a plate-like reverb.
// The master bus runs a DC blocker and a look-ahead limiter, so the output never clips. Rendering
// is single-threaded and uses fixed-seed noise: the same score always gives the same samples.
//
// Usage:
//   RenderOptions opt;         // opt.frames = -1 renders the whole song
//   std::vector<int16_t> pcm;           // interleaved left/right
//   RenderStats stats;
//   Render(song, arrangement, opt, pcm, &stats);
#pragma once

#include <cstdint>
#include <vector>

#include "tools/songgen/score.h"

struct RenderOptions {
  int64_t frames = -1;   // how many frames to render from the start; -1 for the whole song
  int soloTrack = -1;    // render only this track, dry (no delay, reverb or ducking)
  float ceiling = 0.89f; // limiter ceiling, linear full scale
};

struct RenderStats {
  float peakIn = 0.0f;       // largest sample before the limiter
  float minGain = 1.0f;      // deepest limiter gain
  int64_t limitedFrames = 0; // frames where the limiter pulled the level down by more than 1 dB
  std::vector<float> secondPeaks;  // largest sample before the limiter in each second
  int64_t nonFinite = 0;           // NaN or infinite mix samples (written as silence)
};

// Renders into pcm (interleaved stereo, 2 * frames values). Returns the frame count.
int64_t Render(const Song& song, const Arrangement& arrangement, const RenderOptions& options,
               std::vector<int16_t>& pcm, RenderStats* stats);

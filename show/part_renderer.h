// The part renderer: draws one frame of one timeline part. Background picture, then the part's
// scene and every scene or effect chained to it (each on a cleared depth buffer, so later
// entries are always in front), then the foreground picture, then the fades and the logo pass
// that belong to particular parts of the show (show/part_rules.h).
//
//   PartRenderer renderer(tables, effects);
//   renderer.RenderPart(part, partFrames, showTime, kOpacityStepPerSecond * frameSeconds);
//
// It changes the scenes it draws: the camera picked by name stays picked, and the style fade of
// the late parts stays faded, also when the show loops.
#pragma once

#include <cstdint>

#include "show/backdrop.h"
#include "show/effects.h"
#include "show/show_clock.h"
#include "show/show_tables.h"

// Depth of the modelview stack when a scene of a part's chain is drawn: the frame's own entry and
// the chain's push. Scenes nested deeper than the stack holds beyond it lose their deepest levels.
inline constexpr int32_t kChainMatrixDepth = 2;

class PartRenderer {
 public:
  PartRenderer(ShowTables& tables, EffectsState& effects) : tables_(tables), effects_(effects) {}

  // partFrames: time in the part in frames (kFramesPerSecond); showTime: seconds since the
  // show began; opacityStep: kOpacityStepPerSecond x the frame's duration in seconds.
  void RenderPart(int32_t partIndex, float partFrames, float showTime, float opacityStep);

  // What RenderPart changes, without drawing anything: the camera picked by name, the style
  // fade of the late parts, the scenes' evaluation (visibility toggles only move forward) and
  // the effects' random sequence. A seek replays the show with it up to the time it jumps to.
  void ReplayPart(int32_t partIndex, float partFrames, float showTime, float opacityStep);

  // How GL entry points beyond 1.1 are found (the display's lookup); without one, background
  // pictures are drawn every frame instead of copied from the backdrop cache.
  void SetGlLookup(BackdropCache::Lookup lookup) { backdrop_.SetLookup(std::move(lookup)); }
  // The GL objects of the backdrop cache; the context must be current (the destructor does it too).
  void ReleaseGl() { backdrop_.Release(); }
  // Whether the view covers the whole drawable (no bars around the picture). A background
  // copied from the backdrop cache then sets every pixel of the frame, and the frame is not
  // cleared before it.
  void SetViewCoversFrame(bool covers) { viewCoversFrame_ = covers; }

 private:
  // Background or foreground: a fullscreen image by that name, else a texture; a name in
  // neither table (or one that failed to load) draws nothing.
  void DrawPicture(const std::string& name, bool foreground);
  // Whether DrawPicture(name, false) would copy the backdrop cache's pixels.
  bool BackgroundCopied(const std::string& name);
  // With draw false only the scene changes happen (no GL).
  void DrawChain(const PartEntry& part, int32_t partIndex, float partFrames, float showTime, float opacityStep,
                 bool draw);

  ShowTables& tables_;
  EffectsState& effects_;
  BackdropCache backdrop_;
  bool viewCoversFrame_ = false;
};

// The seams between the shell and the show: how the script's resources are loaded, how one
// part is drawn, and how the soundtrack is started and stopped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "show/script.h"
#include "show/show_tables.h"

// Loaders that make GL textures, images and scenes; `present` shows the loading screen.
std::unique_ptr<ScriptLoaders> MakeShowLoaders(ShowTables& tables, std::function<void()> present);

// Draws one frame of timeline part `partIndex`.
// With draw false nothing reaches GL: only what a frame changes in the scenes (camera choice,
// fading styles) happens, so a seek can replay the show up to a time quickly.
void DrawPart(ShowTables& tables, int32_t partIndex, float partFrames, float showTime, float opacityStep, bool draw);

struct ByteBlock {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// The show data carried in the program: the archive and the soundtrack (empty when the build
// has none).
ByteBlock EmbeddedArchive();
ByteBlock EmbeddedSoundtrack();

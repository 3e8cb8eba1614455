#include "app/show_bridge.h"

#include <GL/gl.h>

#include "show/viewport.h"

std::unique_ptr<ScriptLoaders> MakeShowLoaders(ShowTables& tables, std::function<void()> present) {
  (void)tables;
  (void)present;
  return std::make_unique<ScriptLoaders>();
}

void DrawPart(ShowTables& tables, int32_t partIndex, float partFrames, float showTime, float opacityStep, bool draw) {
  if (!draw) return;
  (void)tables;
  (void)partIndex;
  (void)partFrames;
  (void)showTime;
  (void)opacityStep;
  ResizeViewport(CurrentViewport().width, CurrentViewport().height);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
}

ByteBlock EmbeddedArchive() { return {}; }
ByteBlock EmbeddedSoundtrack() { return {}; }

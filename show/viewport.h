// The viewport: the size the frame is drawn at, and the default projection that goes with it.
// ResizeViewport is called when the window is made or resized and at the start of every frame
// by the part renderer; InitGl sets the context's fixed state once after it is created.
#pragma once

#include <cstdint>

struct ViewportSize {
  int32_t width = 640;
  int32_t height = 480;  // never 0
  // Where the picture's bottom-left corner sits in the window: 0, 0 but for a letterboxed
  // fullscreen picture.
  int32_t x = 0;
  int32_t y = 0;
};

// The process-wide viewport size (last values given to ResizeViewport).
ViewportSize& CurrentViewport();

// Identity projection, 45-degree perspective at width / height (near 1, far 10000), viewport
// (x, y, width, height) at the recorded origin, identity model-view; records the size. A height
// of 0 becomes 1.
void ResizeViewport(int32_t width, int32_t height);
// Moves the picture's origin in the window, then ResizeViewport.
void PlaceViewport(int32_t x, int32_t y, int32_t width, int32_t height);

// Texturing on, black clear colour, depth 1.0 with less-or-equal test, smooth shading, then
// ResizeViewport at the origin 0, 0. The alpha test (greater than 0.01) is enabled here as well: it stays for the
// whole run.
void InitGl(int32_t width, int32_t height);

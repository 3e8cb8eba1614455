// Platform layer: the only code of the player that talks to SDL, EGL or the OS.
//
// A Display is one drawing surface with a current OpenGL 1.1 (compatibility) context, the
// events of its window and a 32-bit millisecond tick counter. Two backends:
//   CreateSdlDisplay()      a real window (or fullscreen mode) through SDL2;
//   CreateHeadlessDisplay() an offscreen EGL surface on Mesa's software rasterizer with a
//                           virtual clock the caller advances; no window, no input.
// Usage:
//   auto d = platform::CreateHeadlessDisplay();
//   if (d->Open({320, 240, false, "Quillon"}, &err)) { glClear(...); d->ReadPixels(rgba); }
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

enum : int { kKeyEscape = 27 };

struct DisplayModeInfo {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
};

// The fullscreen mode to switch to: exact width and height, the most bits per pixel, the
// earliest on ties (refresh rate ignored). At most 4999 entries are looked at. -1 when none fits.
int ChooseDisplayMode(const DisplayModeInfo* modes, int count, int width, int height);

struct WindowRequest {
  int width = 640;
  int height = 480;
  bool fullscreen = false;
  std::string title = "Quillon";
};

// Receives what the window reports while events are pumped.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void OnKey(int virtualKey, bool down) = 0;
  virtual void OnResize(int width, int height) = 0;
  virtual void OnClose() = 0;
};

class Display {
 public:
  virtual ~Display() = default;
  // Creates the window or surface with the GL context current and sized. On failure returns
  // false and puts the message for the user in *error (one of the context failure texts).
  virtual bool Open(const WindowRequest& request, std::string* error) = 0;
  // Size of the drawable area in pixels.
  virtual void DrawableSize(int* width, int* height) const = 0;
  // Dispatches every queued event to the sink and returns when the queue is empty.
  virtual void PumpEvents(WindowEvents& sink) = 0;
  virtual void SwapBuffers() = 0;
  // Milliseconds since some fixed point; wraps at 2^32 like the system tick counter.
  virtual uint32_t Ticks() = 0;
  // Reads the current drawing (back buffer) as RGBA rows, top row first.
  virtual bool ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height) = 0;
  // Restores the desktop mode and releases the context; safe to call twice.
  virtual void Close() = 0;
};

// Offscreen display with a virtual clock: Ticks() returns what SetTicks/AdvanceTicks gave it.
class HeadlessDisplay : public Display {
 public:
  virtual void SetTicks(uint32_t ms) = 0;
  virtual void AdvanceTicks(uint32_t ms) = 0;
};

std::unique_ptr<Display> CreateSdlDisplay();
std::unique_ptr<HeadlessDisplay> CreateHeadlessDisplay();

// True when a window system is reachable (DISPLAY or WAYLAND_DISPLAY is set).
bool HasWindowSystem();

// Shows a message box with the caption "Error" (standard error when there is no window system).
void ShowErrorBox(const std::string& text);

// Milliseconds from the OS's monotonic clock, as a wrapping 32-bit counter.
uint32_t SystemTicks();

void SleepMs(uint32_t ms);

}  // namespace platform

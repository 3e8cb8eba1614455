// Platform layer: the only code of the player that talks to SDL, EGL or the OS.
//
// A Display is one drawing surface with a current OpenGL 1.1 (compatibility) context, the
// events of its window and a 32-bit millisecond tick counter. Two backends:
//   CreateSdlDisplay()      a real window (or fullscreen mode) through SDL2;
//   CreateHeadlessDisplay() offscreen drawing (a framebuffer object in an EGL context) on
//                           Mesa's software rasterizer with a virtual clock the caller
//                           advances; no window, no input.
// On Windows the same two are native (win32_display.cpp, win32_offscreen.cpp: a hidden
// window's WGL context); CreateWindowDisplay() names the system's own window backend.
// Usage:
//   auto d = CreateHeadlessDisplay();
//   if (d->Open({320, 240, false, "Quillon"}, &err)) { glClear(...); d->ReadPixels(rgba); }
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Virtual-key codes the player reacts to.
enum : int {
  kKeyTab = 0x09,
  kKeyShift = 0x10,
  kKeyEscape = 27,
  kKeySpace = 0x20,
  kKeyPageUp = 0x21,
  kKeyPageDown = 0x22,
  kKeyHome = 0x24,
  kKeyLeft = 0x25,
  kKeyRight = 0x27,
};

struct DisplayModeInfo {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
};

// The largest area of shape shapeWidth : shapeHeight that fits a drawable of width x height,
// centred (x, y from the bottom-left corner, as GL counts). Never empty.
void LetterboxArea(int width, int height, int shapeWidth, int shapeHeight, int* x, int* y, int* areaWidth,
                   int* areaHeight);

// The fullscreen mode to switch to: exact width and height, the most bits per pixel, the
// earliest on ties (refresh rate ignored). At most 4999 entries are looked at. -1 when none fits.
int ChooseDisplayMode(const DisplayModeInfo* modes, int count, int width, int height);

struct WindowRequest {
  int width = 640;
  int height = 480;
  bool fullscreen = false;
  std::string title = "Quillon";
  // Windowed: width x height is the outer size, frame included (the launcher's "Window Mode");
  // false makes it the size of the picture inside the frame.
  bool outerSize = true;
  // Buffer swaps wait for the display's refresh (adaptive where the driver offers it).
  bool vsync = true;
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
  // false and puts the message for the user in *why (one of the context failure texts).
  virtual bool Open(const WindowRequest& request, std::string* why) = 0;
  // Size of the drawable area in pixels.
  virtual void DrawableSize(int* width, int* height) const = 0;
  // Where in the drawable area the show's picture goes: all of it, except where a fullscreen
  // request found no display mode of its size and the desktop's own mode is used; then the
  // largest area of the requested shape, centred, with black bars around it.
  virtual void PictureArea(int* x, int* y, int* width, int* height) const {
    *x = 0;
    *y = 0;
    DrawableSize(width, height);
  }
  // Dispatches every queued event to the sink and returns when the queue is empty.
  virtual void PumpEvents(WindowEvents& sink) = 0;
  virtual void SwapBuffers() = 0;
  // A GL entry point beyond OpenGL 1.1 by name, for the current context; nullptr where the
  // driver has none (or the display has no context).
  virtual void* GlFunction(const char* name) const = 0;
  // Milliseconds since some fixed point; wraps at 2^32 like the system tick counter.
  virtual uint32_t Ticks() = 0;
  // Reads the current drawing (back buffer) as RGBA rows, top row first.
  virtual bool ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height) = 0;
  // Restores the desktop mode and releases the context; safe to call twice.
  virtual void Close() = 0;
};

// Offscreen display with a virtual clock: Ticks() returns what SetTicks/AdvanceTicks gave it.
// It has no keyboard: keys (and a close) are injected, and the next PumpEvents delivers them in
// the order given.
class HeadlessDisplay : public Display {
 public:
  virtual void SetTicks(uint32_t ms) = 0;
  virtual void AdvanceTicks(uint32_t ms) = 0;

  void InjectKey(int virtualKey, bool down) { injected_.push_back({virtualKey, down}); }
  // A key pressed and released.
  void InjectTap(int virtualKey) {
    InjectKey(virtualKey, true);
    InjectKey(virtualKey, false);
  }
  void InjectClose() { injected_.push_back({kCloseEvent, false}); }

 protected:
  // Hands the injected events to the sink; backends call it from PumpEvents.
  void DeliverInjected(WindowEvents& sink) {
    std::vector<Injected> events;
    events.swap(injected_);
    for (const Injected& e : events) {
      if (e.key == kCloseEvent) {
        sink.OnClose();
      } else {
        sink.OnKey(e.key, e.down);
      }
    }
  }

 private:
  static constexpr int kCloseEvent = -1;
  struct Injected {
    int key;
    bool down;
  };
  std::vector<Injected> injected_;
};

std::unique_ptr<Display> CreateSdlDisplay();
std::unique_ptr<HeadlessDisplay> CreateHeadlessDisplay();
// The system's own window: SDL2 on Linux, a native Win32 window with WGL on Windows.
std::unique_ptr<Display> CreateWindowDisplay();

// True when a window system is reachable (DISPLAY or WAYLAND_DISPLAY is set).
bool HasWindowSystem();

// Shows a message box with the caption "Error" (standard why when there is no window system).
void ShowErrorBox(const std::string& text);

// Milliseconds from the OS's monotonic clock, as a wrapping 32-bit counter.
uint32_t SystemTicks();

void SleepMs(uint32_t ms);

// Makes freed large blocks go back to the system at once (where the C library keeps them
// otherwise), so the memory a loaded show no longer needs does not stay resident.
void ReturnLargeBlocksToSystem();
// Gives the pages of freed small blocks back to the system (once loading is done).
void TrimFreeMemory();
// Lets the system take back the pages of a block of the program's read-only data (an embedded
// file already unpacked); they are read again from the program file if the block is used again.
void DropCleanPages(const void* data, size_t size);

// The display window through SDL2: an OpenGL compatibility context in a window or in a
// fullscreen mode, window events as virtual-key codes, SDL's millisecond ticks.
#include <GL/gl.h>
#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/key_map.h"
#include "platform/launcher_art.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "platform/sdl_common.h"

namespace {

constexpr char kNoPixelFormat[] = "Can't Find A Suitable PixelFormat.";
constexpr char kCantSetPixelFormat[] = "Can't Set The PixelFormat.";
constexpr char kNoContext[] = "Can't Create A GL Rendering Context.";
constexpr char kCantActivate[] = "Can't activate GLRC.";

// Size of the fixed mode table; the scan of it stops one short of the end.
constexpr int kModeTableSize = 5000;
// How long a new window waits for the window manager to tell the size of its frame.
constexpr Uint32 kFrameWaitMs = 250;

class SdlDisplay final : public Display {
 public:
  ~SdlDisplay() override { Close(); }

  bool Open(const WindowRequest& request, std::string* why) override;
  void DrawableSize(int* width, int* height) const override;
  void PictureArea(int* x, int* y, int* width, int* height) const override;
  void PumpEvents(WindowEvents& sink) override;
  void SwapBuffers() override;
  void* GlFunction(const char* name) const override {
    return context_ ? SDL_GL_GetProcAddress(name) : nullptr;
  }
  uint32_t Ticks() override { return SDL_GetTicks(); }
  bool ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height) override;
  void Close() override;

 private:
  void EnterFullscreen(int width, int height);
  void EnterWindowMode(int width, int height, bool outerSize);
  void ShowAndActivate();
  void SetSwapInterval(bool vsync);

  bool videoUp_ = false;
  SDL_Window* window_ = nullptr;
  SDL_GLContext context_ = nullptr;
  bool fullscreen_ = false;
  // Fullscreen on the desktop's own mode: the picture keeps the requested shape.
  bool letterbox_ = false;
  int requestedWidth_ = 640;
  int requestedHeight_ = 480;
  // Swaps paced by the clock when vsync was asked for and the driver gives none (0: not paced).
  Uint64 pacePeriod_ = 0;
  Uint64 nextSwap_ = 0;
  bool closeReported_ = false;
  std::array<DisplayModeInfo, kModeTableSize> modes_{};
};

void SetError(std::string* why, const char* text) {
  Log("%s (%s)", text, SDL_GetError());
  if (why) *why = text;
}

bool SdlDisplay::Open(const WindowRequest& request, std::string* why) {
  Close();
  closeReported_ = false;
  std::string reason;
  if (!SdlVideoAcquire(&reason)) {
    Log("can't start the video system: %s", reason.c_str());
    if (why) *why = "Can't open a window: " + reason;
    return false;
  }
  videoUp_ = true;
  // Losing focus in fullscreen brings the window back instead of minimising it.
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  if (!SdlRequestGlFormat()) {
    SetError(why, kCantSetPixelFormat);
    return false;
  }

  const int width = std::max(1, request.width);
  const int height = std::max(1, request.height);
  fullscreen_ = request.fullscreen;
  letterbox_ = false;
  requestedWidth_ = width;
  requestedHeight_ = height;
  Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
  flags |= fullscreen_ ? (SDL_WINDOW_BORDERLESS | SDL_WINDOW_ALWAYS_ON_TOP) : SDL_WINDOW_RESIZABLE;
  // The GL visual is chosen while the window is made, so a failure here is a pixel format failure.
  window_ = SDL_CreateWindow(request.title.c_str(), 0, 0, width, height, flags);
  if (!window_) {
    SetError(why, kNoPixelFormat);
    return false;
  }

  SdlSetProgramIcon(window_);
  // Without a context the window stays up, as an empty window; drawing then does nothing.
  bool ok = true;
  context_ = SDL_GL_CreateContext(window_);
  if (!context_) {
    SetError(why, kNoContext);
    ok = false;
  } else if (SDL_GL_MakeCurrent(window_, context_) != 0) {
    SetError(why, kCantActivate);
    SDL_GL_DeleteContext(context_);
    context_ = nullptr;
    ok = false;
  }

  if (fullscreen_) {
    EnterFullscreen(width, height);
  } else {
    EnterWindowMode(width, height, request.outerSize);
  }
  if (context_) SetSwapInterval(request.vsync);
  return ok;
}

void SdlDisplay::SetSwapInterval(bool vsync) {
  // Adaptive vsync (late frames are shown at once rather than a whole refresh later) where the
  // driver offers it, else plain vsync; off when asked.
  int asked = vsync ? -1 : 0;
  if (SDL_GL_SetSwapInterval(asked) != 0 && vsync) {
    Log("swap interval -1 (adaptive) not offered: %s", SDL_GetError());
    asked = 1;
    if (SDL_GL_SetSwapInterval(asked) != 0) Log("swap interval 1 not offered: %s", SDL_GetError());
  }
  const int got = SDL_GL_GetSwapInterval();
  Log("swap interval: asked for %d, got %d", asked, got);
  // Where the driver cannot wait for the refresh (software GL under Xvfb, for one), the swaps are
  // paced to the display's refresh rate by the clock, so the loop does not draw frames nobody sees.
  pacePeriod_ = 0;
  if (vsync && got == 0) {
    SDL_DisplayMode mode;
    int refresh = 0;
    if (SDL_GetWindowDisplayMode(window_, &mode) == 0) refresh = mode.refresh_rate;
    if (refresh <= 0 || refresh > 1000) refresh = 60;
    pacePeriod_ = SDL_GetPerformanceFrequency() / static_cast<Uint64>(refresh);
    nextSwap_ = 0;
    Log("swap interval: no vsync from the driver; frames paced to %d Hz", refresh);
  }
}

void SdlDisplay::EnterFullscreen(int width, int height) {
  int display = SDL_GetWindowDisplayIndex(window_);
  if (display < 0) display = 0;
  const int reported = SDL_GetNumDisplayModes(display);
  SDL_DisplayMode mode;
  int chosen = -1;
  if (reported < 1 || SDL_GetDisplayMode(display, 0, &mode) != 0) {
    Log("screenmode not found");
  } else {
    int count = 0;
    do {
      modes_[count] = {mode.w, mode.h, static_cast<int>(SDL_BITSPERPIXEL(mode.format))};
      ++count;
    } while (count < kModeTableSize - 1 && count < reported &&
             SDL_GetDisplayMode(display, count, &mode) == 0);
    chosen = ChooseDisplayMode(modes_.data(), count, width, height);
    if (chosen < 0) Log("screenmode not found");
  }

  int rc;
  if (chosen >= 0 && SDL_GetDisplayMode(display, chosen, &mode) == 0) {
    rc = SDL_SetWindowDisplayMode(window_, &mode);
    if (rc == 0) rc = SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN);
  } else {
    // No mode of that size: cover the desktop as it is and keep running, the picture in the
    // requested shape in the middle. The window is first made the display's size itself: with
    // no window manager to carry out the fullscreen request (a bare X server) it covers the
    // screen all the same.
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(display, &bounds) == 0) {
      SDL_SetWindowPosition(window_, bounds.x, bounds.y);
      SDL_SetWindowSize(window_, bounds.w, bounds.h);
    }
    rc = SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
    letterbox_ = true;
  }
  if (rc != 0) Log("can't go into fullscreen mode (%s)", SDL_GetError());

  SDL_ShowCursor(SDL_DISABLE);
  ShowAndActivate();
}

void SdlDisplay::EnterWindowMode(int width, int height, bool outerSize) {
  SDL_ShowCursor(SDL_ENABLE);
  ShowAndActivate();
  if (!outerSize) {
    if (context_) SDL_GL_MakeCurrent(window_, context_);
    return;
  }
  // The requested size is the outer size: once the frame is known, shrink the client area by
  // it and put the frame's corner at the origin.
  // The window manager reports the frame a moment after the window is mapped; events are
  // only read into the queue here, not taken from it.
  int top = 0, left = 0, bottom = 0, right = 0;
  bool framed = false;
  const Uint32 start = SDL_GetTicks();
  do {
    SDL_PumpEvents();
    framed = SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) == 0 &&
             (top | left | bottom | right) != 0;
    if (!framed) SDL_Delay(5);
  } while (!framed && SDL_GetTicks() - start < kFrameWaitMs);
  if (framed) {
    SDL_SetWindowSize(window_, std::max(1, width - left - right), std::max(1, height - top - bottom));
    SDL_SetWindowPosition(window_, left, top);
  }
  if (context_) SDL_GL_MakeCurrent(window_, context_);
}

void SdlDisplay::ShowAndActivate() {
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);
  if (context_) SDL_GL_MakeCurrent(window_, context_);
}

void SdlDisplay::DrawableSize(int* width, int* height) const {
  int w = 0, h = 0;
  if (window_) SDL_GL_GetDrawableSize(window_, &w, &h);
  if (width) *width = w;
  if (height) *height = h;
}

void SdlDisplay::PictureArea(int* x, int* y, int* width, int* height) const {
  int w = 0, h = 0;
  DrawableSize(&w, &h);
  *x = 0;
  *y = 0;
  *width = w;
  *height = h;
  if (letterbox_) LetterboxArea(w, h, requestedWidth_, requestedHeight_, x, y, width, height);
}

void SdlDisplay::PumpEvents(WindowEvents& sink) {
  const Uint32 ourId = window_ ? SDL_GetWindowID(window_) : 0;
  // Closing the last window reports both a window close and a quit; pass it on once.
  auto reportClose = [&] {
    if (closeReported_) return;
    closeReported_ = true;
    sink.OnClose();
  };
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT:
        reportClose();
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        const int key = VirtualKeyFromSdlKeycode(event.key.keysym.sym);
        if (key != 0) sink.OnKey(key, event.type == SDL_KEYDOWN);
        break;
      }
      case SDL_WINDOWEVENT:
        if (event.window.windowID != ourId) break;
        switch (event.window.event) {
          case SDL_WINDOWEVENT_SIZE_CHANGED: {
            int w = 0, h = 0;
            DrawableSize(&w, &h);
            sink.OnResize(w, h);
            break;
          }
          case SDL_WINDOWEVENT_CLOSE:
            reportClose();
            break;
          case SDL_WINDOWEVENT_FOCUS_LOST:
            if (fullscreen_) SDL_RaiseWindow(window_);
            break;
          default:
            break;
        }
        break;
      default:
        break;
    }
  }
}

void SdlDisplay::SwapBuffers() {
  if (!window_ || !context_) return;
  if (pacePeriod_ != 0) {
    // Waits for this frame's turn; a late frame goes at once and the pace starts again from it.
    const Uint64 frequency = SDL_GetPerformanceFrequency();
    Uint64 now = SDL_GetPerformanceCounter();
    if (nextSwap_ > now && nextSwap_ - now <= 2 * pacePeriod_) {
      SDL_Delay(static_cast<Uint32>((nextSwap_ - now) * 1000 / frequency));
      while ((now = SDL_GetPerformanceCounter()) < nextSwap_) {
      }
    }
    nextSwap_ = (nextSwap_ > now ? nextSwap_ : now) + pacePeriod_;
  }
  SDL_GL_SwapWindow(window_);
}

bool SdlDisplay::ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height) {
  if (!rgba || !window_ || !context_) return false;
  int w = 0, h = 0;
  DrawableSize(&w, &h);
  if (w <= 0 || h <= 0) return false;
  const size_t row = static_cast<size_t>(w) * 4;
  std::vector<uint8_t> bottomUp(row * static_cast<size_t>(h));
  GLint oldAlignment = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &oldAlignment);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
  glPixelStorei(GL_PACK_ALIGNMENT, oldAlignment);
  rgba->resize(bottomUp.size());
  for (int y = 0; y < h; ++y) {
    std::memcpy(rgba->data() + static_cast<size_t>(y) * row,
                bottomUp.data() + static_cast<size_t>(h - 1 - y) * row, row);
  }
  if (width) *width = w;
  if (height) *height = h;
  return true;
}

void SdlDisplay::Close() {
  if (window_) {
    // Leaving fullscreen gives the desktop its own mode back.
    if (fullscreen_) SDL_SetWindowFullscreen(window_, 0);
    SDL_ShowCursor(SDL_ENABLE);
  }
  if (context_) {
    SDL_GL_MakeCurrent(window_, nullptr);
    SDL_GL_DeleteContext(context_);
    context_ = nullptr;
  }
  if (window_) {
    SDL_DestroyWindow(window_);
    window_ = nullptr;
  }
  if (videoUp_) {
    SdlVideoRelease();
    videoUp_ = false;
  }
  fullscreen_ = false;
  letterbox_ = false;
}

}  // namespace

bool SdlVideoAcquire(std::string* why) {
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    if (why) *why = SDL_GetError();
    return false;
  }
  return true;
}

void SdlVideoRelease() { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

bool SdlRequestGlFormat() {
  SDL_GL_ResetAttributes();
  const struct {
    SDL_GLattr attr;
    int value;
  } wanted[] = {
      {SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY},
      {SDL_GL_RED_SIZE, 8},
      {SDL_GL_GREEN_SIZE, 8},
      {SDL_GL_BLUE_SIZE, 8},
      {SDL_GL_ALPHA_SIZE, 0},
      {SDL_GL_DEPTH_SIZE, 24},
      {SDL_GL_STENCIL_SIZE, 0},
      {SDL_GL_DOUBLEBUFFER, 1},
  };
  for (const auto& w : wanted) {
    if (SDL_GL_SetAttribute(w.attr, w.value) != 0) return false;
  }
  return true;
}

void SdlSetProgramIcon(SDL_Window* window) {
  constexpr int kSide = 32;
  std::vector<uint8_t> rgba = MakePlaceholderArt(kSide, kSide);
  SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(rgba.data(), kSide, kSide, 32, kSide * 4,
                                                         SDL_PIXELFORMAT_RGBA32);
  if (!icon) return;
  SDL_SetWindowIcon(window, icon);  // SDL keeps its own copy
  SDL_FreeSurface(icon);
}

std::unique_ptr<Display> CreateSdlDisplay() { return std::make_unique<SdlDisplay>(); }
std::unique_ptr<Display> CreateWindowDisplay() { return CreateSdlDisplay(); }

bool HasWindowSystem() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

void ShowErrorBox(const std::string& text) {
  if (HasWindowSystem() &&
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text.c_str(), nullptr) == 0) {
    return;
  }
  std::fprintf(stderr, "Error: %s\n", text.c_str());
}

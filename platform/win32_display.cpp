// The display window on Windows: class "OpenGL WinClass" with its own device context, a WGL
// context on the player's pixel format, fullscreen through ChangeDisplaySettings, window
// messages handed to the caller as key, size and close events, GetTickCount for time.
#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "platform/platform.h"
#include "platform/win32_common.h"

namespace {

constexpr char kClassName[] = "OpenGL WinClass";
// Size of the fixed mode table; the scan of it stops one short of the end.
constexpr int kModeTableSize = 5000;

// Whether this process has the screen in a mode of its own. Whichever way the process ends
// (the display closed, exit() from anywhere, Ctrl+C or the console window closed), the desktop
// gets its mode back.
std::atomic<bool> g_modeChanged{false};

void RestoreDesktopMode() {
  if (g_modeChanged.exchange(false) && ChangeDisplaySettingsA(nullptr, 0) == DISP_CHANGE_FAILED) {
    Log("can't go into window mode");
  }
}

BOOL WINAPI OnConsoleEvent(DWORD) {
  RestoreDesktopMode();
  return FALSE;  // the default handling (ending the process) follows
}

void InstallDesktopGuards() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  std::atexit(&RestoreDesktopMode);
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

struct Event {
  enum Kind { kKey, kResize, kClose } kind;
  int a = 0, b = 0;
};

class Win32Display final : public Display {
 public:
  ~Win32Display() override { Close(); }

  bool Open(const WindowRequest& request, std::string* why) override;
  void DrawableSize(int* width, int* height) const override;
  void PumpEvents(WindowEvents& sink) override;
  void PictureArea(int* x, int* y, int* width, int* height) const override;
  void SwapBuffers() override;
  void* GlFunction(const char* name) const override;
  uint32_t Ticks() override { return GetTickCount(); }
  bool ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height) override;
  void Close() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void EnterFullscreen(int width, int height);
  void EnterWindowMode();
  void ShowAndActivate();
  void SetSwapInterval(bool vsync);

  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  HGLRC context_ = nullptr;
  std::string contextError_;
  bool fullscreen_ = false;
  bool cursorHidden_ = false;
  bool closing_ = false;
  bool closeReported_ = false;
  // Fullscreen without a display mode of the requested size: the picture keeps the requested
  // shape in the middle of the desktop's mode.
  bool letterbox_ = false;
  int requestedWidth_ = 0;
  int requestedHeight_ = 0;
  // Swaps paced by the clock when vsync was asked for and the driver gives none (0: not paced),
  // in performance-counter ticks.
  LONGLONG pacePeriod_ = 0;
  LONGLONG nextSwap_ = 0;
  // Messages arrive inside window creation and while dispatching; they reach the caller's sink
  // in order at the end of PumpEvents.
  std::vector<Event> pending_;
  std::array<DisplayModeInfo, kModeTableSize> modes_{};
};

bool RegisterWindowClass(WNDPROC procedure) {
  WNDCLASSA existing;
  if (GetClassInfoA(ProgramInstance(), kClassName, &existing)) return true;
  WNDCLASSA wc{};
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = procedure;
  wc.hInstance = ProgramInstance();
  wc.hIcon = ProgramIcon(32);
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512) /* IDC_ARROW */);
  wc.hbrBackground = nullptr;
  wc.lpszClassName = kClassName;
  return RegisterClassA(&wc) != 0;
}

// The window procedure is a static function; the display object rides in the creation data.
LRESULT CALLBACK Win32Display::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* self = static_cast<Win32Display*>(create->lpCreateParams);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  }
  auto* self = reinterpret_cast<Win32Display*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!self || self->window_ != window) return DefWindowProcA(window, message, wParam, lParam);
  return self->Handle(message, wParam, lParam);
}

LRESULT Win32Display::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      // The device context stays in use for the whole run (the class has its own).
      dc_ = GetDC(window_);
      context_ = CreateGlContext(dc_, &contextError_);
      return 0;
    case WM_SIZE:
      pending_.push_back({Event::kResize, LOWORD(lParam), HIWORD(lParam)});
      return 0;
    case WM_ACTIVATE:
      // A fullscreen window that loses the focus takes it straight back; a window in window
      // mode lets the viewer switch away.
      if (LOWORD(wParam) == WA_INACTIVE && fullscreen_ && !closing_) SetForegroundWindow(window_);
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
      pending_.push_back({Event::kKey, static_cast<int>(wParam & 0xFF), message == WM_KEYDOWN});
      return 0;
    case WM_CLOSE:
      // The caller ends the run and closes the display; the window stays until then.
      pending_.push_back({Event::kClose});
      return 0;
    case WM_DESTROY:
      if (!closing_) pending_.push_back({Event::kClose});
      return 0;
    default:
      return DefWindowProcA(window_, message, wParam, lParam);
  }
}

bool Win32Display::Open(const WindowRequest& request, std::string* why) {
  Close();
  closing_ = false;
  closeReported_ = false;
  contextError_.clear();
  pending_.clear();
  InstallDesktopGuards();
  if (!RegisterWindowClass(&Win32Display::WindowProc)) {
    Log("can't register the window class (error %lu)", GetLastError());
    if (why) *why = "Can't open a window: the window class could not be registered.";
    return false;
  }
  const int width = std::max(1, request.width);
  const int height = std::max(1, request.height);
  fullscreen_ = request.fullscreen;
  letterbox_ = false;
  requestedWidth_ = width;
  requestedHeight_ = height;
  const DWORD exStyle = fullscreen_ ? WS_EX_TOPMOST : 0;
  const DWORD style = (fullscreen_ ? WS_POPUP : WS_OVERLAPPEDWINDOW) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  // Windowed, the request is the outer size, frame included, unless the picture inside was asked for.
  int outerWidth = width;
  int outerHeight = height;
  if (!fullscreen_ && !request.outerSize) {
    RECT rect{0, 0, width, height};
    if (AdjustWindowRectEx(&rect, style, FALSE, exStyle)) {
      outerWidth = rect.right - rect.left;
      outerHeight = rect.bottom - rect.top;
    }
  }
  HWND made = CreateWindowExA(exStyle, kClassName, request.title.c_str(), style, 0, 0, outerWidth, outerHeight,
                              nullptr, nullptr, ProgramInstance(), this);
  if (!made) {
    Log("can't create the window (error %lu)", GetLastError());
    window_ = nullptr;
    if (why) *why = "Can't open a window.";
    return false;
  }
  if (fullscreen_) {
    EnterFullscreen(width, height);
  } else {
    EnterWindowMode();
  }
  // Without a context the window stays up, as an empty window; drawing then does nothing.
  if (!context_) {
    if (why) *why = contextError_;
    return false;
  }
  SetSwapInterval(request.vsync);
  return true;
}

void Win32Display::SetSwapInterval(bool vsync) {
  using SwapIntervalProc = BOOL(WINAPI*)(int);
  using GetSwapIntervalProc = int(WINAPI*)();
  using ExtensionsProc = const char*(WINAPI*)();
  auto setInterval = reinterpret_cast<SwapIntervalProc>(
      reinterpret_cast<void*>(wglGetProcAddress("wglSwapIntervalEXT")));
  auto getInterval = reinterpret_cast<GetSwapIntervalProc>(
      reinterpret_cast<void*>(wglGetProcAddress("wglGetSwapIntervalEXT")));
  auto extensions = reinterpret_cast<ExtensionsProc>(
      reinterpret_cast<void*>(wglGetProcAddress("wglGetExtensionsStringEXT")));
  // Adaptive vsync (late frames are shown at once rather than a whole refresh later) where the
  // driver offers it, else plain vsync; off when asked.
  int asked = vsync ? -1 : 0;
  int got = 0;
  if (!setInterval) {
    Log("swap interval: the driver offers no wglSwapIntervalEXT");
  } else {
    const char* names = extensions ? extensions() : nullptr;
    const bool adaptive = names && std::strstr(names, "WGL_EXT_swap_control_tear") != nullptr;
    if (vsync && (!adaptive || !setInterval(asked))) {
      Log("swap interval -1 (adaptive) not offered");
      asked = 1;
      if (!setInterval(asked)) Log("swap interval 1 not offered (error %lu)", GetLastError());
    } else if (!vsync && !setInterval(asked)) {
      Log("swap interval 0 not offered (error %lu)", GetLastError());
    }
    got = getInterval ? getInterval() : asked;
  }
  Log("swap interval: asked for %d, got %d", asked, got);
  // Where the driver cannot wait for the refresh, the swaps are paced to the display's refresh
  // rate by the clock, so the loop does not draw frames nobody sees.
  pacePeriod_ = 0;
  nextSwap_ = 0;
  if (vsync && got == 0) {
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    int refresh = 0;
    if (EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) refresh = static_cast<int>(mode.dmDisplayFrequency);
    // 0 and 1 stand for the hardware's default rate.
    if (refresh <= 1 || refresh > 1000) refresh = 60;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    pacePeriod_ = frequency.QuadPart / refresh;
    Log("swap interval: no vsync from the driver; frames paced to %d Hz", refresh);
  }
}

void* Win32Display::GlFunction(const char* name) const { return context_ ? WglFunction(name) : nullptr; }

void Win32Display::SwapBuffers() {
  if (!dc_ || !context_) return;
  if (pacePeriod_ != 0) {
    // Waits for this frame's turn; a late frame goes at once and the pace starts again from it.
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    if (nextSwap_ > now.QuadPart && nextSwap_ - now.QuadPart <= 2 * pacePeriod_) {
      Sleep(static_cast<DWORD>((nextSwap_ - now.QuadPart) * 1000 / frequency.QuadPart));
      do {
        QueryPerformanceCounter(&now);
      } while (now.QuadPart < nextSwap_);
    }
    nextSwap_ = (nextSwap_ > now.QuadPart ? nextSwap_ : now.QuadPart) + pacePeriod_;
  }
  ::SwapBuffers(dc_);
}

void Win32Display::EnterFullscreen(int width, int height) {
  DEVMODEA mode;
  std::memset(&mode, 0, sizeof mode);
  mode.dmSize = sizeof mode;
  int chosen = -1;
  if (!EnumDisplaySettingsA(nullptr, 0, &mode)) {
    Log("screenmode not found");
  } else {
    int count = 0;
    do {
      modes_[count] = {static_cast<int>(mode.dmPelsWidth), static_cast<int>(mode.dmPelsHeight),
                       static_cast<int>(mode.dmBitsPerPel)};
      ++count;
    } while (count < kModeTableSize - 1 && EnumDisplaySettingsA(nullptr, static_cast<DWORD>(count), &mode));
    chosen = ChooseDisplayMode(modes_.data(), count, width, height);
    if (chosen < 0) Log("screenmode not found");
  }

  if (chosen >= 0 && EnumDisplaySettingsA(nullptr, static_cast<DWORD>(chosen), &mode)) {
    const LONG result = ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN);
    if (result == DISP_CHANGE_SUCCESSFUL) {
      g_modeChanged = true;
    } else {
      Log("can't go into fullscreen mode (result %ld)", result);
    }
  } else {
    // No mode of that size: cover the desktop as it is and keep running, the picture in the
    // requested shape in the middle.
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 SWP_NOACTIVATE);
    letterbox_ = true;
  }
  if (!cursorHidden_) {
    ShowCursor(FALSE);
    cursorHidden_ = true;
  }
  ShowAndActivate();
}

void Win32Display::EnterWindowMode() {
  RestoreDesktopMode();
  ShowAndActivate();
}

void Win32Display::ShowAndActivate() {
  ShowWindow(window_, SW_SHOWNORMAL);
  UpdateWindow(window_);
  SetForegroundWindow(window_);
  SetFocus(window_);
  if (context_) wglMakeCurrent(dc_, context_);
}

void Win32Display::DrawableSize(int* width, int* height) const {
  RECT client{0, 0, 0, 0};
  if (window_) GetClientRect(window_, &client);
  if (width) *width = client.right - client.left;
  if (height) *height = client.bottom - client.top;
}

void Win32Display::PictureArea(int* x, int* y, int* width, int* height) const {
  int w = 0, h = 0;
  DrawableSize(&w, &h);
  *x = 0;
  *y = 0;
  *width = w;
  *height = h;
  if (letterbox_) LetterboxArea(w, h, requestedWidth_, requestedHeight_, x, y, width, height);
}

void Win32Display::PumpEvents(WindowEvents& sink) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    // A quit request (posted by anyone) is taken and ignored: the run ends on Escape, on the
    // close box or with the timeline.
    if (message.message == WM_QUIT) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  std::vector<Event> events;
  events.swap(pending_);
  for (const Event& e : events) {
    switch (e.kind) {
      case Event::kKey:
        sink.OnKey(e.a, e.b != 0);
        break;
      case Event::kResize:
        sink.OnResize(e.a, e.b);
        break;
      case Event::kClose:
        if (!closeReported_) sink.OnClose();
        closeReported_ = true;
        break;
    }
  }
}

bool Win32Display::ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height) {
  if (!rgba || !context_) return false;
  int w = 0, h = 0;
  DrawableSize(&w, &h);
  glReadBuffer(GL_BACK);
  if (!ReadGlPixels(w, h, rgba)) return false;
  if (width) *width = w;
  if (height) *height = h;
  return true;
}

void Win32Display::Close() {
  closing_ = true;
  if (fullscreen_) RestoreDesktopMode();
  if (cursorHidden_) {
    ShowCursor(TRUE);
    cursorHidden_ = false;
  }
  DeleteGlContext(context_);
  context_ = nullptr;
  if (window_) {
    if (dc_) ReleaseDC(window_, dc_);
    HWND window = window_;
    DestroyWindow(window);
    window_ = nullptr;
  }
  dc_ = nullptr;
  fullscreen_ = false;
  letterbox_ = false;
  pacePeriod_ = 0;
  pending_.clear();
}

}  // namespace

std::unique_ptr<Display> CreateWindowDisplay() { return std::make_unique<Win32Display>(); }

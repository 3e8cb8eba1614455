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

  bool Open(const WindowRequest& request, std::string* error) override;
  void DrawableSize(int* width, int* height) const override;
  void PumpEvents(WindowEvents& sink) override;
  void SwapBuffers() override {
    if (dc_ && context_) ::SwapBuffers(dc_);
  }
  uint32_t Ticks() override { return GetTickCount(); }
  bool ReadPixels(std::vector<uint8_t>* rgba, int* width, int* height) override;
  void Close() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void EnterFullscreen(int width, int height);
  void EnterWindowMode();
  void ShowAndActivate();

  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  HGLRC context_ = nullptr;
  std::string contextError_;
  bool fullscreen_ = false;
  bool cursorHidden_ = false;
  bool closing_ = false;
  bool closeReported_ = false;
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

bool Win32Display::Open(const WindowRequest& request, std::string* error) {
  Close();
  closing_ = false;
  closeReported_ = false;
  contextError_.clear();
  pending_.clear();
  InstallDesktopGuards();
  if (!RegisterWindowClass(&Win32Display::WindowProc)) {
    Log("can't register the window class (error %lu)", GetLastError());
    if (error) *error = "Can't open a window: the window class could not be registered.";
    return false;
  }
  const int width = std::max(1, request.width);
  const int height = std::max(1, request.height);
  fullscreen_ = request.fullscreen;
  const DWORD exStyle = fullscreen_ ? WS_EX_TOPMOST : 0;
  const DWORD style = (fullscreen_ ? WS_POPUP : WS_OVERLAPPEDWINDOW) | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  HWND made = CreateWindowExA(exStyle, kClassName, request.title.c_str(), style, 0, 0, width, height, nullptr,
                              nullptr, ProgramInstance(), this);
  if (!made) {
    Log("can't create the window (error %lu)", GetLastError());
    window_ = nullptr;
    if (error) *error = "Can't open a window.";
    return false;
  }
  if (fullscreen_) {
    EnterFullscreen(width, height);
  } else {
    EnterWindowMode();
  }
  // Without a context the window stays up, as an empty window; drawing then does nothing.
  if (!context_) {
    if (error) *error = contextError_;
    return false;
  }
  return true;
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
    // No mode of that size: cover the desktop as it is and keep running.
    SetWindowPos(window_, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 SWP_NOACTIVATE);
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
  pending_.clear();
}

}  // namespace

std::unique_ptr<Display> CreateWindowDisplay() { return std::make_unique<Win32Display>(); }

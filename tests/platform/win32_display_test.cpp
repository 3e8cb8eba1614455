// The Win32 display window: class, styles and sizing, the pixel format, messages reaching the
// caller, and the desktop left as it was.
#include <windows.h>
#include <GL/gl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/log.h"
#include "platform/platform.h"

namespace {

struct Recorder : WindowEvents {
  struct Key {
    int code;
    bool down;
  };
  std::vector<Key> keys;
  std::vector<std::pair<int, int>> sizes;
  int closes = 0;
  void OnKey(int virtualKey, bool down) override { keys.push_back({virtualKey, down}); }
  void OnResize(int width, int height) override { sizes.emplace_back(width, height); }
  void OnClose() override { ++closes; }
};

std::vector<std::string>* g_lines = nullptr;
void Collect(const char* line) {
  if (g_lines) g_lines->push_back(line);
}

// Collects the log's lines for one scope.
struct LogCapture {
  LogCapture() {
    g_lines = &lines;
    SetLogSink(&Collect);
  }
  ~LogCapture() {
    SetLogSink(nullptr);
    g_lines = nullptr;
  }
  bool Has(const std::string& text) const {
    for (const auto& l : lines) {
      if (l.find(text) != std::string::npos) return true;
    }
    return false;
  }
  std::vector<std::string> lines;
};

HWND PlayerWindow() { return FindWindowA("OpenGL WinClass", "Quillon"); }

DEVMODEA CurrentMode() {
  DEVMODEA mode{};
  mode.dmSize = sizeof mode;
  EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode);
  return mode;
}

TEST(Win32Display, WindowModeOuterSizeIsTheRequestAndTheClientAreaIsSmaller) {
  auto display = CreateWindowDisplay();
  std::string error;
  ASSERT_TRUE(display->Open({640, 480, false, "Quillon"}, &error)) << error;
  HWND window = PlayerWindow();
  ASSERT_NE(window, nullptr);
  RECT outer;
  GetWindowRect(window, &outer);
  EXPECT_EQ(outer.right - outer.left, 640);
  EXPECT_EQ(outer.bottom - outer.top, 480);
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  int w = 0, h = 0;
  display->DrawableSize(&w, &h);
  EXPECT_GT(w, 0);
  EXPECT_LT(w, 640);
  EXPECT_LT(h, 480);
  const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
  EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  EXPECT_TRUE(style & WS_CLIPSIBLINGS);
  EXPECT_TRUE(style & WS_CLIPCHILDREN);
  EXPECT_FALSE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(IsWindowVisible(window));
  WNDCLASSA cls{};
  ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(nullptr), "OpenGL WinClass", &cls));
  EXPECT_TRUE(cls.style & CS_OWNDC);
  EXPECT_EQ(cls.hbrBackground, nullptr);
  display->Close();
  EXPECT_EQ(PlayerWindow(), nullptr);
}

TEST(Win32Display, PixelFormatIsDoubleBufferedRgbWithADepthBufferAndDrawingReadsBack) {
  auto display = CreateWindowDisplay();
  std::string error;
  ASSERT_TRUE(display->Open({320, 240, false, "Quillon"}, &error)) << error;
  HDC dc = GetDC(PlayerWindow());
  const int format = GetPixelFormat(dc);
  ASSERT_GT(format, 0);
  PIXELFORMATDESCRIPTOR pfd{};
  ASSERT_TRUE(DescribePixelFormat(dc, format, sizeof pfd, &pfd));
  EXPECT_TRUE(pfd.dwFlags & PFD_DOUBLEBUFFER);
  EXPECT_TRUE(pfd.dwFlags & PFD_SUPPORT_OPENGL);
  EXPECT_TRUE(pfd.dwFlags & PFD_DRAW_TO_WINDOW);
  EXPECT_EQ(pfd.iPixelType, PFD_TYPE_RGBA);
  EXPECT_GE(pfd.cColorBits, 24);
  EXPECT_GE(pfd.cDepthBits, 24);
  ReleaseDC(PlayerWindow(), dc);

  glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  std::vector<uint8_t> rgba;
  int w = 0, h = 0;
  ASSERT_TRUE(display->ReadPixels(&rgba, &w, &h));
  ASSERT_EQ(rgba.size(), static_cast<size_t>(w) * h * 4);
  EXPECT_EQ(rgba[0], 255);
  EXPECT_NEAR(rgba[1], 128, 1);
  EXPECT_EQ(rgba[2], 0);
  display->SwapBuffers();
  display->Close();
}

TEST(Win32Display, KeysSizesAndCloseReachTheCallerAndAQuitRequestIsIgnored) {
  auto display = CreateWindowDisplay();
  std::string error;
  ASSERT_TRUE(display->Open({320, 240, false, "Quillon"}, &error)) << error;
  HWND window = PlayerWindow();
  Recorder first;
  display->PumpEvents(first);  // whatever creation and showing reported

  Recorder r;
  PostQuitMessage(0);
  PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(window, WM_KEYUP, VK_ESCAPE, 0xC0000001);
  PostMessageA(window, WM_KEYDOWN, 'A', 0);
  SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(200, 0));
  PostMessageA(window, WM_CLOSE, 0, 0);
  PostMessageA(window, WM_CLOSE, 0, 0);
  display->PumpEvents(r);
  ASSERT_EQ(r.keys.size(), 3u);
  EXPECT_EQ(r.keys[0].code, 27);
  EXPECT_TRUE(r.keys[0].down);
  EXPECT_EQ(r.keys[1].code, 27);
  EXPECT_FALSE(r.keys[1].down);
  EXPECT_EQ(r.keys[2].code, 'A');
  ASSERT_FALSE(r.sizes.empty());
  EXPECT_EQ(r.sizes.front(), std::make_pair(200, 0));
  EXPECT_EQ(r.closes, 1);
  // The close box asks; the window stays until the caller closes the display.
  EXPECT_TRUE(IsWindow(window));
  // Messages after the quit request still arrive.
  Recorder later;
  PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
  display->PumpEvents(later);
  ASSERT_EQ(later.keys.size(), 1u);
  EXPECT_EQ(later.keys[0].code, VK_SPACE);
  display->Close();
  EXPECT_FALSE(IsWindow(window));
}

TEST(Win32Display, FullscreenIsATopmostPopupAndClosingLeavesTheDesktopModeAsItWas) {
  const DEVMODEA before = CurrentMode();
  auto display = CreateWindowDisplay();
  std::string error;
  ASSERT_TRUE(display->Open({640, 480, true, "Quillon"}, &error)) << error;
  HWND window = PlayerWindow();
  ASSERT_NE(window, nullptr);
  const LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_POPUP);
  EXPECT_FALSE(style & WS_CAPTION);
  EXPECT_TRUE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  display->Close();
  display->Close();  // twice is fine
  const DEVMODEA after = CurrentMode();
  EXPECT_EQ(after.dmPelsWidth, before.dmPelsWidth);
  EXPECT_EQ(after.dmPelsHeight, before.dmPelsHeight);
  EXPECT_EQ(after.dmBitsPerPel, before.dmBitsPerPel);
}

// Asking for vsync (or not) is logged with what the driver gave; a window of a given inside
// size has exactly that picture area, its frame around it.
TEST(Win32Display, SwapIntervalIsLoggedAndTheInsideSizeIsKept) {
  for (bool vsync : {true, false}) {
    LogCapture log;
    auto display = CreateWindowDisplay();
    std::string error;
    WindowRequest request{120, 90, false, "Quillon"};
    request.outerSize = false;
    request.vsync = vsync;
    ASSERT_TRUE(display->Open(request, &error)) << error;
    EXPECT_TRUE(log.Has(vsync ? "swap interval: asked for " : "swap interval: asked for 0, got ")) << vsync;
    int x = -1, y = -1, w = 0, h = 0;
    display->PictureArea(&x, &y, &w, &h);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(w, 120);
    EXPECT_EQ(h, 90);
    RECT outer;
    GetWindowRect(PlayerWindow(), &outer);
    EXPECT_GT(outer.right - outer.left, 120);
    EXPECT_GT(outer.bottom - outer.top, 90);
    // Paced or waiting for the refresh, frames still go out.
    for (int i = 0; i < 3; ++i) display->SwapBuffers();
    display->Close();
  }
}

TEST(Win32Display, FullscreenWithoutAMatchingModeIsLetterboxedInTheDesktopMode) {
  LogCapture log;
  const DEVMODEA before = CurrentMode();
  auto display = CreateWindowDisplay();
  std::string error;
  // No display offers a 333 x 211 mode.
  ASSERT_TRUE(display->Open({333, 211, true, "Quillon"}, &error)) << error;
  EXPECT_TRUE(log.Has("screenmode not found"));
  int w = 0, h = 0;
  display->DrawableSize(&w, &h);
  EXPECT_EQ(w, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(h, GetSystemMetrics(SM_CYSCREEN));
  int x = -1, y = -1, pw = 0, ph = 0;
  display->PictureArea(&x, &y, &pw, &ph);
  EXPECT_TRUE(pw == w || ph == h) << pw << "x" << ph << " in " << w << "x" << h;
  EXPECT_NEAR(static_cast<double>(pw) / ph, 333.0 / 211.0, 0.01);
  EXPECT_EQ(x, (w - pw) / 2);
  EXPECT_EQ(y, (h - ph) / 2);
  display->Close();
  EXPECT_EQ(CurrentMode().dmPelsWidth, before.dmPelsWidth);
}

TEST(Win32Display, ReopeningMakesAFreshWindowWithAContext) {
  auto display = CreateWindowDisplay();
  std::string error;
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(display->Open({200, 150, false, "Quillon"}, &error)) << error;
    EXPECT_NE(wglGetCurrentContext(), nullptr);
  }
  display->Close();
  EXPECT_EQ(wglGetCurrentContext(), nullptr);
}

TEST(Win32System, TicksFollowTheSystemCounterAndSleepWaits) {
  auto display = CreateWindowDisplay();
  const uint32_t before = SystemTicks();
  const uint32_t displayBefore = display->Ticks();
  SleepMs(40);
  const uint32_t elapsed = SystemTicks() - before;
  EXPECT_GE(elapsed, 30u);  // the counter moves in steps of the system timer
  EXPECT_LT(elapsed, 5000u);
  EXPECT_GE(display->Ticks() - displayBefore, 30u);
  EXPECT_TRUE(HasWindowSystem());
}

}  // namespace

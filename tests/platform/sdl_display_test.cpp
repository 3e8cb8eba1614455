// The SDL backend on SDL's own windowless video drivers: "offscreen" (EGL, no window system)
// and "dummy" (no OpenGL at all), so that no display is needed.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/launcher.h"
#include "platform/log.h"
#include "platform/platform.h"

namespace {

// Sets (or with nullptr removes) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

std::vector<std::string>* g_lines = nullptr;
void Collect(const char* line) {
  if (g_lines) g_lines->push_back(line);
}

// Collects the log's lines for one scope.
class LogCapture {
 public:
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

struct RecordingSink : WindowEvents {
  void OnKey(int, bool) override { ++keys; }
  void OnResize(int, int) override { ++resizes; }
  void OnClose() override { ++closes; }
  int keys = 0, resizes = 0, closes = 0;
};

TEST(SdlDisplay, WindowedContextClearsAndReadsBackTopRowFirst) {
  ScopedEnv driver("SDL_VIDEODRIVER", "offscreen");
  auto display = CreateSdlDisplay();
  std::string error;
  ASSERT_TRUE(display->Open({96, 64, false, "Quillon"}, &error)) << error;
  EXPECT_TRUE(error.empty());
  int w = 0, h = 0;
  display->DrawableSize(&w, &h);
  EXPECT_EQ(w, 96);  // no window frame here, so outer size == client size
  EXPECT_EQ(h, 64);
  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  EXPECT_GE(depthBits, 24);

  glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 32, 48, 32);  // GL's y runs upward: this is the top-left quarter
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  std::vector<uint8_t> rgba;
  ASSERT_TRUE(display->ReadPixels(&rgba, &w, &h));
  ASSERT_EQ(rgba.size(), 96u * 64u * 4u);
  EXPECT_EQ(rgba[0], 255);
  EXPECT_EQ(rgba[1], 0);
  const size_t last = rgba.size() - 4;
  EXPECT_EQ(rgba[last + 0], 0);
  EXPECT_EQ(rgba[last + 1], 255);

  RecordingSink sink;
  display->PumpEvents(sink);  // returns once the queue is empty
  display->SwapBuffers();
  EXPECT_EQ(sink.closes, 0);
  display->Close();
  display->Close();
  EXPECT_FALSE(display->ReadPixels(&rgba, &w, &h));
}

TEST(SdlDisplay, FullscreenWithoutAMatchingModeFallsBackAndKeepsRunning) {
  ScopedEnv driver("SDL_VIDEODRIVER", "offscreen");
  LogCapture log;
  auto display = CreateSdlDisplay();
  std::string error;
  // No display offers a 333 x 211 mode.
  ASSERT_TRUE(display->Open({333, 211, true, "Quillon"}, &error)) << error;
  EXPECT_TRUE(log.Has("screenmode not found"));
  int w = 0, h = 0;
  display->DrawableSize(&w, &h);
  EXPECT_GT(w, 0);
  EXPECT_GT(h, 0);
  // The desktop's mode is used; the picture keeps the requested shape, centred.
  int x = -1, y = -1, pw = 0, ph = 0;
  display->PictureArea(&x, &y, &pw, &ph);
  EXPECT_TRUE(pw == w || ph == h) << pw << "x" << ph << " in " << w << "x" << h;
  EXPECT_NEAR(static_cast<double>(pw) / ph, 333.0 / 211.0, 0.01);
  EXPECT_EQ(x, (w - pw) / 2);
  EXPECT_EQ(y, (h - ph) / 2);
  glClear(GL_COLOR_BUFFER_BIT);
  display->SwapBuffers();
  display->Close();
}

// Asking for vsync (or not) is logged with what the driver gave; a window of a given inside
// size has exactly that picture area.
TEST(SdlDisplay, SwapIntervalIsLoggedAndTheInsideSizeIsKept) {
  ScopedEnv driver("SDL_VIDEODRIVER", "offscreen");
  for (bool vsync : {true, false}) {
    LogCapture log;
    auto display = CreateSdlDisplay();
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
    display->Close();
  }
}

TEST(SdlDisplay, DriverWithoutOpenGLReportsThePixelFormatText) {
  ScopedEnv driver("SDL_VIDEODRIVER", "dummy");
  LogCapture log;
  auto display = CreateSdlDisplay();
  std::string error;
  EXPECT_FALSE(display->Open({640, 480, false, "Quillon"}, &error));
  EXPECT_EQ(error, "Can't Find A Suitable PixelFormat.");
  EXPECT_TRUE(log.Has("Can't Find A Suitable PixelFormat."));
  // What is left is safe to use.
  RecordingSink sink;
  display->PumpEvents(sink);
  display->SwapBuffers();
  std::vector<uint8_t> rgba;
  int w = 1, h = 1;
  EXPECT_FALSE(display->ReadPixels(&rgba, &w, &h));
  display->DrawableSize(&w, &h);
  EXPECT_EQ(w, 0);
  display->Close();
  display->Close();

  // The launcher cannot open either, and says so instead of passing for a cancel.
  LauncherChoice choice;
  choice.mode = 3;
  std::string launcherError;
  EXPECT_FALSE(RunLauncher(&choice, nullptr, &launcherError, 1));
  EXPECT_FALSE(launcherError.empty());
  EXPECT_EQ(choice.mode, 3);
}

TEST(SdlDisplay, LauncherClosesByItselfAsCancelled) {
  ScopedEnv driver("SDL_VIDEODRIVER", "offscreen");
  LauncherChoice choice;
  choice.mode = 2;
  std::string error = "stale";
  const std::vector<uint8_t> art(4 * 3 * 4, 200);
  const LauncherArt small{art.data(), 4, 3};
  EXPECT_FALSE(RunLauncher(&choice, &small, &error, 50));
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_EQ(choice.mode, 2);
  // Unusable art falls back to the built-in picture.
  const LauncherArt broken{nullptr, 180, 182};
  EXPECT_FALSE(RunLauncher(&choice, &broken, &error, 20));
  EXPECT_TRUE(error.empty()) << error;
}

TEST(PlatformServices, WindowSystemIsSeenThroughTheEnvironment) {
  {
    ScopedEnv x("DISPLAY", nullptr);
    ScopedEnv wl("WAYLAND_DISPLAY", nullptr);
    EXPECT_FALSE(HasWindowSystem());
    ScopedEnv empty("DISPLAY", "");
    EXPECT_FALSE(HasWindowSystem());
  }
  {
    ScopedEnv x("DISPLAY", ":7");
    EXPECT_TRUE(HasWindowSystem());
  }
  {
    ScopedEnv x("DISPLAY", nullptr);
    ScopedEnv wl("WAYLAND_DISPLAY", "wayland-0");
    EXPECT_TRUE(HasWindowSystem());
  }
}

TEST(PlatformServices, ErrorBoxWithoutWindowSystemGoesToStandardError) {
  ScopedEnv x("DISPLAY", nullptr);
  ScopedEnv wl("WAYLAND_DISPLAY", nullptr);
  testing::internal::CaptureStderr();
  ShowErrorBox("Can't activate GLRC.");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Can't activate GLRC.\n");
}

TEST(PlatformServices, LogSinkGetsFormattedLinesAndLongOnesAreCut) {
  Log("dropped %d", 1);  // no sink: nothing happens
  LogCapture log;
  Log("can't go into %s mode", "fullscreen");
  Log("%s", std::string(5000, 'x').c_str());
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.lines[0], "can't go into fullscreen mode");
  EXPECT_EQ(log.lines[1], std::string(1023, 'x'));
}

TEST(PlatformServices, SystemTicksMoveForwardAcrossASleep) {
  const uint32_t before = SystemTicks();
  SleepMs(15);
  // Unsigned difference: correct even if the counter wrapped in between.
  EXPECT_GE(static_cast<uint32_t>(SystemTicks() - before), 15u);
}

}  // namespace

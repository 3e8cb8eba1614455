// displaycheck: opens the player's display window or the launcher on the current screen, for
// checking them by eye (for example under Xvfb with a screenshot).
//   displaycheck window W H [FRAMES]       windowed (W x H is the outer size)
//   displaycheck fullscreen W H [FRAMES]   fullscreen mode switch
//   displaycheck launcher [MS]             the launcher; cancels by itself after MS if given
#include <GL/gl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/launcher.h"
#include "platform/log.h"
#include "platform/platform.h"

namespace {

void PrintLine(const char* line) { std::fprintf(stderr, "log: %s\n", line); }

struct PrintingSink : WindowEvents {
  void OnKey(int key, bool down) override {
    std::printf("key %d %s\n", key, down ? "down" : "up");
    if (key == kKeyEscape && down) closed = true;
  }
  void OnResize(int w, int h) override { std::printf("resize %dx%d\n", w, h); }
  void OnClose() override {
    std::printf("close\n");
    closed = true;
  }
  bool closed = false;
};

int Usage() {
  std::fprintf(stderr,
               "usage: displaycheck window W H [FRAMES]\n"
               "       displaycheck fullscreen W H [FRAMES]\n"
               "       displaycheck launcher [MS]\n");
  return 2;
}

bool ParseInt(const char* text, int* value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v <= 0 || v > 100000) return false;
  *value = static_cast<int>(v);
  return true;
}

int RunDisplay(bool fullscreen, int width, int height, int frames) {
  auto display = CreateSdlDisplay();
  std::string error;
  if (!display->Open({width, height, fullscreen, "Quillon"}, &error)) {
    std::fprintf(stderr, "displaycheck: %s\n", error.c_str());
    return 1;
  }
  int w = 0, h = 0;
  display->DrawableSize(&w, &h);
  std::printf("requested %dx%d %s, drawable %dx%d\n", width, height,
              fullscreen ? "fullscreen" : "windowed", w, h);
  std::printf("GL %s / %s\n", reinterpret_cast<const char*>(glGetString(GL_VERSION)),
              reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
  PrintingSink sink;
  for (int i = 0; i < frames && !sink.closed; ++i) {
    display->PumpEvents(sink);
    display->DrawableSize(&w, &h);
    glViewport(0, 0, w, h);
    glClearColor(0.1f, 0.3f + 0.5f * static_cast<float>(i) / static_cast<float>(frames), 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    display->SwapBuffers();
    SleepMs(16);
  }
  display->DrawableSize(&w, &h);
  std::printf("final drawable %dx%d\n", w, h);
  display->Close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  SetLogSink(&PrintLine);
  if (argc < 2) return Usage();
  const std::string what = argv[1];
  if (what == "window" || what == "fullscreen") {
    int w = 0, h = 0, frames = 60;
    if (argc < 4 || !ParseInt(argv[2], &w) || !ParseInt(argv[3], &h)) return Usage();
    if (argc > 4 && !ParseInt(argv[4], &frames)) return Usage();
    return RunDisplay(what == "fullscreen", w, h, frames);
  }
  if (what == "launcher") {
    int ms = 0;
    if (argc > 2 && !ParseInt(argv[2], &ms)) return Usage();
    LauncherChoice choice;
    std::string error;
    if (RunLauncher(&choice, nullptr, &error, static_cast<uint32_t>(ms))) {
      std::printf("run: mode %d, no sound %d, loop %d\n", choice.mode, choice.noSound, choice.loop);
      return 0;
    }
    if (!error.empty()) {
      std::fprintf(stderr, "displaycheck: %s\n", error.c_str());
      return 1;
    }
    std::printf("cancelled\n");
    return 0;
  }
  return Usage();
}

#include "app/demo_app.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/demo_clock.h"
#include "app/export_show.h"
#include "app/main_loop.h"
#include "app/offline_render.h"
#include "app/show_bridge.h"
#include "app/show_editor.h"
#include "app/show_run.h"
#include "app/soundtrack.h"
#include "io/data_file.h"
#include "io/image_decode.h"
#include "platform/launcher.h"
#include "platform/log.h"
#include "show/show_loaders.h"
#include "show/viewport.h"

#ifndef QUILLON_VERSION
#define QUILLON_VERSION "0.0.0"
#endif

namespace {

// One run of the player: the window's events, the frame budget and the virtual clock.
class PlayerHooks final : public FrameHooks, public WindowEvents {
 public:
  PlayerHooks(Display& display, ShowSession& session)
      : display_(display), session_(session), hasGl_(session.hasGl) {}

  void SetVirtualClock(HeadlessDisplay* headless, double fps, long frameLimit) {
    headless_ = headless;
    fps_ = fps;
    frameLimit_ = frameLimit;
  }

  bool StopRequested() override {
    return keys_.Down(kKeyEscape) || closed_ || (frameLimit_ >= 0 && framesDrawn_ >= frameLimit_);
  }
  void PumpMessages() override { display_.PumpEvents(*this); }
  void RenderPart(int32_t part, float partFrames, float showTime, float opacityStep) override {
    session_.DrawPart(part, partFrames, showTime, opacityStep, true);
  }
  void SwapBuffers() override {
    display_.SwapBuffers();
    ++framesDrawn_;
    if (headless_) headless_->SetTicks(static_cast<uint32_t>(std::llround(framesDrawn_ * 1000.0 / fps_)));
  }

  void OnKey(int virtualKey, bool down) override {
    if (virtualKey >= 0 && virtualKey < 256) keys_.keys[virtualKey] = down ? 1 : 0;
  }
  void OnResize(int, int) override {
    if (!hasGl_) return;
    int x = 0, y = 0, w = 0, h = 0;
    display_.PictureArea(&x, &y, &w, &h);
    PlaceViewport(x, y, w, h);
  }
  void OnClose() override { closed_ = true; }

  bool closed() const { return closed_; }
  long framesDrawn() const { return framesDrawn_; }

 private:
  Display& display_;
  ShowSession& session_;
  bool hasGl_;
  KeyStateTable keys_;
  bool closed_ = false;
  HeadlessDisplay* headless_ = nullptr;
  double fps_ = 60.0;
  long frameLimit_ = -1;
  long framesDrawn_ = 0;
};

// The launcher's picture, decoded from the PNG the build carries.
struct LauncherPicture {
  DecodedImage image;
  LauncherArt art;
};

LauncherPicture DecodeLauncherArt(ByteBlock png) {
  LauncherPicture picture;
  if (!png.data) return picture;
  DataFile file;
  file.OpenMemory(png.data, static_cast<int32_t>(png.size));
  if (DecodePng(file, &picture.image) != kPngOk) return picture;
  // The texture loader's brightness-as-alpha rule is for textures; the picture is opaque.
  for (size_t i = 3; i < picture.image.pixels.size(); i += 4) picture.image.pixels[i] = 255;
  picture.art = {picture.image.pixels.data(), picture.image.width, picture.image.height};
  return picture;
}

}  // namespace

bool LookUpDisplayMode(int mode, int* width, int* height, bool* fullscreen) {
  static const struct {
    int width, height;
    bool fullscreen;
  } kModes[4] = {{640, 480, true}, {640, 480, false}, {800, 600, true}, {1024, 768, true}};
  if (mode < 0 || mode > 3) return false;
  *width = kModes[mode].width;
  *height = kModes[mode].height;
  *fullscreen = kModes[mode].fullscreen;
  return true;
}

int PlayShow(const DemoOptions& options, Display* given) {
  WindowRequest request;
  if (!LookUpDisplayMode(options.mode, &request.width, &request.height, &request.fullscreen)) {
    std::fprintf(stderr, "quillon: display mode %d does not exist\n", options.mode);
    return 2;
  }
  if (options.headless) {
    request.width = options.width;
    request.height = options.height;
    request.fullscreen = false;
  } else if (options.sizeGiven) {
    // The picture is the size asked for: the window's inside, or the fullscreen mode.
    request.width = options.width;
    request.height = options.height;
    request.outerSize = false;
  }
  request.vsync = !options.noVsync;

  // Headless, the run makes its own offscreen display; live, it plays in the system's window.
  std::unique_ptr<Display> window;
  if (!given && !options.headless) {
    window = CreateWindowDisplay();
    given = window.get();
  }
  ShowRun run;
  run.Open(options, request, given);
  Display* display = &run.display();
  HeadlessDisplay* headless =
      options.headless ? static_cast<HeadlessDisplay*>(display) : nullptr;
  ShowSession& session = run.session();
  // Nothing to play: Open has said why.
  if (!session.tables.scriptError.empty()) {
    run.Close();
    return 1;
  }

  PlayerHooks hooks(*display, session);
  if (headless) hooks.SetVirtualClock(headless, options.fps, options.frames);
  DemoClock clock([display] { return display->Ticks(); });
  Soundtrack soundtrack;
  // --start: the first run begins at that show time, with the state a full run would have.
  double startAt = options.start;
  TimelineState state;
  if (startAt > 0.0) state = run.Seek(startAt, options.fps);
  int again = 0;
  do {
    if (!options.noSound) soundtrack.Start(session.Soundtrack(), headless, startAt);
    clock.StartAgo(static_cast<uint32_t>(std::llround(startAt * 1000.0)));
    again = RunTimeline(session.tables.timeline, options.loop, clock, hooks, &state);
    soundtrack.Stop();
    startAt = 0.0;
    state = TimelineState();
  } while (again == 1 && !hooks.closed());

  soundtrack.Stop();
  run.Close();
  Log("show ended after %ld frames", hooks.framesDrawn());
  return 0;
}

// Loads the show as a run would (offscreen) and prints the report show authors check.
int PrintInfo(const DemoOptions& options) {
  ShowRun run;
  run.Open(options, WindowRequest());
  // A show that cannot play still gets its report: the reason heads the list of problems.
  int status = PrintShowInfo(run.session().tables, stdout);
  run.Close();
  return status == 0 ? 0 : 1;
}

int RunPlayer(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  DemoOptions options;
  std::string error;
  if (!ParseCommandLine(args, &options, &error)) {
    std::fprintf(stderr, "quillon: %s\nTry 'quillon --help' for more information.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("quillon %s\n", QUILLON_VERSION);
    return 0;
  }
  if (options.edit) return RunEditor(options);
  const bool offscreen = options.headless || !options.renderOut.empty() || options.frameGiven || options.info ||
                         !options.exportDir.empty();
  if (!offscreen && !HasWindowSystem()) {
    std::fprintf(stderr,
                 "quillon: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                 "run 'quillon --headless' to play offscreen\n");
    return 1;
  }
  if (!offscreen && !options.noLauncher) {
    LauncherChoice choice;
    LauncherPicture picture = DecodeLauncherArt(EmbeddedLauncherArt());
    if (!RunLauncher(&choice, picture.art.rgba ? &picture.art : nullptr, &error)) {
      if (error.empty()) return 0;
      std::fprintf(stderr, "quillon: %s\n", error.c_str());
      return 1;
    }
    options.mode = choice.mode;
    options.noSound = choice.noSound;
    options.loop = choice.loop;
  }
  if (!options.renderOut.empty()) {
    RenderRequest r;
    r.out = options.renderOut;
    r.fps = options.fps;
    r.width = options.width;
    r.height = options.height;
    r.from = options.from;
    r.to = options.to;
    return RenderShow(options, r);
  }
  if (options.info) return PrintInfo(options);
  if (!options.exportDir.empty()) return ExportShow(EmbeddedArchive(), EmbeddedSoundtrack(), options.exportDir);
  if (options.frameGiven) return CaptureFrame(options, options.frameAt, options.framePath, options.width, options.height);
  return PlayShow(options, nullptr);
}

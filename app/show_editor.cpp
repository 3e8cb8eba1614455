#include "app/show_editor.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "platform/log.h"
#include "show/viewport.h"

namespace {

constexpr double kFps = 60.0;  // the frame grid seeks and part starts are found on
constexpr uint32_t kPollEveryMs = 250;  // how often a polling watcher lists the folders

// A display whose swaps do nothing: the exact frame is drawn into the back buffer and read back
// there, and only the editor's own swap (after the overlay) shows it.
class NoSwapDisplay final : public Display {
 public:
  explicit NoSwapDisplay(Display& d) : d_(d) {}
  bool Open(const WindowRequest& r, std::string* e) override { return d_.Open(r, e); }
  void DrawableSize(int* w, int* h) const override { d_.DrawableSize(w, h); }
  void PictureArea(int* x, int* y, int* w, int* h) const override { d_.PictureArea(x, y, w, h); }
  void PumpEvents(WindowEvents& sink) override { d_.PumpEvents(sink); }
  void SwapBuffers() override {}
  void* GlFunction(const char* name) const override { return d_.GlFunction(name); }
  uint32_t Ticks() override { return d_.Ticks(); }
  bool ReadPixels(std::vector<uint8_t>* rgba, int* w, int* h) override { return d_.ReadPixels(rgba, w, h); }
  void Close() override {}

 private:
  Display& d_;
};

// The timeline part a seek to `ms` draws: the frames of the replay (those before `ms` on the
// frame grid) run through the main loop's own part logic, nothing drawn or evaluated.
int32_t PartShownAt(const std::vector<PartEntry>& timeline, int64_t ms) {
  struct CountOnly final : FrameHooks {
    long frames = 0, limit = 0;
    uint32_t ticks = 0;
    bool StopRequested() override { return frames >= limit; }
    void PumpMessages() override {}
    void RenderPart(int32_t, float, float, float) override {}
    void SwapBuffers() override {
      ++frames;
      ticks = static_cast<uint32_t>(std::llround(static_cast<double>(frames) * 1000.0 / kFps));
    }
  } hooks;
  hooks.limit = static_cast<long>(std::ceil(static_cast<double>(ms) / 1000.0 * kFps - 1e-9));
  DemoClock clock([&hooks] { return hooks.ticks; });
  clock.Start();
  TimelineState state;
  if (hooks.limit > 0) RunTimeline(timeline, false, clock, hooks, &state);
  return state.part;
}

// The smallest time in ms (up to `limitMs`) at which a seek draws part `part` or a later one.
int64_t FirstMsShowing(const std::vector<PartEntry>& timeline, int32_t part, int64_t limitMs) {
  int64_t lo = 0, hi = limitMs;
  if (PartShownAt(timeline, hi) < part) return hi;
  while (lo < hi) {
    const int64_t mid = lo + (hi - lo) / 2;
    if (PartShownAt(timeline, mid) >= part) {
      hi = mid;
    } else {
      lo = mid + 1;
    }
  }
  return lo;
}

int64_t TimelineLimitMs(const std::vector<PartEntry>& timeline) {
  float last = 0.0f;
  for (const PartEntry& p : timeline) last = std::max(last, p.time);
  return static_cast<int64_t>(last) + 1000;
}

std::string Seconds(int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld s", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000));
  return text;
}

}  // namespace

// The main loop's hooks for one live frame: the part renderer draws, the loop stops after it.
class ShowEditor::LiveHooks final : public FrameHooks {
 public:
  explicit LiveHooks(ShowSession& session) : session_(session) {}
  bool StopRequested() override { return drew; }
  void PumpMessages() override {}
  void RenderPart(int32_t p, float pf, float showTime, float opacityStep) override {
    session_.DrawPart(p, pf, showTime, opacityStep, true);
    part = p;
    partFrames = pf;
    drew = true;
  }
  void SwapBuffers() override {}

  bool drew = false;
  int32_t part = 0;
  float partFrames = 0.0f;

 private:
  ShowSession& session_;
};

ShowEditor::ShowEditor() = default;
ShowEditor::~ShowEditor() { Close(); }

int64_t ShowEditor::PartStartMs(const std::vector<PartEntry>& timeline, int32_t part) {
  if (part <= 0) return 0;
  return FirstMsShowing(timeline, part, TimelineLimitMs(timeline));
}

int64_t ShowEditor::LastFrameMs() {
  const std::vector<PartEntry>& timeline = run_.session().tables.timeline;
  const int32_t last = static_cast<int32_t>(timeline.size()) - 1;
  return std::max<int64_t>(0, FirstMsShowing(timeline, last, TimelineLimitMs(timeline)) - 1);
}

bool ShowEditor::Open(const DemoOptions& given, Display* display) {
  options_ = given;
  options_.noArchive = true;  // the loose files are what is edited
  WindowRequest request;
  request.width = options_.width;
  request.height = options_.height;
  request.fullscreen = false;
  request.outerSize = false;  // the picture is the size asked for, as --frame draws it
  request.vsync = !options_.noVsync;
  request.title = "Quillon - " + (options_.dataDir.empty() ? std::string(".") : options_.dataDir);
  if (!display) {
    if (options_.headless) {
      window_ = CreateHeadlessDisplay();
    } else {
      window_ = CreateWindowDisplay();
    }
    display = window_.get();
  }
  headless_ = dynamic_cast<HeadlessDisplay*>(display);
  const bool drawing = run_.Open(options_, request, display);
  if (!run_.session().tables.scriptError.empty()) return false;  // said by Open
  if (!drawing) {
    std::fprintf(stderr, "quillon: the edit mode needs an OpenGL context\n");
    return false;
  }
  reloader_ = std::make_unique<ShowReloader>(run_.session());
  reloader_->Adopt();
  problems_ = run_.session().tables.failures;
  for (const std::string& problem : problems_) std::fprintf(stderr, "quillon: %s\n", problem.c_str());
  watcher_ = CreateFileWatcher();
  WatchFolders();
  Log("edit: watching the show's folders (%s)", watcher_->Kind());
  clock_ = std::make_unique<DemoClock>([this] { return run_.display().Ticks(); });
  fpsSince_ = run_.display().Ticks();
  const int64_t start = static_cast<int64_t>(std::llround(options_.start * 1000.0));
  if (start > 0) {
    ShowExactFrame(std::min(start, LastFrameMs()));
    needExactFrame_ = false;
  }
  StartClockAndSound();
  return true;
}

void ShowEditor::WatchFolders() {
  if (!watcher_ || !reloader_) return;
  for (const std::string& folder : reloader_->Folders()) watcher_->Watch(folder);
}

void ShowEditor::OnKey(int virtualKey, bool down) {
  if (virtualKey == kKeyShift) shift_ = down;
  if (down) pressed_.push_back(virtualKey);
}

void ShowEditor::OnResize(int, int) {
  int x = 0, y = 0, w = 0, h = 0;
  run_.display().PictureArea(&x, &y, &w, &h);
  if (run_.session().hasGl) PlaceViewport(x, y, w, h);
  if (paused_) needExactFrame_ = true;  // the kept frame has the old size
}

void ShowEditor::HandleKey(int key) {
  const std::vector<PartEntry>& timeline = run_.session().tables.timeline;
  switch (key) {
    case kKeyEscape:
      closed_ = true;
      break;
    case kKeySpace:
      SetPaused(!paused_);
      break;
    case kKeyLeft:
    case kKeyRight: {
      const int64_t step = shift_ ? 10000 : 1000;
      SeekTo(timeMs_ + (key == kKeyLeft ? -step : step));
      break;
    }
    case kKeyPageUp:
      SeekTo(PartStartMs(timeline, std::max(0, shownPart_ - 1)));
      break;
    case kKeyPageDown:
      // The last entry is never drawn: there is no part after the one before it.
      if (shownPart_ + 1 < static_cast<int32_t>(timeline.size()) - 1) SeekTo(PartStartMs(timeline, shownPart_ + 1));
      break;
    case kKeyHome:
      SeekTo(0);
      break;
    case 'R':
      ReloadNow();
      break;
    case kKeyTab:
      overlayOn_ = !overlayOn_;
      break;
    default:
      break;
  }
}

void ShowEditor::CheckFiles(uint32_t now) {
  if (!watcher_) return;
  const bool polling = std::string(watcher_->Kind()) == "polling";
  if (!polling || now - lastPollTicks_ >= kPollEveryMs) {
    lastPollTicks_ = now;
    const std::vector<std::string> changes = watcher_->Changes();
    for (const std::string& path : changes) Log("edit: %s changed", path.c_str());
    if (!changes.empty()) {
      // Every change restarts the wait, so a save in several steps is read once it is done.
      changePending_ = true;
      lastChangeTicks_ = now;
    }
  }
  if (changePending_ && now - lastChangeTicks_ >= kSettleMs) {
    changePending_ = false;
    ReloadNow();
  }
}

void ShowEditor::ReloadNow() {
  ReloadOutcome outcome = reloader_->Reload();
  ++reloads_;
  if (!outcome.applied) {
    problems_ = {outcome.error};
    std::fprintf(stderr, "quillon: %s\n", outcome.error.c_str());
    return;
  }
  problems_ = run_.session().tables.failures;
  std::fprintf(stderr, "quillon: reloaded%s\n", problems_.empty() ? "" : ", with problems:");
  for (const std::string& problem : problems_) std::fprintf(stderr, "  %s\n", problem.c_str());
  WatchFolders();
  // The show time stays; the new version is replayed up to it.
  needExactFrame_ = true;
}

void ShowEditor::ShowExactFrame(int64_t ms) {
  ShowSession& session = run_.session();
  ms = std::clamp<int64_t>(ms, 0, LastFrameMs());
  // From the state a fresh load has, as --frame starts from.
  reloader_->ResetState();
  state_ = ReplayTimeline(session, static_cast<double>(ms) / 1000.0);
  shownPartFrames_ = state_.partFrames;

  struct OneFrame final : FramePlan {
    Display* display = nullptr;
    HeldFrame* held = nullptr;
    bool drawn = false;
    int32_t part = 0;
    bool Done(long index) override { return index >= 1; }
    bool Draw(long, int32_t) override { return true; }
    void Drawn(long, int32_t p) override {
      int w = 0, h = 0;
      display->DrawableSize(&w, &h);
      *held = HeldFrame::Read(w, h);
      part = p;
      drawn = true;
    }
  } plan;
  NoSwapDisplay target(run_.display());
  plan.display = &target;
  plan.held = &held_;
  PlayStepped(session, &target, plan, kFps, &state_, static_cast<uint32_t>(ms));
  timeMs_ = ms;
  if (plan.drawn) shownPart_ = plan.part;
}

void ShowEditor::SeekTo(int64_t ms) {
  ShowExactFrame(ms);
  if (!paused_) StartClockAndSound();
}

void ShowEditor::SetPaused(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  if (paused) {
    soundtrack_.Stop();
    ShowExactFrame(timeMs_);
  } else {
    StartClockAndSound();
  }
}

void ShowEditor::StartClockAndSound() {
  // The state's previous time is the frame on screen: the next frame moves on from there.
  clock_->StartAgo(static_cast<uint32_t>(timeMs_));
  soundtrack_.Stop();
  if (!options_.noSound) soundtrack_.Start(run_.session().Soundtrack(), headless_, static_cast<double>(timeMs_) / 1000.0);
}

void ShowEditor::PlayFrame() {
  const std::vector<PartEntry>& timeline = run_.session().tables.timeline;
  LiveHooks hooks(run_.session());
  RunTimeline(timeline, false, *clock_, hooks, &state_);
  if (hooks.drew) {
    timeMs_ = std::llround(static_cast<double>(state_.previous) * 1000.0);
    shownPart_ = hooks.part;
    shownPartFrames_ = hooks.partFrames;
  }
  // At the end the show stays on its last frame, paused.
  if (!hooks.drew || state_.part >= static_cast<int32_t>(timeline.size()) - 1) SetPaused(true);
}

bool ShowEditor::Step() {
  Display& display = run_.display();
  display.PumpEvents(*this);
  for (int key : std::exchange(pressed_, {})) {
    HandleKey(key);
    if (closed_) break;
  }
  if (closed_) return false;
  if (options_.frames >= 0 && steps_ >= options_.frames) return false;
  CheckFiles(display.Ticks());
  if (needExactFrame_) {
    needExactFrame_ = false;
    ShowExactFrame(timeMs_);
    if (!paused_) StartClockAndSound();
  } else if (paused_) {
    held_.Put();
  } else {
    PlayFrame();
  }
  DrawOverlay();
  Present();
  return true;
}

void ShowEditor::DrawOverlay() {
  if (!overlayOn_) return;
  const ShowTables& tables = run_.session().tables;
  std::vector<OverlayLine> lines;
  const std::string name =
      shownPart_ >= 0 && static_cast<size_t>(shownPart_) < tables.timeline.size() ? tables.timeline[static_cast<size_t>(shownPart_)].name : "";
  char text[256];
  std::snprintf(text, sizeof text, "%s  part %d/%d %s  frame %.1f  %.0f fps%s", Seconds(timeMs_).c_str(),
                shownPart_, static_cast<int>(tables.timeline.size()) - 2, name.c_str(),
                static_cast<double>(shownPartFrames_), fps_, paused_ ? "  PAUSED" : "");
  lines.push_back({text, 1.0f, 1.0f, 1.0f});
  const size_t shown = std::min<size_t>(problems_.size(), 4);
  for (size_t i = 0; i < shown; ++i) lines.push_back({problems_[i], 1.0f, 0.45f, 0.4f});
  if (problems_.size() > shown) {
    lines.push_back({"... and " + std::to_string(problems_.size() - shown) + " more (quillon --info)", 1.0f, 0.45f, 0.4f});
  }
  lines.push_back({"Space pause  Left/Right 1 s (Shift 10 s)  PgUp/PgDn part", 0.6f, 0.6f, 0.6f});
  lines.push_back({"Home start  R reload  Tab overlay  Esc quit", 0.6f, 0.6f, 0.6f});
  int w = 0, h = 0;
  run_.display().DrawableSize(&w, &h);
  overlay_.Draw(lines, w, h);
}

void ShowEditor::Present() {
  Display& display = run_.display();
  display.SwapBuffers();
  ++steps_;
  if (headless_) {
    // The virtual clock moves on by one frame.
    headless_->SetTicks(headless_->Ticks() + (steps_ % 3 == 0 ? 16 : 17));
  } else if (paused_ && options_.noVsync) {
    SleepMs(10);  // nothing moves: no need to spin
  }
  const uint32_t now = display.Ticks();
  ++fpsFrames_;
  if (now - fpsSince_ >= 1000) {
    fps_ = fpsFrames_ * 1000.0 / static_cast<double>(now - fpsSince_);
    fpsSince_ = now;
    fpsFrames_ = 0;
  }
}

int ShowEditor::Run() {
  while (Step()) {
  }
  Close();
  return 0;
}

void ShowEditor::Close() {
  soundtrack_.Stop();
  if (run_.session().hasGl) overlay_.Release();
  run_.Close();
}

int RunEditor(const DemoOptions& options) {
  if (!options.headless && !HasWindowSystem()) {
    std::fprintf(stderr,
                 "quillon: --edit needs a display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                 "use --frame or --render to look at a show without one\n");
    return 1;
  }
  ShowEditor editor;
  if (!editor.Open(options)) return 1;
  return editor.Run();
}

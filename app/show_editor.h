// The edit mode (quillon --edit): the loose files of a data directory played in a window that
// reloads them when they change on disk, with keys to pause and move about the show and an
// overlay that says where it stands.
//
//   Space       pause / play (the soundtrack pauses and resumes at the same point)
//   Left/Right  1 s back / on (with Shift: 10 s)
//   PgUp/PgDn   the first frame of the previous / next part
//   Home        the start
//   R           reload now
//   Tab         overlay on / off
//   Escape      quit
//
// Every seek, and every pause, draws the frame by the replay the offline render uses, so a
// paused frame is the one `quillon --frame` writes at that time (overlay off, same size).
// A change is reloaded once the files have been quiet for a moment (kSettleMs), so a save in
// several steps is read once, whole; a change that fails to load keeps what was on screen and
// the overlay says why.
//
//   ShowEditor editor;
//   if (!editor.Open(options)) return 1;   // options.dataDir, options.width/height
//   return editor.Run();                   // Step() until Escape or the window closes
//
// With a headless display the keys are injected (HeadlessDisplay::InjectKey) and the clock moves
// on by one frame at every Step, so tests drive it frame by frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/demo_clock.h"
#include "app/edit_overlay.h"
#include "app/main_loop.h"
#include "app/show_reload.h"
#include "app/show_run.h"
#include "app/soundtrack.h"
#include "platform/file_watch.h"
#include "platform/platform.h"

class ShowEditor final : public WindowEvents {
 public:
  // Files must have been quiet this long before a change is reloaded.
  static constexpr uint32_t kSettleMs = 100;

  ShowEditor();
  ~ShowEditor() override;
  ShowEditor(const ShowEditor&) = delete;
  ShowEditor& operator=(const ShowEditor&) = delete;

  // Opens `display` (a window when null) and loads the loose files of options.dataDir. False,
  // with the reason on standard error, when there is no show to edit.
  bool Open(const DemoOptions& options, Display* display = nullptr);
  // One turn: events and keys, file changes, one frame (or the paused one again), the overlay,
  // the swap. False once the editor is to close.
  bool Step();
  // Steps until the end; returns the exit code.
  int Run();
  void Close();

  // Show time of the frame on screen, in milliseconds.
  int64_t TimeMs() const { return timeMs_; }
  bool Paused() const { return paused_; }
  // The timeline part of the frame on screen.
  int32_t Part() const { return shownPart_; }
  bool OverlayShown() const { return overlayOn_; }
  // What went wrong with the last load, one line each; empty when it went well.
  const std::vector<std::string>& LoadProblems() const { return problems_; }
  int Reloads() const { return reloads_; }
  ShowSession& session() { return run_.session(); }
  Display& display() { return run_.display(); }

  // The show time at which part `part` is first drawn when the show plays at 60 frames a second
  // (the frame after the one that passes the previous part's end).
  static int64_t PartStartMs(const std::vector<PartEntry>& timeline, int32_t part);

  // WindowEvents
  void OnKey(int virtualKey, bool down) override;
  void OnResize(int width, int height) override;
  void OnClose() override { closed_ = true; }

 private:
  class LiveHooks;

  void HandleKey(int key);
  void WatchFolders();
  void CheckFiles(uint32_t now);
  void ReloadNow();
  void PlayFrame();
  // Draws the frame at `ms` by the exact replay and keeps it; playing goes on from there.
  void ShowExactFrame(int64_t ms);
  void SeekTo(int64_t ms);
  void SetPaused(bool paused);
  void StartClockAndSound();
  int64_t LastFrameMs();
  void DrawOverlay();
  void Present();

  DemoOptions options_;
  ShowRun run_;
  std::unique_ptr<Display> window_;
  HeadlessDisplay* headless_ = nullptr;
  std::unique_ptr<ShowReloader> reloader_;
  std::unique_ptr<FileWatcher> watcher_;
  std::unique_ptr<DemoClock> clock_;
  Soundtrack soundtrack_;
  EditOverlay overlay_;
  HeldFrame held_;
  TimelineState state_;

  int64_t timeMs_ = 0;
  int32_t shownPart_ = 0;
  float shownPartFrames_ = 0.0f;
  bool paused_ = false;
  bool overlayOn_ = true;
  bool closed_ = false;
  bool shift_ = false;
  bool needExactFrame_ = false;
  std::vector<int> pressed_;  // keys pressed since the last Step, in order
  std::vector<std::string> problems_;
  int reloads_ = 0;

  bool changePending_ = false;
  uint32_t lastChangeTicks_ = 0;
  uint32_t lastPollTicks_ = 0;

  long steps_ = 0;
  uint32_t fpsSince_ = 0;
  int fpsFrames_ = 0;
  double fps_ = 0.0;
};

// quillon --edit: returns the exit code.
int RunEditor(const DemoOptions& options);

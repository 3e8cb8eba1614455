// A run of the show driven frame by frame: the set-up every command that draws without the live
// player's loop shares (log sink, display, window request, session) and the virtual clock that
// steps the timeline. The offline render, the single-frame capture, --info, the contact sheet and
// the show benchmark are each a few lines over it: a FramePlan says which frames are drawn and
// what becomes of them.
//
//   ShowRun run;
//   if (!run.Open(options, {640, 480})) return 1;        // offscreen display, show loaded
//   TimelineState at = run.Seek(12.5);                    // replayed without drawing up to 12.5 s
//   std::vector<uint8_t> rgba;
//   int w, h;
//   run.DrawFrameAt(12.5, at, &rgba, &w, &h);             // the frame shown at 12.5 s
//
// The clock belongs to the run, not to the display, so a run behaves the same on any Display:
// an offscreen one, or a live window that seeks and pauses (Seek to the new time, then
// DrawFrameAt draws exactly what an offline render draws there).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/command_line.h"
#include "app/main_loop.h"
#include "app/show_session.h"
#include "platform/platform.h"

// Which frames of a stepped run are drawn, and what becomes of them.
class FramePlan {
 public:
  virtual ~FramePlan() = default;
  // Whether the run ends before frame `index`.
  virtual bool Done(long index) = 0;
  // Whether frame `index`, in timeline part `part`, is drawn. A frame that is not drawn is
  // replayed: what it changes in the show (fading styles, chosen cameras) happens, nothing
  // reaches GL.
  virtual bool Draw(long index, int32_t part) = 0;
  // After a drawn frame is finished: its picture can be read from the display.
  virtual void Drawn(long /*index*/, int32_t /*part*/) {}
};

// Plays `session`'s timeline on a virtual clock: frame k is shown at startMs + round(k * 1000 /
// fps) milliseconds of show time. Continues from *state when given and leaves there where it
// stopped. Drawn frames are finished on `display`; with no display, or a session without GL,
// every frame is replayed.
void PlayStepped(ShowSession& session, Display* display, FramePlan& plan, double fps,
                 TimelineState* state = nullptr, uint32_t startMs = 0);

// Seeking: replays the frames at k / fps seconds for every k with k / fps < seconds and returns
// where the loop stands, as a full run would leave it. The next frame can be drawn by continuing
// from the returned state.
TimelineState ReplayTimeline(ShowSession& session, double seconds, double fps = 60.0);

// Seconds at which the show ends: when the clock passes the end of the last drawn part.
double ShowLength(const ShowTables& tables);

class ShowRun {
 public:
  ShowRun();
  ~ShowRun();
  ShowRun(const ShowRun&) = delete;
  ShowRun& operator=(const ShowRun&) = delete;

  // Sends the log to standard error when options.verbose (else discards it), opens `display`
  // (a new offscreen display when null) with `request` and loads the show. Returns whether it
  // can draw; without GL the tables are still loaded. A script that gives no show (missing,
  // unreadable, fewer than two parts) is reported on standard error and gives false.
  bool Open(const DemoOptions& options, const WindowRequest& request,
            Display* display = nullptr);

  void Play(FramePlan& plan, double fps, TimelineState* state = nullptr, uint32_t startMs = 0) {
    PlayStepped(session_, display_, plan, fps, state, startMs);
  }
  TimelineState Seek(double seconds, double fps = 60.0) { return ReplayTimeline(session_, seconds, fps); }
  // Draws the one frame shown at `seconds`, continuing from `state` (what Seek(seconds) gave),
  // and reads it back when rgba is given. False when no frame is drawn there.
  bool DrawFrameAt(double seconds, TimelineState state, std::vector<uint8_t>* rgba = nullptr,
                   int* width = nullptr, int* height = nullptr);

  double Length() const { return ShowLength(session_.tables); }
  ShowSession& session() { return session_; }
  Display& display() { return *display_; }
  // Frees the show's GL objects while the context is current, then closes the display
  // (restoring the desktop for a window); safe twice.
  void Close();

 private:
  std::unique_ptr<Display> owned_;
  Display* display_ = nullptr;
  ShowSession session_;
};

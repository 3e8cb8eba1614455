#include "app/offline_render.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/show_run.h"
#include "app/soundtrack_pcm.h"
#include "io/image_write.h"
#include "io/wav_write.h"
#include "platform/log.h"
#include "platform/platform.h"
#include "platform/process.h"

namespace {

// Where captured frames go. Frames are numbered from 1 in the order they were drawn.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  virtual bool Add(long index, const std::vector<uint8_t>& rgba, int width, int height) = 0;
  virtual bool Finish(std::string* why) = 0;
  // True when Add may run for several frames at once, in any order.
  virtual bool Concurrent() const { return false; }
};

// One PNG file a frame; every file is made from its own frame alone.
class PngDirectorySink final : public FrameSink {
 public:
  explicit PngDirectorySink(std::string dir) : dir_(std::move(dir)) {}
  bool Add(long index, const std::vector<uint8_t>& rgba, int width, int height) override {
    std::string why;
    // The picture is opaque: alpha would only make viewers show a checkerboard.
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, j = 0; j < rgb.size(); i += 4, j += 3) {
      rgb[j] = rgba[i];
      rgb[j + 1] = rgba[i + 1];
      rgb[j + 2] = rgba[i + 2];
    }
    if (!WritePngQuick(dir_ + "/" + FrameFileName(index), rgb.data(), width, height, 3, &why)) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (error_.empty()) error_ = why;
      return false;
    }
    return true;
  }
  bool Finish(std::string* why) override {
    if (!error_.empty()) *why = error_;
    return error_.empty();
  }
  bool Concurrent() const override { return true; }

 private:
  std::string dir_;
  std::mutex mutex_;
  std::string error_;
};

// Hands frames to another sink on other threads, so that frames are compressed or piped while
// the next one is drawn: two threads for a sink that takes frames in any order, one (keeping
// the order) otherwise. A few frames wait their turn at most. Every frame keeps its number, so
// the output does not depend on the timing.
class QueuedSink final : public FrameSink {
 public:
  explicit QueuedSink(std::unique_ptr<FrameSink> inner) : inner_(std::move(inner)) {
    const int workers = inner_->Concurrent() ? 2 : 1;
    for (int i = 0; i < workers; ++i) workers_.emplace_back([this] { Run(); });
  }
  ~QueuedSink() override { Stop(); }

  bool Add(long index, const std::vector<uint8_t>& rgba, int width, int height) override {
    std::unique_lock<std::mutex> lock(mutex_);
    roomLeft_.wait(lock, [this] { return waiting_.size() < 2 || failed_; });
    if (failed_) return false;
    Frame frame;
    frame.index = index;
    frame.width = width;
    frame.height = height;
    if (!spare_.empty()) {
      frame.rgba = std::move(spare_.back());
      spare_.pop_back();
    }
    frame.rgba.assign(rgba.begin(), rgba.end());
    waiting_.push_back(std::move(frame));
    work_.notify_one();
    return true;
  }
  bool Finish(std::string* why) override {
    Stop();
    const bool ok = inner_->Finish(why) && !failed_;
    if (!ok && why->empty()) *why = "a frame could not be written";
    return ok;
  }

 private:
  struct Frame {
    long index = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
  };

  void Run() {
    for (;;) {
      Frame frame;
      bool failed = false;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_.wait(lock, [this] { return !waiting_.empty() || stopping_; });
        if (waiting_.empty()) return;
        frame = std::move(waiting_.front());
        waiting_.pop_front();
        failed = failed_;
      }
      const bool ok = !failed && inner_->Add(frame.index, frame.rgba, frame.width, frame.height);
      std::lock_guard<std::mutex> lock(mutex_);
      if (!ok) failed_ = true;
      spare_.push_back(std::move(frame.rgba));  // its memory serves a later frame
      roomLeft_.notify_one();
    }
  }
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& worker : workers_)
      if (worker.joinable()) worker.join();
  }

  std::unique_ptr<FrameSink> inner_;
  std::mutex mutex_;
  std::condition_variable work_, roomLeft_;
  std::deque<Frame> waiting_;
  std::vector<std::vector<uint8_t>> spare_;
  bool stopping_ = false;
  bool failed_ = false;
  std::vector<std::thread> workers_;  // last: they start once everything above is in place
};

class FfmpegSink final : public FrameSink {
 public:
  bool Start(const RenderRequest& r, const std::string& wavPath, std::string* why) {
    char size[32], rate[32];
    std::snprintf(size, sizeof size, "%dx%d", r.width, r.height);
    std::snprintf(rate, sizeof rate, "%.6g", r.fps);
    std::vector<std::string> argv = {"ffmpeg", "-hide_banner", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", "rgba", "-s", size, "-r", rate, "-i", "-"};
    if (!wavPath.empty()) argv.insert(argv.end(), {"-i", wavPath});
    argv.insert(argv.end(), {"-map", "0:v"});
    if (!wavPath.empty()) argv.insert(argv.end(), {"-map", "1:a", "-c:a", "aac", "-b:a", "192k"});
    // bitexact: no random container ids or version strings, so a render gives the same bytes
    // every time.
    argv.insert(argv.end(), {"-c:v", "libx264", "-preset", "veryfast", "-crf", "18", "-pix_fmt", "yuv420p",
                             "-shortest", "-fflags", "+bitexact", "-flags:v", "+bitexact", "-flags:a", "+bitexact",
                             r.out});
    return process_.Start(argv, why);
  }
  bool Add(long, const std::vector<uint8_t>& rgba, int, int) override {
    if (failed_) return false;
    failed_ = !process_.Write(rgba.data(), rgba.size());
    return !failed_;
  }
  bool Finish(std::string* why) override {
    int status = process_.Finish();
    if (failed_ || status != 0) {
      *why = "ffmpeg failed (exit status " + std::to_string(status) + ")";
      return false;
    }
    return true;
  }

 private:
  ChildProcess process_;
  bool failed_ = false;
};

// Progress on standard error: a redrawn bar on a terminal, a line per tenth otherwise.
class Progress {
 public:
  explicit Progress(long total) : total_(std::max(1L, total)), tty_(IsTerminal(2)) {
    start_ = std::chrono::steady_clock::now();
  }
  void Update(long done) {
    double elapsed = Elapsed();
    if (tty_) {
      if (done != total_ && elapsed - lastDraw_ < 0.1) return;
      lastDraw_ = elapsed;
      const int width = 30;
      int filled = static_cast<int>(static_cast<double>(done) / total_ * width);
      std::string bar(static_cast<size_t>(std::clamp(filled, 0, width)), '#');
      bar.resize(width, '.');
      double left = done > 0 ? elapsed / done * (total_ - done) : 0.0;
      std::fprintf(stderr, "\r[%s] %ld/%ld frames  %s elapsed  %s left ", bar.c_str(), done, total_,
                   Clock(elapsed).c_str(), Clock(left).c_str());
      if (done >= total_) std::fputc('\n', stderr);
    } else {
      int tenth = static_cast<int>(done * 10 / total_);
      if (tenth > lastTenth_) {
        lastTenth_ = tenth;
        std::fprintf(stderr, "render: %d%% (%ld/%ld frames, %s elapsed)\n", tenth * 10, done, total_,
                     Clock(elapsed).c_str());
      }
    }
  }
  double Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  static std::string Clock(double seconds) {
    long s = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld", s / 60, s % 60);
    return text;
  }
  long total_;
  bool tty_;
  std::chrono::steady_clock::time_point start_;
  double lastDraw_ = -1.0;
  int lastTenth_ = 0;
};

// Frame k of the render is shown at round(k * 1000 / fps) ms. Frames before `from` are
// replayed without drawing; frames from `from` on are drawn and handed to the sink; the run
// stops before the first frame at or after `to`.
class RenderPlan final : public FramePlan {
 public:
  RenderPlan(Display& display, const RenderRequest& r, FrameSink* sink, Progress* progress)
      : display_(display), r_(r), sink_(sink), progress_(progress) {
    firstFrame_ = static_cast<long>(std::ceil(r.from * r.fps - 1e-9));
  }
  bool Done(long index) override {
    if (failed_) return true;
    return r_.to >= 0.0 && static_cast<double>(index) >= r_.to * r_.fps - 1e-9;
  }
  bool Draw(long index, int32_t) override { return index >= firstFrame_; }
  void Drawn(long, int32_t) override {
    int w = 0, h = 0;
    ++written_;
    if (!display_.ReadPixels(&pixels_, &w, &h) || !sink_->Add(written_, pixels_, w, h)) failed_ = true;
    if (progress_) progress_->Update(written_);
  }
  long written() const { return written_; }
  bool failed() const { return failed_; }

 private:
  Display& display_;
  const RenderRequest& r_;
  FrameSink* sink_;
  Progress* progress_;
  long firstFrame_ = 0;
  long written_ = 0;
  bool failed_ = false;
  std::vector<uint8_t> pixels_;
};

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && std::equal(tail.rbegin(), tail.rend(), text.rbegin(),
                                                  [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

}  // namespace

std::string FrameFileName(long index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%06ld.png", index);
  return name;
}

bool IsVideoPath(const std::string& out) {
  return EndsWith(out, ".mkv") || EndsWith(out, ".mp4") || EndsWith(out, ".mov");
}

int RenderShow(const DemoOptions& options, const RenderRequest& request) {
  RenderRequest r = request;
  bool video = IsVideoPath(r.out);
  if (video && FindOnPath("ffmpeg").empty()) {
    std::fprintf(stderr, "quillon: ffmpeg is not installed, so %s cannot be written; install it (apt-get install "
                         "ffmpeg) or give a directory to receive PNG frames and soundtrack.wav\n", r.out.c_str());
    return 1;
  }
  std::string why;
  if (!video && !MakeDirectories(r.out, &why)) {
    std::fprintf(stderr, "quillon: %s\n", why.c_str());
    return 1;
  }

  ShowRun run;
  WindowRequest window;
  window.width = r.width;
  window.height = r.height;
  if (!run.Open(options, window)) return 1;

  double length = run.Length();
  if (r.to < 0.0 || r.to > length) r.to = length;
  if (r.from >= r.to) {
    std::fprintf(stderr, "quillon: nothing to render between %.3f s and %.3f s (the show lasts %.3f s)\n", r.from,
                 r.to, length);
    return 1;
  }
  long total = static_cast<long>(std::ceil(r.to * r.fps - 1e-9)) - static_cast<long>(std::ceil(r.from * r.fps - 1e-9));

  // The soundtrack of the rendered range, decoded by our own decoder.
  SoundtrackPcm pcm;
  std::string wavPath = video ? r.out + ".soundtrack.wav" : r.out + "/soundtrack.wav";
  bool haveSound = !options.noSound && DecodeSoundtrack(run.session().Soundtrack(), &pcm);
  if (haveSound) {
    size_t first = std::min(pcm.Frames(), static_cast<size_t>(std::llround(r.from * pcm.rate)));
    size_t last = std::min(pcm.Frames(), static_cast<size_t>(std::llround(r.to * pcm.rate)));
    std::vector<int16_t> range(pcm.stereo.begin() + static_cast<long>(first * 2),
                               pcm.stereo.begin() + static_cast<long>(last * 2));
    // Past the end of the soundtrack the show goes on in silence.
    range.resize(static_cast<size_t>(std::llround((r.to - r.from) * pcm.rate)) * 2, 0);
    if (!WriteWav(wavPath, range.data(), range.size() / 2, pcm.rate, 2, &why)) {
      std::fprintf(stderr, "quillon: %s\n", why.c_str());
      return 1;
    }
  } else {
    Log("render: no soundtrack");
  }

  std::unique_ptr<FrameSink> sink;
  if (video) {
    auto ffmpeg = std::make_unique<FfmpegSink>();
    if (!ffmpeg->Start(r, haveSound ? wavPath : "", &why)) {
      std::fprintf(stderr, "quillon: %s\n", why.c_str());
      return 1;
    }
    sink = std::make_unique<QueuedSink>(std::move(ffmpeg));
  } else {
    sink = std::make_unique<QueuedSink>(std::make_unique<PngDirectorySink>(r.out));
  }

  Progress progress(total);
  RenderPlan plan(run.display(), r, sink.get(), &progress);
  run.Play(plan, r.fps);
  bool ok = sink->Finish(&why) && !plan.failed();
  if (video && haveSound) std::remove(wavPath.c_str());
  run.Close();
  if (!ok) {
    std::fprintf(stderr, "quillon: render failed: %s\n", why.empty() ? "a frame could not be written" : why.c_str());
    return 1;
  }
  std::fprintf(stderr, "quillon: %ld frames (%.2f s at %.6g fps) written to %s in %.1f s\n", plan.written(),
               static_cast<double>(plan.written()) / r.fps, r.fps, r.out.c_str(), progress.Elapsed());
  return 0;
}

int CaptureFrame(const DemoOptions& options, double seconds, const std::string& pngPath, int width, int height) {
  ShowRun run;
  WindowRequest window;
  window.width = width;
  window.height = height;
  if (!run.Open(options, window)) return 1;
  double length = run.Length();
  if (seconds < 0.0 || seconds >= length) {
    std::fprintf(stderr, "quillon: %.3f s is outside the show (0 to %.3f s)\n", seconds, length);
    return 1;
  }

  // The show is replayed without drawing up to `seconds`, then the frame at `seconds` is drawn.
  std::vector<uint8_t> last;
  int lw = 0, lh = 0;
  run.DrawFrameAt(seconds, run.Seek(seconds, options.fps), &last, &lw, &lh);
  run.Close();
  if (last.empty()) {
    std::fprintf(stderr, "quillon: no frame was drawn at %.3f s\n", seconds);
    return 1;
  }
  std::string why;
  if (!WritePng(pngPath, last.data(), lw, lh, 4, &why)) {
    std::fprintf(stderr, "quillon: %s\n", why.c_str());
    return 1;
  }
  std::fprintf(stderr, "quillon: frame at %.3f s written to %s\n", seconds, pngPath.c_str());
  return 0;
}

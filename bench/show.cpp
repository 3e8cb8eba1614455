// The whole show on the software renderer: time from process start to the first frame (archive
// unpacked, every texture, image and scene loaded), and frames per second at 640 x 480 over
// every part (median and slowest part).
//
//   build/bench/bench_show [--size WxH] [--step N] [--parts] [--only A-B] [--at SEC] [--data-dir DIR]
//                          [--no-startup] [--memory] [--loops N] [--fragments]
//
// Whole processes first (median of five runs each): a bare EGL context that clears and draws
// one triangle (the peer), this program doing what `quillon --headless --frames 1` does (time to
// its first frame and the time its exit then takes, printed apart, and the peak resident
// memory), and build/quillon itself. --memory also plays the whole show in build/quillon
// (`--headless --no-sound`, 640 x 480) and prints its peak memory against the peer's; --loops N
// plays it N times over (--loop) to show that the peak stays flat. --at SEC times the part
// shown at that second alone.
//
// --parts also prints every part's median frame time (ms), frame rate and median processor time
// (all threads of the process, ms; steadier than the wall clock on a busy machine), and the
// drawing thread's own processor time (issuing the frame: the driver's vertex work and binning,
// which the rasterizer threads wait for), one line a part. --fragments adds to each part's line the fragments shaded in a frame for each pixel of
// the view (the overdraw; where the driver counts them). --only times parts A to B alone (the rest of the show is replayed without drawing).
// --data-dir plays loose files from DIR (as written by contentgen) instead of the carried show.
// Start-up is printed beside the time it takes merely to copy the program's two data blocks
// (the floor any start-up pays); frame rates beside the fixed target of 60 frames per second.
// Every N-th frame of the show at 60 fps is timed (default 4); frames in between are replayed
// without drawing, as a seek does, so the state of the show is that of a full run.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "app/show_bridge.h"
#include "app/show_run.h"
#include "platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// Processor time of the whole process (the renderer's worker threads included), in seconds.
double ProcessSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Processor time of the calling thread alone: for the drawing thread, the work of issuing the
// frame (the driver's vertex work and binning), which the rasterizer threads cannot share.
double ThreadSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Times every step-th frame of parts first..last: from the moment it is asked for until it is
// finished.
class TimedPlan final : public FramePlan {
 public:
  TimedPlan(int step, int32_t first, int32_t last) : step_(step), first_(first), last_(last) {}
  bool Done(long) override { return false; }
  bool Draw(long index, int32_t part) override {
    if (index % step_ != 0 || part < first_ || part > last_) return false;
    if (query_) beginQuery_(kFragmentInvocations, query_);
    start_ = Clock::now();
    cpuStart_ = ProcessSeconds();
    threadStart_ = ThreadSeconds();
    return true;
  }
  void Drawn(long, int32_t part) override {
    times[part].push_back(Since(start_));
    cpuTimes[part].push_back(ProcessSeconds() - cpuStart_);
    threadTimes[part].push_back(ThreadSeconds() - threadStart_);
    if (query_) {
      endQuery_(kFragmentInvocations);
      GLuint64 count = 0;
      getResult_(query_, GL_QUERY_RESULT, &count);
      fragments[part].push_back(static_cast<double>(count));
    }
  }
  // Counts the fragments shaded in every timed frame, where the driver offers the statistic.
  bool CountFragments(Display& display) {
    auto gen = reinterpret_cast<PFNGLGENQUERIESPROC>(display.GlFunction("glGenQueries"));
    beginQuery_ = reinterpret_cast<PFNGLBEGINQUERYPROC>(display.GlFunction("glBeginQuery"));
    endQuery_ = reinterpret_cast<PFNGLENDQUERYPROC>(display.GlFunction("glEndQuery"));
    getResult_ = reinterpret_cast<PFNGLGETQUERYOBJECTUI64VPROC>(display.GlFunction("glGetQueryObjectui64v"));
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!gen || !beginQuery_ || !endQuery_ || !getResult_ || !extensions ||
        !std::strstr(extensions, "GL_ARB_pipeline_statistics_query"))
      return false;
    gen(1, &query_);
    return query_ != 0;
  }
  std::map<int32_t, std::vector<double>> times, cpuTimes, threadTimes, fragments;

 private:
  static constexpr GLenum kFragmentInvocations = 0x82F4;  // GL_FRAGMENT_SHADER_INVOCATIONS_ARB
  int step_;
  int32_t first_, last_;
  GLuint query_ = 0;
  PFNGLBEGINQUERYPROC beginQuery_ = nullptr;
  PFNGLENDQUERYPROC endQuery_ = nullptr;
  PFNGLGETQUERYOBJECTUI64VPROC getResult_ = nullptr;
  Clock::time_point start_;
  double cpuStart_ = 0.0;
  double threadStart_ = 0.0;
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The realtime clock in nanoseconds, as `date +%s%N` gives it: the same in every process.
long long NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// A child mode: opens the display (and the show, unless bare), draws the first frame, prints
// how long after `startNs` it was finished, then closes everything and exits.
int ChildFirstFrame(bool bare, long long startNs, int width, int height) {
  WindowRequest request;
  request.width = width;
  request.height = height;
  if (bare) {
    auto display = CreateHeadlessDisplay();
    std::string error;
    if (!display->Open(request, &error)) return 1;
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBegin(GL_TRIANGLES);
    glColor3f(1.0f, 0.5f, 0.0f);
    glVertex2f(-0.5f, -0.5f);
    glVertex2f(0.5f, -0.5f);
    glVertex2f(0.0f, 0.5f);
    glEnd();
    display->SwapBuffers();
    std::printf("first %.6f\n", static_cast<double>(NowNs() - startNs) * 1e-9);
    std::fflush(stdout);
    display->Close();
    return 0;
  }
  DemoOptions options;
  options.headless = true;
  options.noSound = true;
  ShowRun run;
  if (!run.Open(options, request)) return 1;
  run.session().DrawPart(0, 0.0f, 0.0f, 0.0f, true);
  run.display().SwapBuffers();
  std::printf("first %.6f\n", static_cast<double>(NowNs() - startNs) * 1e-9);
  std::fflush(stdout);
  run.Close();
  return 0;
}

struct ProcessRun {
  double firstFrame = 0.0;  // 0 when the process does not say
  double total = 0.0;
  double peakMb = 0.0;
  bool ok = false;
};

// Runs a command line under /usr/bin/time for its peak resident memory.
ProcessRun RunProcess(const std::string& command) {
  ProcessRun r;
  const long long start = NowNs();
  const std::string line = "/usr/bin/time -f 'peak %M' " + command + " 2>&1";
  FILE* p = popen(line.c_str(), "r");
  if (!p) return r;
  char text[512];
  while (std::fgets(text, sizeof text, p)) {
    double v = 0.0;
    if (std::sscanf(text, "first %lf", &v) == 1) r.firstFrame = v;
    if (std::sscanf(text, "peak %lf", &v) == 1) r.peakMb = v / 1024.0;
  }
  r.ok = pclose(p) == 0;
  r.total = static_cast<double>(NowNs() - start) * 1e-9;
  return r;
}

// Median of `runs` runs, field by field.
ProcessRun MedianRun(const std::string& command, int runs) {
  std::vector<double> first, total, peak;
  ProcessRun out;
  out.ok = true;
  for (int i = 0; i < runs; ++i) {
    ProcessRun r = RunProcess(command);
    out.ok = out.ok && r.ok;
    first.push_back(r.firstFrame);
    total.push_back(r.total);
    peak.push_back(r.peakMb);
  }
  out.firstFrame = Median(first);
  out.total = Median(total);
  out.peakMb = Median(peak);
  return out;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

int main(int argc, char** argv) {
  int width = 640, height = 480, step = 4;
  bool perPart = false;
  int32_t first = 0, last = 1 << 30;
  const char* dataDir = nullptr;
  bool startupRuns = true, memory = false, countFragments = false;
  int loops = 0;
  double at = -1.0;
  if (argc == 4 && (!std::strcmp(argv[1], "--child-bare") || !std::strcmp(argv[1], "--child-show"))) {
    std::sscanf(argv[3], "%dx%d", &width, &height);
    return ChildFirstFrame(!std::strcmp(argv[1], "--child-bare"), std::atoll(argv[2]), width, height);
  }
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--parts")) {
      perPart = true;
    } else if (i + 1 < argc && !std::strcmp(argv[i], "--size")) {
      std::sscanf(argv[++i], "%dx%d", &width, &height);
    } else if (i + 1 < argc && !std::strcmp(argv[i], "--step")) {
      step = std::max(1, std::atoi(argv[++i]));
    } else if (i + 1 < argc && !std::strcmp(argv[i], "--only")) {
      int a = 0, b = 0;
      int n = std::sscanf(argv[++i], "%d-%d", &a, &b);
      if (n < 1 || a < 0 || (n == 2 && b < a)) {
        std::fprintf(stderr, "bench_show: --only wants a part or a range of parts, such as 84-92\n");
        return 2;
      }
      first = a;
      last = n == 2 ? b : a;
    } else if (!std::strcmp(argv[i], "--no-startup")) {
      startupRuns = false;
    } else if (!std::strcmp(argv[i], "--fragments")) {
      countFragments = true;
    } else if (!std::strcmp(argv[i], "--memory")) {
      memory = true;
    } else if (i + 1 < argc && !std::strcmp(argv[i], "--loops")) {
      loops = std::max(0, std::atoi(argv[++i]));
      memory = true;
    } else if (i + 1 < argc && !std::strcmp(argv[i], "--at")) {
      at = std::atof(argv[++i]);
    } else if (i + 1 < argc && !std::strcmp(argv[i], "--data-dir")) {
      dataDir = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: bench_show [--size WxH] [--step N] [--parts] [--only A-B] [--at SEC] [--data-dir DIR] "
                   "[--no-startup] [--memory] [--loops N] [--fragments]\n");
      return 2;
    }
  }
  ByteBlock archive = EmbeddedArchive(), soundtrack = EmbeddedSoundtrack();
  if (!archive.data) {
    std::fprintf(stderr, "bench_show: this build carries no show (content not built)\n");
    return 1;
  }

  char size[32];
  std::snprintf(size, sizeof size, "%dx%d", width, height);
  const std::string self = Quoted(argv[0]);
  const std::string player = Quoted(std::string(QUILLON_BINARY_DIR) + "/quillon");
  ProcessRun bare;
  if (startupRuns || memory) {
    bare = MedianRun(self + " --child-bare " + std::to_string(NowNs()) + " " + size, 1);  // warms the caches
    bare = MedianRun(self + " --child-bare $(date +%s%N) " + size, 5);
  }
  if (startupRuns) {
    // The children read the start time from the shell just before they start: a nanosecond
    // count of the realtime clock, so the children compare against that same clock.
    ProcessRun show = MedianRun(self + " --child-show $(date +%s%N) " + size, 5);
    ProcessRun whole = MedianRun(player + " --headless --frames 1 --no-sound --size " + size, 5);
    std::printf("whole processes at %s (median of 5): bare EGL context: first frame %.3f s, exit %.3f s, peak %.0f MB; "
                "the show: first frame %.3f s (%.2fx the bare context), exit %.3f s, peak %.0f MB (%.2fx); "
                "quillon --headless --frames 1: %.3f s in all, peak %.0f MB%s\n",
                size, bare.firstFrame, bare.total - bare.firstFrame, bare.peakMb, show.firstFrame,
                show.firstFrame / std::max(1e-9, bare.firstFrame), show.total - show.firstFrame, show.peakMb,
                show.peakMb / std::max(1e-9, bare.peakMb), whole.total, whole.peakMb,
                bare.ok && show.ok && whole.ok ? "" : " (a run failed)");
  }
  if (memory) {
    ProcessRun once = RunProcess(player + " --headless --no-sound");
    std::printf("whole show in quillon --headless --no-sound (640x480): %.1f s, peak %.0f MB (%.2fx the bare context's "
                "%.0f MB)%s\n",
                once.total, once.peakMb, once.peakMb / std::max(1e-9, bare.peakMb), bare.peakMb,
                once.ok ? "" : " (failed)");
    if (loops > 0) {
      ShowRun probe;
      DemoOptions probeOptions;
      probeOptions.headless = true;
      probeOptions.noSound = true;
      probe.Open(probeOptions, WindowRequest{});
      const long frames = static_cast<long>(std::ceil(probe.Length() * 60.0)) * loops;
      probe.Close();
      ProcessRun looped = RunProcess(player + " --headless --no-sound --loop --frames " + std::to_string(frames));
      std::printf("%d loops (%ld frames): %.1f s, peak %.0f MB (%.2fx one run's)%s\n", loops, frames, looped.total,
                  looped.peakMb, looped.peakMb / std::max(1e-9, once.peakMb), looped.ok ? "" : " (failed)");
    }
  }

  // Start-up in this process: everything the player does before its first frame, then the
  // first frame (the whole processes above add the program's own loading and exit).
  const Clock::time_point processStart = Clock::now();
  DemoOptions options;
  options.headless = true;
  options.noSound = true;
  if (dataDir) {
    options.noArchive = true;
    options.dataDir = dataDir;
  }
  ShowRun run;
  WindowRequest request;
  request.width = width;
  request.height = height;
  run.Open(options, request);
  run.session().DrawPart(0, 0.0f, 0.0f, 0.0f, true);
  run.display().SwapBuffers();
  const double startup = Since(processStart);
  if (at >= 0.0) {
    const auto& timeline = run.session().tables.timeline;
    for (size_t i = 0; i + 1 < timeline.size(); ++i) {
      if (static_cast<double>(timeline[i].time) > at * 1000.0) {
        first = last = static_cast<int32_t>(i);
        break;
      }
    }
  }

  // The floor: copying the two data blocks the program carries.
  double copy = 1e30;
  for (int round = 0; round < 5; ++round) {
    Clock::time_point t = Clock::now();
    std::vector<uint8_t> a(archive.data, archive.data + archive.size);
    std::vector<uint8_t> s(soundtrack.data, soundtrack.data + soundtrack.size);
    volatile uint8_t sink = a[a.size() / 2] ^ (s.empty() ? 0 : s[s.size() / 2]);
    (void)sink;
    copy = std::min(copy, Since(t));
  }
  std::printf("in this process, opening the show to first frame: %.3f s; copying the data blocks (%zu + %zu bytes): %.4f s; ratio %.1f "
              "(target: start-up under 1 s)\n",
              startup, archive.size, soundtrack.size, copy, startup / copy);

  // Frame rate over the whole show.
  TimedPlan plan(step, first, last);
  if (countFragments && !plan.CountFragments(run.display())) {
    std::printf("this driver does not count shaded fragments\n");
  }
  Clock::time_point all = Clock::now();
  run.Play(plan, 60.0);
  double wall = Since(all);

  std::vector<double> partFps;
  int32_t slowestPart = -1;
  double slowest = 1e30;
  size_t frames = 0;
  for (auto& [part, t] : plan.times) {
    double fps = 1.0 / std::max(1e-9, Median(t));
    partFps.push_back(fps);
    if (perPart) {
      std::printf("part %3d: %7.2f ms  %6.0f fps  processor %7.2f ms (drawing thread %5.2f ms)", part,
                  Median(t) * 1000.0, fps, Median(plan.cpuTimes[part]) * 1000.0, Median(plan.threadTimes[part]) * 1000.0);
      if (!plan.fragments[part].empty())
        std::printf("  fragments %5.2f a pixel", Median(plan.fragments[part]) / (static_cast<double>(width) * height));
      std::printf("%s\n", fps < 60.0 ? "  below 60" : "");
    }
    frames += t.size();
    if (fps < slowest) {
      slowest = fps;
      slowestPart = part;
    }
  }
  double median = Median(partFps);
  int below = static_cast<int>(std::count_if(partFps.begin(), partFps.end(), [](double f) { return f < 60.0; }));
  std::printf("frame rate at %dx%d over %zu parts (%zu frames timed, %.1f s): median part %.0f fps, slowest part "
              "%d at %.0f fps; against 60 fps: median %.2fx, slowest %.2fx; %d parts below 60\n",
              width, height, partFps.size(), frames, wall, median, slowestPart, slowest, median / 60.0,
              slowest / 60.0, below);
  run.Close();
  return 0;
}

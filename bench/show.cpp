// The whole show on the software renderer: time from process start to the first frame (archive
// unpacked, every texture, image and scene loaded), and frames per second at 640 x 480 over
// every part (median and slowest part).
//
//   build/bench/bench_show [--size WxH] [--step N] [--parts] [--only A-B] [--data-dir DIR]
//
// --parts also prints every part's median frame time (ms), frame rate and median processor time
// (all threads of the process, ms; steadier than the wall clock on a busy machine), one line a
// part. --only times parts A to B alone (the rest of the show is replayed without drawing).
// --data-dir plays loose files from DIR (as written by contentgen) instead of the carried show.
// Start-up is printed beside the time it takes merely to copy the program's two data blocks
// (the floor any start-up pays); frame rates beside the fixed target of 60 frames per second.
// Every N-th frame of the show at 60 fps is timed (default 4); frames in between are replayed
// without drawing, as a seek does, so the state of the show is that of a full run.
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
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

// Times every step-th frame of parts first..last: from the moment it is asked for until it is
// finished.
class TimedPlan final : public FramePlan {
 public:
  TimedPlan(int step, int32_t first, int32_t last) : step_(step), first_(first), last_(last) {}
  bool Done(long) override { return false; }
  bool Draw(long index, int32_t part) override {
    if (index % step_ != 0 || part < first_ || part > last_) return false;
    start_ = Clock::now();
    cpuStart_ = ProcessSeconds();
    return true;
  }
  void Drawn(long, int32_t part) override {
    times[part].push_back(Since(start_));
    cpuTimes[part].push_back(ProcessSeconds() - cpuStart_);
  }
  std::map<int32_t, std::vector<double>> times, cpuTimes;

 private:
  int step_;
  int32_t first_, last_;
  Clock::time_point start_;
  double cpuStart_ = 0.0;
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const Clock::time_point processStart = Clock::now();
  int width = 640, height = 480, step = 4;
  bool perPart = false;
  int32_t first = 0, last = 1 << 30;
  const char* dataDir = nullptr;
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
    } else if (i + 1 < argc && !std::strcmp(argv[i], "--data-dir")) {
      dataDir = argv[++i];
    } else {
      std::fprintf(stderr, "usage: bench_show [--size WxH] [--step N] [--parts] [--only A-B] [--data-dir DIR]\n");
      return 2;
    }
  }
  ByteBlock archive = EmbeddedArchive(), soundtrack = EmbeddedSoundtrack();
  if (!archive.data) {
    std::fprintf(stderr, "bench_show: this build carries no show (content not built)\n");
    return 1;
  }

  // Start-up: everything the player does before its first frame, then the first frame.
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
  std::printf("start-up to first frame: %.3f s; copying the data blocks (%zu + %zu bytes): %.4f s; ratio %.1f "
              "(target: start-up under 1 s)\n",
              startup, archive.size, soundtrack.size, copy, startup / copy);

  // Frame rate over the whole show.
  TimedPlan plan(step, first, last);
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
    if (perPart)
      std::printf("part %3d: %7.2f ms  %6.0f fps  processor %7.2f ms%s\n", part, Median(t) * 1000.0, fps,
                  Median(plan.cpuTimes[part]) * 1000.0, fps < 60.0 ? "  below 60" : "");
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

// Decoding speed and memory of our decoder against ffmpeg's on the same stream: by default the
// show's soundtrack (build/content/soundtrack.mp3, 4:46 at 128 kbit/s joint stereo), else a
// 4.5-minute stream of the same kind made with LAME at bench time.
//   build/bench/bench_mp3 [STREAM.mp3]
// Whole processes, as a user runs them: `mp3dec --raw STREAM /dev/null` against
// `ffmpeg -threads 1 -i STREAM -f s16le -y /dev/null`, CPU time (user + system) and peak
// resident memory from GNU time; then the decoder alone in this process, fed as the player feeds
// it. Best of 7 interleaved runs each: the machine is shared, so the best run is the least
// disturbed one.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "audio/mp3_decoder.h"
#include "audio/mp3_feed.h"
#include "io/wav_write.h"

namespace {

bool ReadFile(const std::string& path, std::vector<uint8_t>* out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) out->insert(out->end(), buf, buf + n);
  std::fclose(f);
  return true;
}

// Music-like test material: chords with vibrato, a beat of noise bursts, slow panning.
bool WriteSignal(const std::string& path, int seconds) {
  const int rate = 44100;
  const size_t frames = static_cast<size_t>(rate) * seconds;
  WavWriter wav;
  std::string why;
  if (!wav.Open(path, rate, 2, &why)) return false;
  uint32_t seed = 1;
  std::vector<int16_t> block(2 * 4096);
  for (size_t start = 0; start < frames; start += 4096) {
    size_t n = std::min<size_t>(4096, frames - start);
    for (size_t i = 0; i < n; ++i) {
      double t = static_cast<double>(start + i) / rate;
      double chord = 0;
      const double notes[4] = {220.0, 277.2, 329.6, 440.0 * (1 + 0.5 * (static_cast<int>(t) % 2))};
      for (double hz : notes) chord += std::sin(2 * M_PI * hz * t + 3 * std::sin(2 * M_PI * 5 * t));
      seed = seed * 1664525u + 1013904223u;
      double noise = static_cast<double>(seed >> 8) / 8388608.0 - 1.0;
      double beat = std::fmod(t, 0.5) < 0.03 ? noise * 0.5 : noise * 0.02;
      double pan = 0.5 + 0.5 * std::sin(2 * M_PI * 0.1 * t);
      double v = 0.12 * chord + beat;
      block[2 * i] = static_cast<int16_t>(std::lround(std::clamp(v * pan, -1.0, 1.0) * 32000));
      block[2 * i + 1] = static_cast<int16_t>(std::lround(std::clamp(v * (1 - pan), -1.0, 1.0) * 32000));
    }
    wav.Write(block.data(), n);
  }
  return wav.Close(&why);
}

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// CPU seconds (user + system) and peak resident kilobytes of one run of `command`, from GNU
// time; false when the command or time failed.
bool Measure(const std::string& command, const std::string& timesFile, double* cpu, long* rssKb) {
  const std::string line = "/usr/bin/time -f '%U %S %M' -o '" + timesFile + "' " + command + " >/dev/null 2>&1";
  if (std::system(line.c_str()) != 0) return false;
  FILE* f = std::fopen(timesFile.c_str(), "r");
  if (!f) return false;
  double user = 0, sys = 0;
  long rss = 0;
  const bool ok = std::fscanf(f, "%lf %lf %ld", &user, &sys, &rss) == 3;
  std::fclose(f);
  *cpu = user + sys;
  *rssKb = rss;
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = std::string(QUILLON_BINARY_DIR) + "/bench";
  std::string mp3 = argc > 1 ? argv[1] : std::string(QUILLON_BINARY_DIR) + "/content/soundtrack.mp3";
  std::vector<uint8_t> stream;
  if (argc <= 1 && !ReadFile(mp3, &stream)) {
    mp3 = dir + "/bench_mp3_stream.mp3";
    if (!ReadFile(mp3, &stream)) {
      std::string wav = dir + "/bench_mp3_signal.wav";
      std::printf("no soundtrack in the build: making a 270 s 128 kbit/s joint-stereo stream with lame...\n");
      if (!WriteSignal(wav, 270) ||
          std::system(("lame --quiet -b 128 -m j '" + wav + "' '" + mp3 + "'").c_str()) != 0) {
        std::fprintf(stderr, "bench_mp3: cannot make the stream (is lame installed?)\n");
        return 1;
      }
      std::remove(wav.c_str());
    }
  }
  stream.clear();
  if (!ReadFile(mp3, &stream) || stream.empty()) {
    std::fprintf(stderr, "bench_mp3: cannot read '%s'\n", mp3.c_str());
    return 1;
  }

  const int kRuns = 7;
  const std::string timesFile = dir + "/bench_mp3_times.txt";
  const std::string ours = "'" + std::string(QUILLON_BINARY_DIR) + "/mp3dec' --raw '" + mp3 + "' /dev/null";
  const std::string ffmpeg = "ffmpeg -v error -threads 1 -i '" + mp3 + "' -f s16le -y /dev/null";
  double oursCpu = 1e9, refCpu = 1e9, inProcessCpu = 1e9, inProcessWall = 1e9;
  long oursRss = 0, refRss = 0;
  long long samples = 0;
  int rate = 0, channels = 0;
  auto dec = std::make_unique<Mp3Decoder>();
  std::vector<uint8_t> out(5000);
  for (int run = 0; run < kRuns; ++run) {
    double cpu;
    long rss;
    if (!Measure(ours, timesFile, &cpu, &rss)) {
      std::fprintf(stderr, "bench_mp3: '%s' failed (is mp3dec built, and GNU time installed?)\n", ours.c_str());
      return 1;
    }
    oursCpu = std::min(oursCpu, cpu);
    oursRss = run == 0 ? rss : std::min(oursRss, rss);
    if (!Measure(ffmpeg, timesFile, &cpu, &rss)) {
      std::fprintf(stderr, "bench_mp3: ffmpeg failed (is it installed?)\n");
      return 1;
    }
    refCpu = std::min(refCpu, cpu);
    refRss = run == 0 ? rss : std::min(refRss, rss);

    // the decoder alone, fed the player's way: 64-byte pieces into 5000 bytes of room
    dec->Init();
    samples = 0;
    std::clock_t c0 = std::clock();
    auto t0 = std::chrono::steady_clock::now();
    Mp3Feed feed(stream.data(), stream.size());
    while (!feed.Done()) {
      int produced = 0;
      if (feed.Step(dec.get(), out.data(), 5000, &produced) == Mp3Decoder::kFrameDecoded)
        samples += produced / 2;
    }
    inProcessWall = std::min(inProcessWall, Seconds(t0));
    inProcessCpu = std::min(inProcessCpu, static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
    rate = dec->SampleRate();
    channels = dec->Channels();
  }
  std::remove(timesFile.c_str());
  const double audioSeconds = static_cast<double>(samples) / channels / rate;
  const double inputMiB = static_cast<double>(stream.size()) / (1 << 20);
  std::printf("stream: %s, %.1f s of audio, %d Hz, %d channels, %.2f MiB\n", mp3.c_str(), audioSeconds, rate,
              channels, inputMiB);
  std::printf("whole processes, best of %d:\n", kRuns);
  std::printf("  mp3dec --raw:  %.3f s CPU, peak RSS %.1f MiB (%.1f MiB beyond the input)\n", oursCpu,
              oursRss / 1024.0, oursRss / 1024.0 - inputMiB);
  std::printf("  ffmpeg:        %.3f s CPU, peak RSS %.1f MiB (-threads 1, s16le to /dev/null)\n", refCpu,
              refRss / 1024.0);
  std::printf("  ratio mp3dec / ffmpeg: %.2f CPU (goal: at most 0.80), %.2f peak RSS\n", oursCpu / refCpu,
              static_cast<double>(oursRss) / static_cast<double>(refRss));
  std::printf("decoder alone in this process (64-byte pieces): %.3f s CPU, %.3f s wall (%.0f x real time); "
              "%.2f of ffmpeg's whole-process CPU\n",
              inProcessCpu, inProcessWall, audioSeconds / inProcessWall, inProcessCpu / refCpu);
  return 0;
}

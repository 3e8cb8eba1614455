// Decoding speed of Mp3Decoder against ffmpeg's decoder on the same stream: a 4.5-minute
// 128 kbit/s joint-stereo MPEG-1 layer III stream made with LAME at bench time.
//   build/bench/bench_mp3 [STREAM.mp3]
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
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  auto put = [&](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
  };
  uint32_t dataBytes = static_cast<uint32_t>(frames * 4);
  std::fwrite("RIFF", 1, 4, f);
  put(36 + dataBytes, 4);
  std::fwrite("WAVEfmt ", 1, 8, f);
  put(16, 4);
  put(1, 2);
  put(2, 2);
  put(rate, 4);
  put(rate * 4, 4);
  put(4, 2);
  put(16, 2);
  std::fwrite("data", 1, 4, f);
  put(dataBytes, 4);
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
    std::fwrite(block.data(), 4, n, f);
  }
  return std::fclose(f) == 0;
}

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = std::string(QUILLON_BINARY_DIR) + "/bench";
  std::string mp3 = argc > 1 ? argv[1] : dir + "/bench_mp3_stream.mp3";
  std::vector<uint8_t> stream;
  if (argc <= 1 && !ReadFile(mp3, &stream)) {
    std::string wav = dir + "/bench_mp3_signal.wav";
    std::printf("making a 270 s 128 kbit/s joint-stereo stream with lame...\n");
    if (!WriteSignal(wav, 270) ||
        std::system(("lame --quiet -b 128 -m j '" + wav + "' '" + mp3 + "'").c_str()) != 0) {
      std::fprintf(stderr, "bench_mp3: cannot make the stream (is lame installed?)\n");
      return 1;
    }
    std::remove(wav.c_str());
  }
  stream.clear();
  if (!ReadFile(mp3, &stream) || stream.empty()) {
    std::fprintf(stderr, "bench_mp3: cannot read '%s'\n", mp3.c_str());
    return 1;
  }

  // Ours (the player's way: 64-byte pieces into 5000 bytes of room) and ffmpeg (one thread,
  // whole process), interleaved, best of 7 each: the machine is shared, so the best run is the
  // least disturbed one. CPU time is reported beside wall time for the same reason.
  const int kRuns = 7;
  double ours = 1e9, oursCpu = 1e9, ref = 1e9, refCpu = 1e9;
  long long samples = 0;
  int rate = 0, channels = 0;
  auto dec = std::make_unique<audio::Mp3Decoder>();
  std::vector<uint8_t> out(5000);
  const std::string timesFile = dir + "/bench_mp3_times.txt";
  const std::string ffmpeg = "bash -c 'TIMEFORMAT=\"%3U %3S\"; time ffmpeg -v error -threads 1 -i \"" +
                             mp3 + "\" -f s16le -y /dev/null' 2>'" + timesFile + "'";
  for (int run = 0; run < kRuns; ++run) {
    dec->Init();
    samples = 0;
    std::clock_t c0 = std::clock();
    auto t0 = std::chrono::steady_clock::now();
    for (size_t pos = 0; pos < stream.size(); pos += 64) {
      int n = static_cast<int>(std::min<size_t>(64, stream.size() - pos));
      int produced = 0;
      if (dec->Decode(stream.data() + pos, n, out.data(), 5000, &produced) == 0) samples += produced / 2;
    }
    ours = std::min(ours, Seconds(t0));
    oursCpu = std::min(oursCpu, static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
    rate = dec->SampleRate();
    channels = dec->Channels();

    t0 = std::chrono::steady_clock::now();
    if (std::system(ffmpeg.c_str()) != 0) {
      std::fprintf(stderr, "bench_mp3: ffmpeg failed (is it installed?)\n");
      return 1;
    }
    ref = std::min(ref, Seconds(t0));
    FILE* f = std::fopen(timesFile.c_str(), "r");
    double user = 0, sys = 0;
    if (f && std::fscanf(f, "%lf %lf", &user, &sys) == 2) refCpu = std::min(refCpu, user + sys);
    if (f) std::fclose(f);
  }
  std::remove(timesFile.c_str());
  double audioSeconds = static_cast<double>(samples) / channels / rate;
  std::printf("stream: %s, %.1f s of audio, %d Hz, %d channels, %zu bytes\n", mp3.c_str(),
              audioSeconds, rate, channels, stream.size());
  std::printf("ours:   %.3f s wall (%.0f x real time), %.3f s CPU; best of %d\n", ours,
              audioSeconds / ours, oursCpu, kRuns);
  std::printf("ffmpeg: %.3f s wall (%.0f x real time), %.3f s CPU; best of %d, -threads 1, "
              "process start included\n", ref, audioSeconds / ref, refCpu, kRuns);
  std::printf("ratio ours / ffmpeg: %.2f wall, %.2f CPU\n", ours / ref, oursCpu / refCpu);
  return 0;
}

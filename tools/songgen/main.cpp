// songgen: renders the show's soundtrack from its score to a 44.1 kHz 16-bit stereo WAV file.
//
//   songgen OUT.wav [--score FILE] [--seconds N] [--solo TRACK] [--sections]
//
// --seconds renders only the first N seconds (the same samples as the start of a full render),
// --solo renders one track dry, --sections prints each section's time and loudness.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "tools/songgen/score.h"
#include "tools/songgen/synth.h"
#include "tools/songgen/wav.h"

#ifndef SONGGEN_DEFAULT_SCORE
#define SONGGEN_DEFAULT_SCORE "content/music/soundtrack.score"
#endif

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: songgen OUT.wav [--score FILE] [--seconds N] [--solo TRACK] [--sections]\n"
               "  renders the soundtrack score (default %s) to 44.1 kHz 16-bit stereo\n",
               SONGGEN_DEFAULT_SCORE);
  return 2;
}

double Db(double rms) { return rms > 0 ? 20.0 * std::log10(rms) : -120.0; }

}  // namespace

int main(int argc, char** argv) {
  std::string out, scorePath = SONGGEN_DEFAULT_SCORE, soloName;
  double seconds = -1;
  bool sections = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--score" && i + 1 < argc) {
      scorePath = argv[++i];
    } else if (a == "--seconds" && i + 1 < argc) {
      char* end = nullptr;
      seconds = std::strtod(argv[++i], &end);
      if (!end || *end != '\0' || !(seconds > 0) || seconds > 3600) {
        std::fprintf(stderr, "songgen: --seconds needs a positive number of seconds\n");
        return 2;
      }
    } else if (a == "--solo" && i + 1 < argc) {
      soloName = argv[++i];
    } else if (a == "--sections") {
      sections = true;
    } else if (!a.empty() && a[0] == '-') {
      return Usage();
    } else if (out.empty()) {
      out = a;
    } else {
      return Usage();
    }
  }
  if (out.empty()) return Usage();

  std::ifstream in(scorePath, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "songgen: cannot open score %s\n", scorePath.c_str());
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Song song;
  std::string error;
  if (!ParseScore(text, song, &error)) {
    std::fprintf(stderr, "songgen: %s: %s\n", scorePath.c_str(), error.c_str());
    return 1;
  }
  Arrangement arr;
  if (!Expand(song, 44100, arr, &error)) {
    std::fprintf(stderr, "songgen: %s: %s\n", scorePath.c_str(), error.c_str());
    return 1;
  }
  RenderOptions opt;
  if (seconds > 0) opt.frames = static_cast<int64_t>(std::llround(seconds * 44100.0));
  if (!soloName.empty()) {
    opt.soloTrack = song.FindTrack(soloName);
    if (opt.soloTrack < 0) {
      std::fprintf(stderr, "songgen: no track named '%s'\n", soloName.c_str());
      return 1;
    }
  }
  std::vector<int16_t> pcm;
  RenderStats stats;
  const int64_t frames = Render(song, arr, opt, pcm, &stats);
  if (!WriteWav(out, 44100, 2, pcm, &error)) {
    std::fprintf(stderr, "songgen: %s\n", error.c_str());
    return 1;
  }
  std::printf("songgen: %s: %.2f s, %zu notes, peak before limiter %.2f, deepest limiting %.1f dB\n",
              out.c_str(), static_cast<double>(frames) / 44100.0, arr.notes.size(), stats.peakIn,
              Db(stats.minGain));
  if (sections) {
    const double beat = 60.0 / song.tempo;
    for (const Section& s : song.sections) {
      const int64_t a = static_cast<int64_t>(s.startBeat * beat * 44100.0);
      const int64_t b = std::min<int64_t>(frames, static_cast<int64_t>((s.startBeat + s.beats) * beat * 44100.0));
      double sum = 0;
      for (int64_t i = a; i < b; ++i) {
        const double l = pcm[2 * i] / 32768.0, r = pcm[2 * i + 1] / 32768.0;
        sum += 0.5 * (l * l + r * r);
      }
      const double rms = b > a ? std::sqrt(sum / static_cast<double>(b - a)) : 0.0;
      float peak = 0.0f;
      for (int64_t sec = a / 44100; sec < b / 44100 && sec < static_cast<int64_t>(stats.secondPeaks.size()); ++sec)
        peak = std::max(peak, stats.secondPeaks[static_cast<size_t>(sec)]);
      std::printf("  %-10s %7.2f s - %7.2f s  %6.1f dBFS rms, peak before limiter %.2f\n", s.name.c_str(),
                  s.startBeat * beat, (s.startBeat + s.beats) * beat, Db(rms), peak);
    }
  }
  return 0;
}

// Comparing the decoder's output with an independent decoder's (ffmpeg's float decoders).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio_test_util.h"

namespace audiotest {

inline std::vector<float> ReadFloats(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::vector<float> f;
  if (!audiotest::ReadBytes(path, &bytes)) return f;
  f.resize(bytes.size() / 4);
  std::memcpy(f.data(), bytes.data(), f.size() * 4);
  return f;
}

struct Comparison {
  long shift = 0;  // samples of ours before the reference's first
  size_t count = 0;
  double rms = 0, maxDiff = 0;  // float output, full scale 1.0
  double maxPcmExcess = 0;      // 16-bit output: largest |ours - 28000 ref| (truncation: < 1)
};

// Aligns the two outputs (a reference that trims the encoder delay starts later) and compares.
inline Comparison Compare(const Decoded& ours, const std::vector<float>& ref, int channels) {
  Comparison best;
  double bestRms = 1e30;
  const long limit = 4000L * channels;
  for (long shift = -limit; shift <= limit; shift += channels) {
    long a0 = shift > 0 ? shift : 0, b0 = shift > 0 ? 0 : -shift;
    long n = std::min<long>(static_cast<long>(ours.floats.size()) - a0,
                            static_cast<long>(ref.size()) - b0);
    if (n < 1000) continue;
    double sum = 0;
    long used = 0;
    for (long k = 0; k < n; k += 61, ++used) {
      double d = ours.floats[a0 + k] - ref[b0 + k];
      sum += d * d;
    }
    double rms = std::sqrt(sum / used);
    if (rms < bestRms) {
      bestRms = rms;
      best.shift = shift;
    }
  }
  long a0 = best.shift > 0 ? best.shift : 0, b0 = best.shift > 0 ? 0 : -best.shift;
  long n = std::min<long>(static_cast<long>(ours.floats.size()) - a0,
                          static_cast<long>(ref.size()) - b0);
  if (n <= 0) return best;
  double sum = 0;
  for (long k = 0; k < n; ++k) {
    double d = ours.floats[a0 + k] - ref[b0 + k];
    sum += d * d;
    best.maxDiff = std::max(best.maxDiff, std::fabs(d));
    double scaled = std::clamp(ref[b0 + k] * 28000.0, -32768.0, 32767.0);
    best.maxPcmExcess = std::max(best.maxPcmExcess, std::fabs(ours.pcm[a0 + k] - scaled));
  }
  best.count = static_cast<size_t>(n);
  best.rms = std::sqrt(sum / n);
  return best;
}

// A stream made by a test, decoded by ours and by ffmpeg's `codec` (f32le), compared.
// False when the reference could not be made.
inline bool DecodeBothWays(const std::string& name, const std::vector<uint8_t>& stream,
                           const std::string& codec, int channels, Decoded* ours,
                           std::vector<float>* reference, Comparison* cmp) {
  std::string dir = audiotest::TempDir(name);
  std::string in = dir + "/random.bin", ref = dir + "/ref.f32";
  if (!audiotest::WriteBytes(in, stream)) return false;
  if (!audiotest::Run("ffmpeg -v error -f mp3 -c:a " + codec + " -i '" + in + "' -f f32le -y '" + ref + "'")) {
    return false;
  }
  *ours = audiotest::DecodeStream(stream);
  *reference = ReadFloats(ref);
  *cmp = Compare(*ours, *reference, channels);
  std::printf("[ %s ] %zu samples, shift %ld: rms %.3g, max %.3g, 16-bit max %.3f\n", name.c_str(), cmp->count,
              cmp->shift, cmp->rms, cmp->maxDiff, cmp->maxPcmExcess);
  return true;
}

}  // namespace audiotest

// Minimal RIFF/WAVE writing and reading for 16-bit PCM, used by the soundtrack generator and its
// tests. Writing goes to a temporary name first and is renamed into place, so a failed run never
// leaves a truncated file where the build expects a finished one.
//
// Usage:
//   std::string why;
//   if (!WriteWav("out.wav", 44100, 2, pcm, &why)) { ... }
//   WavData w; if (!ReadWav("out.wav", w, &why)) { ... }
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bytes of a complete WAV file holding interleaved 16-bit samples.
std::vector<uint8_t> EncodeWav(int sampleRate, int channels, const std::vector<int16_t>& samples);

bool WriteWav(const std::string& path, int sampleRate, int channels, const std::vector<int16_t>& samples,
              std::string* why);

struct WavData {
  int sampleRate = 0;
  int channels = 0;
  std::vector<int16_t> samples;
};

// Reads a 16-bit PCM WAV (chunks other than "fmt " and "data" are skipped).
bool DecodeWav(const std::vector<uint8_t>& bytes, WavData& out, std::string* why);
bool ReadWav(const std::string& path, WavData& out, std::string* why);

// Writing 16-bit PCM as a RIFF WAV file (little-endian, interleaved channels).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The 44-byte header of a WAV holding `frames` sample frames.
std::vector<uint8_t> WavHeader(int sampleRate, int channels, size_t frames);

bool WriteWav(const std::string& path, const int16_t* samples, size_t frames, int sampleRate, int channels,
              std::string* why);

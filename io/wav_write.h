// Writing 16-bit PCM as RIFF WAV files (little-endian, interleaved channels, a 44-byte header):
// all at once, or as the samples come with the header completed at the end.
//
//   std::string why;
//   WriteWav("out.wav", samples, frames, 44100, 2, &why);      // whole
//
//   WavWriter w;                                                // in pieces
//   if (!w.Open("out.wav", 44100, 2, &why)) ...
//   w.Write(block, blockFrames); ...
//   if (!w.Close(&why)) ...
//
// A WAV's size fields hold 32 bits: samples beyond what they can describe are not written. An
// output that cannot seek (a pipe) keeps the header written at Open, which gives the largest
// length a WAV can describe, so that readers take the data up to the end of the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The 44-byte header of a WAV holding `frames` sample frames (cut at the largest a WAV holds).
std::vector<uint8_t> WavHeader(int sampleRate, int channels, size_t frames);

bool WriteWav(const std::string& path, const int16_t* samples, size_t frames, int sampleRate, int channels,
              std::string* why);

class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();  // closes an open file without completing its header
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Creates (or truncates) the file and writes the header. 1 to 8 channels.
  bool Open(const std::string& path, int sampleRate, int channels, std::string* why);
  // Appends `frames` sample frames (frames x channels interleaved samples).
  bool Write(const int16_t* samples, size_t frames);
  // Completes the header with the length written and closes; false when anything failed.
  bool Close(std::string* why);

  size_t Frames() const { return frames_; }

 private:
  FILE* file_ = nullptr;
  std::string path_;
  std::vector<char> buffer_;
  int sampleRate_ = 0;
  int channels_ = 0;
  size_t frames_ = 0;     // frames written
  size_t maxFrames_ = 0;  // the most a WAV's size fields describe
  bool failed_ = false;
};

// Helpers for the audio tests: decoding whole streams with Mp3Decoder, running the external
// encoders and the reference decoder, temporary files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "audio/mp3_decoder.h"
#include "audio/mp3_feed.h"
#include "io/wav_write.h"

namespace audiotest {

struct Decoded {
  std::vector<int16_t> pcm;
  std::vector<float> floats;
  std::vector<float> spectra;  // layer III: the requantised spectrum of every granule and channel
  int rate = 0;
  int channels = 0;
  int frames = 0;        // calls that returned a decoded frame
  int emptyFrames = 0;   // of those, frames that produced no samples
  int layoutChanges = 0;
};

// Decodes `data` fed as the player feeds it (Mp3Feed; the player's pieces are 64 bytes).
inline Decoded DecodeStream(const std::vector<uint8_t>& data, int piece = Mp3Feed::kPlayerPiece) {
  Decoded d;
  auto dec = std::make_unique<Mp3Decoder>();
  std::vector<uint8_t> out(5000);
  std::vector<float> fout(2500);
  std::vector<float> spectrum(4 * 576);
  dec->SetFloatOutput(fout.data());
  dec->SetSpectrumOutput(spectrum.data());
  Mp3Feed feed(data.data(), data.size(), piece);
  while (!feed.Done()) {
    int produced = 0;
    int r = feed.Step(dec.get(), out.data(), 5000, &produced);
    if (r == Mp3Decoder::kError) break;
    if (r == Mp3Decoder::kFrameDecoded) {
      ++d.frames;
      if (produced == 0) ++d.emptyFrames;
      if (produced > 0 && d.rate == 0) {
        d.rate = dec->SampleRate();
        d.channels = dec->Channels();
      }
      const int16_t* p = reinterpret_cast<const int16_t*>(out.data());
      d.pcm.insert(d.pcm.end(), p, p + produced / 2);
      d.floats.insert(d.floats.end(), fout.data(), fout.data() + produced / 2);
      d.spectra.insert(d.spectra.end(), spectrum.data(), spectrum.data() + dec->SpectrumValues());
    }
  }
  d.layoutChanges = dec->LayoutChanges();
  return d;
}

inline bool ReadBytes(const std::string& path, std::vector<uint8_t>* out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  out->clear();
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) out->insert(out->end(), buf, buf + n);
  std::fclose(f);
  return true;
}

inline bool WriteBytes(const std::string& path, const std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

inline bool HaveProgram(const char* name) {
  std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

inline bool Run(const std::string& cmd) { return std::system(cmd.c_str()) == 0; }

// A fresh directory under the build tree for one test's files. The running test's name is part
// of it, so tests that CTest runs side by side never share (and delete) each other's files.
inline std::string TempDir(const std::string& name) {
  std::string owner = "any";
  if (const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info()) {
    owner = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : owner) {
      if (c == '/') c = '_';
    }
  }
  std::string dir = std::string(QUILLON_BINARY_DIR) + "/tests/audio-tmp/" + owner + "/" + name;
  Run("rm -rf '" + dir + "' && mkdir -p '" + dir + "'");
  return dir;
}

// A 16-bit stereo or mono WAV of the given samples.
inline std::vector<uint8_t> MakeWav(const std::vector<int16_t>& samples, int rate, int channels) {
  std::vector<uint8_t> w = WavHeader(rate, channels, samples.size() / static_cast<size_t>(channels));
  for (int16_t s : samples) {
    w.push_back(static_cast<uint8_t>(s));
    w.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
  }
  return w;
}

}  // namespace audiotest

#include "tools/songgen/wav.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "io/wav_write.h"

namespace {

void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

std::vector<uint8_t> EncodeWav(int sampleRate, int channels, const std::vector<int16_t>& samples) {
  std::vector<uint8_t> b = WavHeader(sampleRate, channels, samples.size() / static_cast<size_t>(channels));
  b.reserve(b.size() + samples.size() * 2);
  for (int16_t s : samples) Put16(b, static_cast<uint16_t>(s));
  return b;
}

bool WriteWav(const std::string& path, int sampleRate, int channels, const std::vector<int16_t>& samples,
              std::string* why) {
  if (samples.size() > 0x7ff00000u / 2) {
    *why = "too many samples for one WAV file";
    return false;
  }
  const std::string tmp = path + ".part";
  if (!::WriteWav(tmp, samples.data(), samples.size() / static_cast<size_t>(channels), sampleRate, channels,
                  why)) {
    std::remove(tmp.c_str());
    return false;
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    *why = "cannot rename " + tmp + " to " + path;
    return false;
  }
  return true;
}

bool DecodeWav(const std::vector<uint8_t>& b, WavData& out, std::string* why) {
  out = WavData();
  if (b.size() < 12 || Get32(&b[0]) != 0x46464952u || Get32(&b[8]) != 0x45564157u) {
    *why = "not a RIFF/WAVE file";
    return false;
  }
  bool haveFmt = false;
  size_t pos = 12;
  while (pos + 8 <= b.size()) {
    const uint32_t id = Get32(&b[pos]);
    const uint32_t size = Get32(&b[pos + 4]);
    pos += 8;
    if (size > b.size() - pos) {
      *why = "chunk runs past the end of the file";
      return false;
    }
    if (id == 0x20746d66u) {  // "fmt "
      if (size < 16 || Get16(&b[pos]) != 1 || Get16(&b[pos + 14]) != 16) {
        *why = "only 16-bit PCM is supported";
        return false;
      }
      out.channels = Get16(&b[pos + 2]);
      out.sampleRate = static_cast<int>(Get32(&b[pos + 4]));
      haveFmt = out.channels > 0;
    } else if (id == 0x61746164u) {  // "data"
      if (!haveFmt) {
        *why = "data chunk before the format chunk";
        return false;
      }
      out.samples.resize(size / 2);
      for (size_t i = 0; i < out.samples.size(); ++i)
        out.samples[i] = static_cast<int16_t>(Get16(&b[pos + 2 * i]));
      return true;
    }
    pos += size + (size & 1);
  }
  *why = "no data chunk";
  return false;
}

bool ReadWav(const std::string& path, WavData& out, std::string* why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *why = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return DecodeWav(bytes, out, why);
}

#include "io/wav_write.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

}  // namespace

std::vector<uint8_t> WavHeader(int sampleRate, int channels, size_t frames) {
  const uint32_t blockAlign = static_cast<uint32_t>(channels) * 2;
  uint64_t dataBytes64 = static_cast<uint64_t>(frames) * blockAlign;
  // A RIFF size field holds 32 bits; longer recordings are cut at what it can describe.
  if (dataBytes64 > 0xFFFFFFFFull - 36) dataBytes64 = (0xFFFFFFFFull - 36) / blockAlign * blockAlign;
  const uint32_t dataBytes = static_cast<uint32_t>(dataBytes64);
  std::vector<uint8_t> h;
  h.reserve(44);
  h.insert(h.end(), {'R', 'I', 'F', 'F'});
  Put32(h, 36 + dataBytes);
  h.insert(h.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(h, 16);
  Put16(h, 1);  // PCM
  Put16(h, static_cast<uint16_t>(channels));
  Put32(h, static_cast<uint32_t>(sampleRate));
  Put32(h, static_cast<uint32_t>(sampleRate) * blockAlign);
  Put16(h, static_cast<uint16_t>(blockAlign));
  Put16(h, 16);
  h.insert(h.end(), {'d', 'a', 't', 'a'});
  Put32(h, dataBytes);
  return h;
}

bool WriteWav(const std::string& path, const int16_t* samples, size_t frames, int sampleRate, int channels,
              std::string* why) {
  if (channels < 1 || channels > 8 || sampleRate <= 0) {
    if (why) *why = "unsupported WAV format";
    return false;
  }
  std::vector<uint8_t> header = WavHeader(sampleRate, channels, frames);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    if (why) *why = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  size_t dataBytes = header[40] | (header[41] << 8) | (header[42] << 16) | (static_cast<size_t>(header[43]) << 24);
  bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
  // Samples are little-endian on every machine this runs on (checked at build time below).
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "WAV writing assumes a little-endian machine");
  if (ok && dataBytes) ok = std::fwrite(samples, 1, dataBytes, f) == dataBytes;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok && why) *why = "cannot write " + path;
  return ok;
}

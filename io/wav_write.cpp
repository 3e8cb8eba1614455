#include "io/wav_write.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

void Put32(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

// Samples are little-endian on every machine this runs on.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "WAV writing assumes a little-endian machine");

constexpr size_t kBufferBytes = 1 << 18;

}  // namespace

std::vector<uint8_t> WavHeader(int sampleRate, int channels, size_t frames) {
  const uint32_t blockAlign = static_cast<uint32_t>(channels) * 2;
  uint64_t dataBytes64 = static_cast<uint64_t>(frames) * blockAlign;
  if (frames > (0xFFFFFFFFull - 36) / blockAlign || dataBytes64 > 0xFFFFFFFFull - 36)
    dataBytes64 = (0xFFFFFFFFull - 36) / blockAlign * blockAlign;
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
  WavWriter w;
  if (!w.Open(path, sampleRate, channels, why)) return false;
  w.Write(samples, frames);
  return w.Close(why);
}

WavWriter::~WavWriter() {
  if (file_) std::fclose(file_);
}

bool WavWriter::Open(const std::string& path, int sampleRate, int channels, std::string* why) {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (channels < 1 || channels > 8 || sampleRate <= 0) {
    if (why) *why = "unsupported WAV format";
    return false;
  }
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) {
    if (why) *why = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  buffer_.resize(kBufferBytes);
  std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
  path_ = path;
  sampleRate_ = sampleRate;
  channels_ = channels;
  frames_ = 0;
  maxFrames_ = (0xFFFFFFFFull - 36) / (2u * static_cast<unsigned>(channels));
  // the longest length a WAV describes, until Close knows the real one
  const std::vector<uint8_t> header = WavHeader(sampleRate, channels, maxFrames_);
  failed_ = std::fwrite(header.data(), 1, header.size(), file_) != header.size();
  return true;
}

bool WavWriter::Write(const int16_t* samples, size_t frames) {
  if (!file_ || failed_) return false;
  frames = std::min(frames, maxFrames_ - frames_);
  if (frames == 0) return true;
  const size_t count = frames * static_cast<size_t>(channels_);
  if (std::fwrite(samples, sizeof(int16_t), count, file_) != count) failed_ = true;
  frames_ += frames;
  return !failed_;
}

bool WavWriter::Close(std::string* why) {
  if (!file_) {
    if (why) *why = "no WAV file open";
    return false;
  }
  bool ok = !failed_ && std::fflush(file_) == 0;
  // Complete the header where the output can seek; a pipe keeps the one written at Open.
  if (ok && std::fseek(file_, 0, SEEK_SET) == 0) {
    const std::vector<uint8_t> header = WavHeader(sampleRate_, channels_, frames_);
    ok = std::fwrite(header.data(), 1, header.size(), file_) == header.size();
  }
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok && why) *why = "cannot write " + path_;
  return ok;
}

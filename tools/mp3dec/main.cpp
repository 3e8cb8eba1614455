// mp3dec: decodes an MPEG audio stream (layers I to III) with the player's decoder.
//   mp3dec IN.mp3 OUT.wav          16-bit RIFF WAV at the stream's rate and channel count
//   mp3dec --raw IN.mp3 OUT.pcm    bare 16-bit little-endian samples
//   mp3dec --float IN.mp3 OUT.f32  samples before quantisation / 28000, 32-bit float LE
//   mp3dec --bench IN.mp3          decode only; prints the speed as a multiple of real time
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/mp3_decoder.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: mp3dec [--raw | --float] IN.mp3 OUT\n"
               "       mp3dec --bench IN.mp3\n"
               "Decodes an MPEG audio stream to a 16-bit WAV file (default), bare 16-bit samples\n"
               "(--raw) or 32-bit float samples scaled to full scale 1.0 (--float).\n");
  return 2;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>* data) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) data->insert(data->end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

void PutLe(std::vector<uint8_t>* out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

int main(int argc, char** argv) {
  enum class Mode { kWav, kRaw, kFloat, kBench } mode = Mode::kWav;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--raw") mode = Mode::kRaw;
    else if (a == "--float") mode = Mode::kFloat;
    else if (a == "--bench") mode = Mode::kBench;
    else if (a == "-h" || a == "--help") return Usage();
    else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "mp3dec: unknown option '%s'\n", a.c_str());
      return Usage();
    } else files.push_back(a);
  }
  if (files.size() != (mode == Mode::kBench ? 1u : 2u)) return Usage();

  std::vector<uint8_t> input;
  if (!ReadFile(files[0], &input)) {
    std::fprintf(stderr, "mp3dec: cannot read '%s': %s\n", files[0].c_str(), std::strerror(errno));
    return 1;
  }

  auto dec = std::make_unique<audio::Mp3Decoder>();
  std::vector<uint8_t> pcm;
  std::vector<float> floats;
  uint8_t out[audio::Mp3Decoder::kMinOutputRoom];
  float fout[audio::Mp3Decoder::kMinOutputRoom / 2];
  if (mode == Mode::kFloat) dec->SetFloatOutput(fout);
  int frames = 0, rate = 0, channels = 0;
  long long samples = 0;
  size_t pos = 0;
  auto t0 = std::chrono::steady_clock::now();
  for (;;) {
    int n = 0;
    if (pos < input.size() && dec->Buffered() < audio::Mp3Decoder::kQueueCapacity / 2)
      n = static_cast<int>(std::min<size_t>(input.size() - pos, 4096));
    int before = dec->Buffered();
    int produced = 0;
    int r = dec->Decode(n ? input.data() + pos : nullptr, n, out, sizeof(out), &produced);
    if (r == audio::Mp3Decoder::kError) {
      std::fprintf(stderr, "mp3dec: decoder error at byte %zu\n", pos);
      return 1;
    }
    pos += n;
    if (r == audio::Mp3Decoder::kFrameDecoded) {
      if (produced > 0) {
        if (frames == 0) {
          rate = dec->SampleRate();
          channels = dec->Channels();
        }
        ++frames;
        samples += produced / 2;
        if (mode == Mode::kWav || mode == Mode::kRaw) pcm.insert(pcm.end(), out, out + produced);
        if (mode == Mode::kFloat) floats.insert(floats.end(), fout, fout + produced / 2);
      }
    } else if (n == 0 && dec->Buffered() == before) {
      break;  // no input left and no progress
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (frames == 0) {
    std::fprintf(stderr, "mp3dec: '%s' holds no decodable MPEG audio frames\n", files[0].c_str());
    return 1;
  }
  if (mode == Mode::kBench) {
    double audioSeconds = static_cast<double>(samples) / channels / rate;
    std::printf("%s: %d frames, %.1f s of audio at %d Hz, %d channel(s), decoded in %.3f s: "
                "%.1f x real time\n",
                files[0].c_str(), frames, audioSeconds, rate, channels, seconds,
                audioSeconds / seconds);
    return 0;
  }
  std::vector<uint8_t> file;
  if (mode == Mode::kWav) {
    uint32_t dataBytes = static_cast<uint32_t>(pcm.size());
    file.insert(file.end(), {'R', 'I', 'F', 'F'});
    PutLe(&file, 36 + dataBytes, 4);
    file.insert(file.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    PutLe(&file, 16, 4);
    PutLe(&file, 1, 2);
    PutLe(&file, channels, 2);
    PutLe(&file, rate, 4);
    PutLe(&file, rate * channels * 2, 4);
    PutLe(&file, channels * 2, 2);
    PutLe(&file, 16, 2);
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    PutLe(&file, dataBytes, 4);
  }
  FILE* f = std::fopen(files[1].c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "mp3dec: cannot create '%s': %s\n", files[1].c_str(), std::strerror(errno));
    return 1;
  }
  bool ok = file.empty() || std::fwrite(file.data(), 1, file.size(), f) == file.size();
  if (mode == Mode::kFloat)
    ok = ok && (floats.empty() ||
                std::fwrite(floats.data(), sizeof(float), floats.size(), f) == floats.size());
  else
    ok = ok && (pcm.empty() || std::fwrite(pcm.data(), 1, pcm.size(), f) == pcm.size());
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::fprintf(stderr, "mp3dec: cannot write '%s'\n", files[1].c_str());
    return 1;
  }
  return 0;
}

// mp3dec: decodes an MPEG audio stream (layers I to III) with the player's decoder.
//   mp3dec IN.mp3 OUT.wav          16-bit RIFF WAV at the stream's rate and channel count
//   mp3dec --raw IN.mp3 OUT.pcm    bare 16-bit little-endian samples
//   mp3dec --float IN.mp3 OUT.f32  samples before quantisation / 28000, 32-bit float LE
//   mp3dec --bench IN.mp3          decode only; prints the speed as a multiple of real time
// The output is written as the frames are decoded (a WAV's header is completed at the end), so
// it may be a pipe or /dev/null. The output format is the first frame's; where the stream's
// channel count changes later, standard error says so.
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/mp3_decoder.h"
#include "audio/mp3_feed.h"
#include "io/wav_write.h"

namespace {

enum class Mode { kWav, kRaw, kFloat, kBench };

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
  // a regular file is read in one piece into a buffer of its size; other inputs as they come
  if (std::fseek(f, 0, SEEK_END) == 0) {
    const long size = std::ftell(f);
    if (size > 0 && std::fseek(f, 0, SEEK_SET) == 0) data->reserve(static_cast<size_t>(size));
    else std::rewind(f);
  }
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0) data->insert(data->end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// Where the decoded samples go: a WAV through io's writer, or bare samples.
class Output {
 public:
  ~Output() {
    if (file_) std::fclose(file_);
  }

  bool Open(Mode mode, const std::string& path, int rate, int channels, std::string* why) {
    mode_ = mode;
    path_ = path;
    if (mode == Mode::kWav) return wav_.Open(path, rate, channels, why);
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
      *why = "cannot create '" + path + "': " + std::strerror(errno);
      return false;
    }
    buffer_.resize(1 << 18);
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
    return true;
  }

  bool Write(const int16_t* pcm, const float* floats, int samples, int channels) {
    if (mode_ == Mode::kWav) return wav_.Write(pcm, static_cast<size_t>(samples / channels));
    if (mode_ == Mode::kFloat) return std::fwrite(floats, sizeof(float), samples, file_) == static_cast<size_t>(samples);
    return std::fwrite(pcm, sizeof(int16_t), samples, file_) == static_cast<size_t>(samples);
  }

  bool Close(std::string* why) {
    if (mode_ == Mode::kWav) {
      if (wav_.Close(why)) return true;
      *why = "cannot write '" + path_ + "'";
      return false;
    }
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    if (!ok) *why = "cannot write '" + path_ + "'";
    return ok;
  }

 private:
  Mode mode_ = Mode::kRaw;
  std::string path_;
  WavWriter wav_;
  FILE* file_ = nullptr;
  std::vector<char> buffer_;
};

}  // namespace

int main(int argc, char** argv) {
  Mode mode = Mode::kWav;
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

  auto dec = std::make_unique<Mp3Decoder>();
  int16_t pcm[Mp3Decoder::kMinOutputRoom / 2];
  float floats[Mp3Decoder::kMinOutputRoom / 2];
  if (mode == Mode::kFloat) dec->SetFloatOutput(floats);
  Output out;
  std::string why;
  int frames = 0, rate = 0, channels = 0, layoutChanges = 0;
  long long samples = 0;
  Mp3Feed feed(input.data(), input.size(), 4096);
  auto t0 = std::chrono::steady_clock::now();
  while (!feed.Done()) {
    int produced = 0;
    const int r = feed.Step(dec.get(), reinterpret_cast<uint8_t*>(pcm), sizeof(pcm), &produced);
    if (r == Mp3Decoder::kError) {
      std::fprintf(stderr, "mp3dec: decoder error at byte %zu\n", feed.Given());
      return 1;
    }
    if (dec->LayoutChanges() != layoutChanges) {
      layoutChanges = dec->LayoutChanges();
      std::fprintf(stderr, "mp3dec: the frame at byte %llu has %d channel(s); the output keeps %d\n",
                   static_cast<unsigned long long>(dec->FrameOffset()), dec->FrameChannels(), dec->Channels());
    }
    if (r != Mp3Decoder::kFrameDecoded || produced <= 0) continue;
    if (frames == 0) {
      rate = dec->SampleRate();
      channels = dec->Channels();
      if (mode != Mode::kBench && !out.Open(mode, files[1], rate, channels, &why)) {
        std::fprintf(stderr, "mp3dec: %s\n", why.c_str());
        return 1;
      }
    }
    ++frames;
    samples += produced / 2;
    if (mode != Mode::kBench && !out.Write(pcm, floats, produced / 2, channels)) {
      std::fprintf(stderr, "mp3dec: cannot write '%s'\n", files[1].c_str());
      return 1;
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
  if (!out.Close(&why)) {
    std::fprintf(stderr, "mp3dec: %s\n", why.c_str());
    return 1;
  }
  return 0;
}

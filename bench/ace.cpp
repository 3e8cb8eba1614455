// Unpacking speed and packed size of the ACE archive code against zlib on the same bytes.
// Data: a few MB of generated members (text, image-like rows, scene-like records, noise),
// packed as one solid archive; zlib packs the same bytes as one stream at level 9.
//
//   build/bench/bench_ace            (prints MB/s of output for both and the ratios; unpacking
//                                     is timed in processor time, best of 7 rounds of 5)
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "archive/ace_archive.h"
#include "archive/ace_packer.h"
#include "tests/archive/test_data.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Best of several rounds in processor time of this process, so that other work on a shared
// machine does not count against either side.
template <typename F>
double Best(int rounds, F&& f) {
  double best = 1e30;
  for (int i = 0; i < rounds; ++i) {
    const std::clock_t t0 = std::clock();
    for (int k = 0; k < 5; ++k) f();
    best = std::min(best, static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC / 5);
  }
  return best;
}

}  // namespace

int main() {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> members;
  uint32_t seed = 1;
  for (int i = 0; i < 12; ++i) {
    members.push_back({"DATA\\part" + std::to_string(i) + ".scx", testdata::Scene(6000 + 500 * i, seed++)});
    members.push_back({"DATA\\tex" + std::to_string(i) + ".png", testdata::Image(160, 120 + 10 * i, seed++)});
    members.push_back({"DATA\\notes" + std::to_string(i) + ".txt", testdata::Text(60000 + 3000 * i, seed++)});
    members.push_back({"DATA\\photo" + std::to_string(i) + ".jpg", testdata::Noise(30000, seed++)});
  }
  members.push_back({"script.txt", testdata::Mixed(400000, seed++)});
  std::vector<uint8_t> all;
  for (const auto& m : members) all.insert(all.end(), m.second.begin(), m.second.end());
  const double mb = static_cast<double>(all.size()) / 1e6;

  AcePacker packer(true);
  const auto p0 = Clock::now();
  for (const auto& m : members) packer.AddMember(m.first, m.second.data(), m.second.size());
  const double packSeconds = Seconds(p0, Clock::now());
  const std::vector<uint8_t>& archive = packer.Bytes();

  uLongf zsize = compressBound(static_cast<uLong>(all.size()));
  std::vector<uint8_t> z(zsize);
  const auto z0 = Clock::now();
  compress2(z.data(), &zsize, all.data(), static_cast<uLong>(all.size()), 9);
  const double deflateSeconds = Seconds(z0, Clock::now());

  bool ok = true;
  const double aceSeconds = Best(7, [&] {
    AceArchive a;
    ok &= a.Open(archive.data(), archive.size()) == static_cast<int32_t>(members.size());
    for (int32_t i = 0; i < a.MemberCount(); ++i) ok &= a.Member(i).crcOk;
  });
  std::vector<uint8_t> back(all.size());
  const double inflateSeconds = Best(7, [&] {
    uLongf n = static_cast<uLongf>(back.size());
    ok &= uncompress(back.data(), &n, z.data(), zsize) == Z_OK && n == all.size();
  });
  ok &= back == all;

  std::printf("data: %zu bytes in %zu members (scene records, image rows, text, noise)\n", all.size(), members.size());
  std::printf("unpack   ace %8.1f MB/s   zlib inflate %8.1f MB/s   ratio ace/zlib %.2f\n", mb / aceSeconds,
              mb / inflateSeconds, inflateSeconds / aceSeconds);
  std::printf("size     ace %8zu bytes  zlib level 9 %8lu bytes  ratio ace/zlib %.3f\n", archive.size(),
              static_cast<unsigned long>(zsize), static_cast<double>(archive.size()) / static_cast<double>(zsize));
  std::printf("pack     ace %8.1f MB/s   zlib level 9 %8.1f MB/s\n", mb / packSeconds, mb / deflateSeconds);
  if (!ok) {
    std::printf("ERROR: a round trip did not reproduce the data\n");
    return 1;
  }
  return 0;
}

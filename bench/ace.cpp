// Unpacking speed and packed size of the ACE archive code against zlib on the same bytes, in
// process and as whole processes.
// Data: about 4 MB of generated members (text, image-like rows, scene-like records, noise),
// packed as one solid archive; zlib packs the same bytes as one stream at level 9.
//
//   build/bench/bench_ace [--rounds N] [--keep DIR] [--acetool PATH]
//
// In process: MB/s of output for both and their ratio; unpacking is timed in processor time,
// best of 7 rounds of 5.
// Whole processes: the members are written as files, packed into a solid .ace and, with tar
// and gzip, into a .tar.gz (gzip's default level); then `acetool t show.ace` and
// `gzip -dc show.tar.gz > /dev/null` run N times each (default 21), alternating, under bash's
// `time`, and the processor time (user + system) of each is compared: median and best,
// printed as the ratio acetool/gzip (below 1: acetool needs less). --keep leaves the files in
// DIR; --acetool times another build of the tool (build/acetool by default). Needs bash, tar
// and gzip.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/ace_archive.h"
#include "archive/ace_packer.h"
#include "tests/archive/test_data.h"

namespace {

namespace fs = std::filesystem;
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

// Single-quotes a word for the shell.
std::string Quote(const std::string& word) {
  std::string q = "'";
  for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs the two commands `rounds` times each, alternating, under bash's `time`, and collects
// the processor time (user + system) and the elapsed time of every run. False when bash
// cannot be run or a timing is missing.
bool TimeAlternating(const std::string& first, const std::string& second, int rounds, std::vector<double>* firstCpu,
                     std::vector<double>* secondCpu, std::vector<double>* firstWall, std::vector<double>* secondWall) {
  const std::string script = "TIMEFORMAT='%3U %3S %3R'; for i in $(seq " + std::to_string(rounds) + "); do { time " +
                             first + " >/dev/null 2>&1; } 2>&1; { time " + second + " >/dev/null 2>&1; } 2>&1; done";
  FILE* p = popen(("bash -c " + Quote(script)).c_str(), "r");
  if (!p) return false;
  double user = 0, system = 0, real = 0;
  int index = 0;
  while (std::fscanf(p, "%lf %lf %lf", &user, &system, &real) == 3) {
    (index % 2 == 0 ? firstCpu : secondCpu)->push_back(user + system);
    (index % 2 == 0 ? firstWall : secondWall)->push_back(real);
    ++index;
  }
  return pclose(p) == 0 && index == 2 * rounds;
}

bool WriteFile(const fs::path& path, const uint8_t* data, size_t n) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, n, f) == n;
  return std::fclose(f) == 0 && ok;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The whole-process comparison; false when a command failed.
bool CompareProcesses(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members,
                      const std::vector<uint8_t>& archive, int rounds, const fs::path& dir, const std::string& acetool) {
  if (!fs::exists(acetool)) {
    std::printf("process  skipped: %s is not built\n", acetool.c_str());
    return true;
  }
  const fs::path tree = dir / "tree";
  for (const auto& m : members) {
    std::string rel = m.first;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    if (!WriteFile(tree / rel, m.second.data(), m.second.size())) {
      std::printf("process  cannot write %s\n", (tree / rel).c_str());
      return false;
    }
  }
  const fs::path ace = dir / "show.ace";
  const fs::path tgz = dir / "show.tar.gz";
  if (!WriteFile(ace, archive.data(), archive.size())) return false;
  if (std::system(("tar -C " + Quote(tree.string()) + " -czf " + Quote(tgz.string()) + " .").c_str()) != 0) {
    std::printf("process  skipped: tar -czf failed (are tar and gzip installed?)\n");
    return true;
  }
  const std::string aceCommand = Quote(acetool) + " t " + Quote(ace.string());
  const std::string gzipCommand = "gzip -dc " + Quote(tgz.string());
  // One unmeasured run each, so both start with their programs and data in the page cache.
  if (std::system((aceCommand + " >/dev/null").c_str()) != 0 || std::system((gzipCommand + " >/dev/null").c_str()) != 0) {
    std::printf("process  ERROR: acetool t or gzip -dc failed\n");
    return false;
  }
  std::vector<double> aceCpu, gzipCpu, aceWall, gzipWall;
  if (!TimeAlternating(aceCommand, gzipCommand, rounds, &aceCpu, &gzipCpu, &aceWall, &gzipWall)) {
    std::printf("process  ERROR: timing with bash failed\n");
    return false;
  }
  std::printf("process  files: show.ace %zu bytes, show.tar.gz %ju bytes; %d runs each, alternating\n", archive.size(),
              static_cast<uintmax_t>(fs::file_size(tgz)), rounds);
  std::printf("process  cpu median: acetool t %6.1f ms   gzip -dc %6.1f ms   ratio acetool/gzip %.2f\n",
              Median(aceCpu) * 1e3, Median(gzipCpu) * 1e3, Median(aceCpu) / Median(gzipCpu));
  std::printf("process  cpu best:   acetool t %6.1f ms   gzip -dc %6.1f ms   ratio acetool/gzip %.2f\n",
              *std::min_element(aceCpu.begin(), aceCpu.end()) * 1e3,
              *std::min_element(gzipCpu.begin(), gzipCpu.end()) * 1e3,
              *std::min_element(aceCpu.begin(), aceCpu.end()) / *std::min_element(gzipCpu.begin(), gzipCpu.end()));
  std::printf("process  wall median: acetool t %6.1f ms  gzip -dc %6.1f ms   ratio acetool/gzip %.2f\n",
              Median(aceWall) * 1e3, Median(gzipWall) * 1e3, Median(aceWall) / Median(gzipWall));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 21;
  std::string keep;
  std::string acetool = std::string(QUILLON_BINARY_DIR) + "/acetool";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else if (arg == "--acetool" && i + 1 < argc) {
      acetool = argv[++i];
    } else {
      std::fprintf(stderr, "usage: bench_ace [--rounds N] [--keep DIR] [--acetool PATH]\n");
      return 2;
    }
  }

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
  std::fflush(stdout);

  fs::path dir = keep;
  std::error_code ec;
  if (keep.empty()) {
    // A fresh directory of its own under the temporary directory.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && dir.empty(); ++attempt) {
      const fs::path candidate = fs::temp_directory_path(ec) / ("quillon_bench_ace_" + std::to_string(random()));
      if (!ec && fs::create_directory(candidate, ec) && !ec) dir = candidate;
    }
    if (dir.empty()) std::printf("process  skipped: no temporary directory\n");
  } else {
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
  }
  if (!dir.empty()) {
    ok &= CompareProcesses(members, archive, rounds, dir, acetool);
    if (keep.empty()) fs::remove_all(dir, ec);
  }
  if (!ok) {
    std::printf("ERROR: a round trip or a command failed\n");
    return 1;
  }
  return 0;
}

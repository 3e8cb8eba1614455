// contactsheet: one frame from the middle of every part of the show, tiled into one PNG, with
// each frame's mean brightness and contrast; parts that are black or flat where no fade is
// meant to be are flagged.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "tools/contactsheet/contact_sheet.h"

namespace {

int Usage(int code) {
  std::fprintf(code ? stderr : stdout,
               "Usage: contactsheet [--data-dir DIR] [--no-archive] [--size WxH] [--per-part N] [--strict] OUT.png\n"
               "Renders the middle frame of every part of the show into one PNG and prints, per part,\n"
               "the frame's mean brightness and contrast. --per-part N (1 to 8) takes N frames spread\n"
               "over every part instead. --strict exits 1 when a frame is flagged.\n");
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  std::string out;
  bool strict = false;
  int perPart = 1;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") return Usage(0);
    if (a == "--strict") {
      strict = true;
    } else if (a == "--per-part") {
      if (i + 1 >= argc) return Usage(2);
      char* end = nullptr;
      long n = std::strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0' || n < 1 || n > 8) {
        std::fprintf(stderr, "contactsheet: --per-part takes a number from 1 to 8, not '%s'\n", argv[i]);
        return 2;
      }
      perPart = static_cast<int>(n);
    } else if (a == "--data-dir" || a == "--size") {
      if (i + 1 >= argc) return Usage(2);
      args.push_back(a);
      args.push_back(argv[++i]);
    } else if (a == "--no-archive" || a == "--verbose") {
      args.push_back(a);
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "contactsheet: unknown option '%s'\n", a.c_str());
      return Usage(2);
    } else if (out.empty()) {
      out = a;
    } else {
      return Usage(2);
    }
  }
  if (out.empty()) return Usage(2);
  args.push_back("--headless");
  DemoOptions options;
  std::string error;
  if (!ParseCommandLine(args, &options, &error)) {
    std::fprintf(stderr, "contactsheet: %s\n", error.c_str());
    return 2;
  }
  options.noSound = true;
  std::vector<PartFrameStats> stats;
  int status = MakeContactSheet(options, out, &stats, perPart);
  if (status != 0) return status;
  int flagged = 0;
  std::printf("part   time s   mean  contrast  note\n");
  for (const PartFrameStats& s : stats) {
    const char* note = "";
    if ((s.black || s.flat) && s.fadeIntended) {
      note = "dark (intended fade)";
    } else if (s.black) {
      note = "BLACK";
    } else if (s.flat) {
      note = "FLAT";
    }
    if ((s.black || s.flat) && !s.fadeIntended) ++flagged;
    std::printf("%4d  %7.2f  %5.1f  %8.1f  %s\n", s.part, s.seconds, s.mean, s.contrast, note);
  }
  std::printf("%zu frames of %zu parts on %s; %d flagged as black or flat\n", stats.size(),
              stats.size() / static_cast<size_t>(perPart), out.c_str(), flagged);
  return (strict && flagged) ? 1 : 0;
}

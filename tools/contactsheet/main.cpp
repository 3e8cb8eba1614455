// contactsheet: one frame from the middle of every part of the show, tiled into one PNG, with
// each frame's mean brightness and contrast; parts that are black or flat where no fade is
// meant to be are flagged.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "tools/contactsheet/contact_sheet.h"

namespace {

int Usage(int code) {
  std::fprintf(code ? stderr : stdout,
               "Usage: contactsheet [--data-dir DIR] [--no-archive] [--size WxH] [--strict] OUT.png\n"
               "Renders the middle frame of every part of the show into one PNG and prints, per part,\n"
               "the frame's mean brightness and contrast. --strict exits 1 when a part is flagged.\n");
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  std::string out;
  bool strict = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") return Usage(0);
    if (a == "--strict") {
      strict = true;
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
  int status = MakeContactSheet(options, out, &stats);
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
  std::printf("%zu parts on %s; %d flagged as black or flat\n", stats.size(), out.c_str(), flagged);
  return (strict && flagged) ? 1 : 0;
}

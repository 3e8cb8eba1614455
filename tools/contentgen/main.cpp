// contentgen: builds the show's content from source. Writes the data files, script.txt, the
// launcher picture and the icon under OUT_DIR, and prints what the show uses.
//
//   contentgen OUT_DIR [--archive FILE] [--font FILE] [--quiet]
//
// With --archive the show's files are also packed into one solid ACE archive.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/contentgen/content.h"

#ifndef CONTENTGEN_DEFAULT_FONT
#define CONTENTGEN_DEFAULT_FONT "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
#endif

int main(int argc, char** argv) {
  std::string out, archive, font = CONTENTGEN_DEFAULT_FONT;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--archive") == 0 && i + 1 < argc) {
      archive = argv[++i];
    } else if (std::strcmp(argv[i], "--font") == 0 && i + 1 < argc) {
      font = argv[++i];
    } else if (std::strcmp(argv[i], "--quiet") == 0) {
      quiet = true;
    } else if (argv[i][0] == '-' || !out.empty()) {
      std::fprintf(stderr, "usage: contentgen OUT_DIR [--archive FILE] [--font FILE] [--quiet]\n");
      return 2;
    } else {
      out = argv[i];
    }
  }
  if (out.empty()) {
    std::fprintf(stderr, "usage: contentgen OUT_DIR [--archive FILE] [--font FILE] [--quiet]\n");
    return 2;
  }
  Content content;
  std::string why;
  if (!BuildContent(font, &content, &why) || !WriteContent(content, out, &why)) {
    std::fprintf(stderr, "contentgen: %s\n", why.c_str());
    return 1;
  }
  if (!archive.empty()) {
    std::vector<uint8_t> bytes;
    if (!PackContent(content, &bytes, &why) || !WriteBytes(archive, bytes, &why)) {
      std::fprintf(stderr, "contentgen: %s\n", why.c_str());
      return 1;
    }
    if (!quiet) std::printf("archive: %s, %zu bytes\n", archive.c_str(), bytes.size());
  }
  if (!quiet) std::fputs(CoverageReport(content).c_str(), stdout);
  return 0;
}

#include "app/export_show.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "archive/ace_archive.h"
#include "archive/member_path.h"
#include "platform/process.h"

namespace {

bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "quillon: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::fprintf(stderr, "quillon: cannot write %s\n", path.c_str());
  return ok;
}

std::string Parent(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int ExportShow(ByteBlock archiveBytes, ByteBlock soundtrack, const std::string& dir) {
  std::string why;
  if (!archiveBytes.data) {
    std::fprintf(stderr, "quillon: this build carries no show to export\n");
    return 1;
  }
  if (!MakeDirectories(dir, &why)) {
    std::fprintf(stderr, "quillon: %s\n", why.c_str());
    return 1;
  }
  if (!WriteFile(dir + "/show.ace", archiveBytes.data, archiveBytes.size)) return 1;
  if (soundtrack.data && !WriteFile(dir + "/soundtrack.mp3", soundtrack.data, soundtrack.size)) return 1;

  AceArchive archive;
  archive.Open(archiveBytes.data, archiveBytes.size);
  int failures = 0;
  if (archive.Status() != AceStatus::kOk) {
    std::fprintf(stderr, "quillon: the embedded archive is damaged: %s\n", AceStatusText(archive.Status()));
    ++failures;
  }
  int written = 0;
  for (int32_t i = 0; i < archive.MemberCount(); ++i) {
    const ArchiveMember& m = archive.Member(i);
    std::string rel;
    if (!m.name || !SafeMemberPath(m.name, &rel, &why)) {
      std::fprintf(stderr, "quillon: member %d not written: %s\n", i, why.c_str());
      ++failures;
      continue;
    }
    if (!m.crcOk) {
      std::fprintf(stderr, "quillon: %s: CRC mismatch\n", m.name);
      ++failures;
    }
    // The show asks for its files in lower case ("data\\sky.jpg") and a disk is case-sensitive,
    // so members are written under lower-case names: the exported show plays as loose files.
    for (char& c : rel) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string path = dir + "/" + rel;
    if (!MakeDirectories(Parent(path), &why)) {
      std::fprintf(stderr, "quillon: %s\n", why.c_str());
      return 1;
    }
    if (!WriteFile(path, m.data, static_cast<size_t>(m.size))) return 1;
    ++written;
  }
  std::fprintf(stderr, "quillon: exported show.ace, %s%d files to %s\n", soundtrack.data ? "soundtrack.mp3 and " : "",
               written, dir.c_str());
  return failures ? 1 : 0;
}

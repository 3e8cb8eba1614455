// acetool: lists, tests, extracts and creates ACE archives.
//
//   acetool l ARCHIVE                         list members (size, packed size, method, CRC)
//   acetool t ARCHIVE                         unpack everything and check every CRC
//   acetool x ARCHIVE [DIR]                   extract under DIR (default: current directory)
//   acetool a ARCHIVE FILE... [--solid] [--prefix P]
//                                             pack files (directories recursively); names are
//                                             the paths as given with "\" separators, after P;
//                                             names and P that could leave the directory they
//                                             are extracted to ("..", absolute, a drive) are
//                                             refused, as x refuses them
//
// Exit status: 0 on success, 1 when the archive is unreadable or damaged, a member could not
// be extracted or a name or prefix is refused, 2 on a usage error.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "archive/ace_archive.h"
#include "archive/ace_packer.h"
#include "archive/member_path.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kDirectoryAttribute = 0x10;

int Usage() {
  std::fprintf(stderr,
               "usage: acetool l ARCHIVE\n"
               "       acetool t ARCHIVE\n"
               "       acetool x ARCHIVE [DIR]\n"
               "       acetool a ARCHIVE FILE... [--solid] [--prefix P]\n");
  return 2;
}

bool ReadWhole(const std::string& path, std::vector<uint8_t>* bytes, std::string* why) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    *why = "is a directory";
    return false;
  }
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *why = std::strerror(errno);
    return false;
  }
  // One read of the size the file has now, then pieces for whatever it may hold beyond that
  // (or all of it, where the size is not known).
  bytes->clear();
  const uintmax_t expected = fs::file_size(path, ec);
  if (!ec && expected > 0 && expected < (uintmax_t{1} << 40)) {
    bytes->resize(static_cast<size_t>(expected));
    bytes->resize(std::fread(bytes->data(), 1, bytes->size(), f));
  }
  uint8_t buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) bytes->insert(bytes->end(), buffer, buffer + n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) {
    *why = "read error";
    return false;
  }
  return true;
}

struct CloseFile {
  void operator()(FILE* f) const { std::fclose(f); }
};

// Opens the archive; prints why not and returns false when it has no members to offer. The
// file is read a window at a time; without keepData every member is still unpacked and
// checked, but only the table is kept.
bool OpenArchive(const std::string& path, AceArchive* archive, bool keepData) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) {
    std::fprintf(stderr, "acetool: cannot read '%s': is a directory\n", path.c_str());
    return false;
  }
  const std::unique_ptr<FILE, CloseFile> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    std::fprintf(stderr, "acetool: cannot read '%s': %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  archive->SetKeepData(keepData);
  archive->OpenFile(file.get());
  const AceStatus status = archive->Status();
  if (status == AceStatus::kNoMainHeader && fs::file_size(path, ec) == 0 && !ec) {
    std::fprintf(stderr, "acetool: '%s' is empty, not an ACE archive\n", path.c_str());
    return false;
  }
  if (status == AceStatus::kNoMainHeader || status == AceStatus::kOutOfMemory ||
      (status == AceStatus::kFileUnreadable && archive->MemberCount() == 0)) {
    std::fprintf(stderr, "acetool: '%s': %s\n", path.c_str(), AceStatusText(status));
    return false;
  }
  return true;
}

// Says why the walk stopped early, if it did; returns whether it did.
bool ReportWalkEnd(const std::string& path, const AceArchive& archive) {
  if (archive.Status() == AceStatus::kOk) return false;
  std::fprintf(stderr, "acetool: '%s': %s at offset %zu; members after it are not read\n", path.c_str(),
               AceStatusText(archive.Status()), archive.StatusOffset());
  return true;
}

const char* MemberProblem(const ArchiveMember& m) {
  if (!m.complete) return "data incomplete";
  if (!m.crcOk) return "CRC mismatch";
  return nullptr;
}

int List(const std::string& path) {
  AceArchive archive;
  if (!OpenArchive(path, &archive, false)) return 1;
  std::printf("%s archive, %d members\n", archive.Solid() ? "solid" : "non-solid", archive.MemberCount());
  std::printf("%10s %10s %6s %-4s  %s\n", "size", "packed", "method", "crc", "name");
  uint64_t size = 0;
  uint64_t packed = 0;
  bool bad = false;
  for (int32_t i = 0; i < archive.MemberCount(); ++i) {
    const ArchiveMember& m = archive.Member(i);
    const char* problem = MemberProblem(m);
    bad |= problem != nullptr;
    std::printf("%10d %10u %6u %-4s  %s%s\n", m.size, m.packedSize, m.method, problem ? "bad" : "ok", m.name,
                (m.attributes & kDirectoryAttribute) ? "\\" : "");
    size += static_cast<uint64_t>(m.size);
    packed += m.packedSize;
  }
  std::printf("%10llu %10llu total\n", static_cast<unsigned long long>(size), static_cast<unsigned long long>(packed));
  bad |= ReportWalkEnd(path, archive);
  return bad ? 1 : 0;
}

int Test(const std::string& path) {
  AceArchive archive;
  if (!OpenArchive(path, &archive, false)) return 1;
  int failed = 0;
  for (int32_t i = 0; i < archive.MemberCount(); ++i) {
    const ArchiveMember& m = archive.Member(i);
    const char* problem = MemberProblem(m);
    if (problem) {
      ++failed;
      std::printf("FAILED  %s (%s)\n", m.name, problem);
    } else {
      std::printf("ok      %s\n", m.name);
    }
  }
  const bool early = ReportWalkEnd(path, archive);
  if (failed || early) {
    std::printf("%d of %d members failed%s\n", failed, archive.MemberCount(), early ? "; the archive is damaged" : "");
    return 1;
  }
  std::printf("all %d members ok\n", archive.MemberCount());
  return 0;
}

// Creates the directories of relative under root, refusing to pass through anything that is
// not a plain directory (a link could lead outside root).
bool MakeParents(const fs::path& root, const fs::path& relative, std::string* why) {
  fs::path at = root;
  for (auto it = relative.begin(); it != relative.end(); ++it) {
    if (std::next(it) == relative.end()) break;
    at /= *it;
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(at, ec);
    if (fs::is_symlink(st)) {
      *why = "'" + at.string() + "' is a symbolic link";
      return false;
    }
    if (fs::exists(st)) {
      if (!fs::is_directory(st)) {
        *why = "'" + at.string() + "' is not a directory";
        return false;
      }
      continue;
    }
    if (!fs::create_directory(at, ec) && ec) {
      *why = "cannot create '" + at.string() + "': " + ec.message();
      return false;
    }
  }
  return true;
}

bool ExtractMember(const fs::path& root, const ArchiveMember& m, std::string* why) {
  std::string relative;
  if (!SafeMemberPath(m.name, &relative, why)) return false;
  const fs::path rel(relative);
  if (!MakeParents(root, rel, why)) return false;
  const fs::path target = root / rel;
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(target, ec);
  if (fs::is_symlink(st)) {
    *why = "'" + target.string() + "' is a symbolic link";
    return false;
  }
  if (m.attributes & kDirectoryAttribute) {
    if (fs::is_directory(st)) return true;
    if (!fs::create_directory(target, ec) && ec) {
      *why = "cannot create '" + target.string() + "': " + ec.message();
      return false;
    }
    return true;
  }
  if (fs::is_directory(st)) {
    *why = "'" + target.string() + "' is a directory";
    return false;
  }
  FILE* f = std::fopen(target.string().c_str(), "wb");
  if (!f) {
    *why = "cannot create '" + target.string() + "': " + std::strerror(errno);
    return false;
  }
  const bool ok = std::fwrite(m.data, 1, static_cast<size_t>(m.size), f) == static_cast<size_t>(m.size);
  if (std::fclose(f) != 0 || !ok) {
    *why = "cannot write '" + target.string() + "'";
    return false;
  }
  return true;
}

int Extract(const std::string& path, const std::string& dir) {
  AceArchive archive;
  if (!OpenArchive(path, &archive, true)) return 1;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) {
    std::fprintf(stderr, "acetool: cannot use '%s' as the target directory\n", dir.c_str());
    return 1;
  }
  int failed = 0;
  for (int32_t i = 0; i < archive.MemberCount(); ++i) {
    const ArchiveMember& m = archive.Member(i);
    std::string why;
    if (!ExtractMember(dir, m, &why)) {
      ++failed;
      std::fprintf(stderr, "acetool: not extracting '%s': %s\n", m.name, why.c_str());
      continue;
    }
    if (const char* problem = MemberProblem(m)) {
      ++failed;
      std::fprintf(stderr, "acetool: '%s' extracted but damaged: %s\n", m.name, problem);
      continue;
    }
    std::printf("%s\n", m.name);
  }
  const bool early = ReportWalkEnd(path, archive);
  return failed || early ? 1 : 0;
}

uint32_t DosTime(const fs::path& file) {
  std::error_code ec;
  const auto written = fs::last_write_time(file, ec);
  if (ec) return 0;
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(written));
  std::tm parts{};
  if (!localtime_r(&t, &parts) || parts.tm_year < 80) return 0;
  return (static_cast<uint32_t>(parts.tm_year - 80) << 25) | (static_cast<uint32_t>(parts.tm_mon + 1) << 21) |
         (static_cast<uint32_t>(parts.tm_mday) << 16) | (static_cast<uint32_t>(parts.tm_hour) << 11) |
         (static_cast<uint32_t>(parts.tm_min) << 5) | static_cast<uint32_t>(parts.tm_sec / 2);
}

// The stored name of a file given on the command line: its path as given with "\"
// separators, without leading "/" or "./", after the prefix.
bool StoredName(const std::string& prefix, const std::string& given, std::string* name, std::string* why) {
  const size_t start = given.find_first_not_of('/');
  std::string clean;
  if (start == std::string::npos || !SafeMemberPath(given.c_str() + start, &clean, why)) {
    if (start == std::string::npos) *why = "no file name";
    return false;
  }
  std::replace(clean.begin(), clean.end(), '/', '\\');
  *name = prefix + clean;
  return true;
}

// The prefix starts every stored name, so it must be as safe to extract as a name: no ".."
// component, not absolute, no drive. It is kept with "\" separators and a trailing "\"
// ("DATA/sub" gives "DATA\sub\"; "./" gives no prefix).
bool NormalPrefix(const std::string& given, std::string* prefix, std::string* why) {
  prefix->clear();
  if (given.empty()) return true;
  std::string path;
  if (!SafeMemberPath((given + "\\x").c_str(), &path, why)) return false;
  path.pop_back();  // the "x" that stood for a file name
  std::replace(path.begin(), path.end(), '/', '\\');
  *prefix = path;
  return true;
}

int Add(const std::string& path, const std::vector<std::string>& inputs, bool solid, const std::string& givenPrefix) {
  std::string prefix;
  std::string why;
  if (!NormalPrefix(givenPrefix, &prefix, &why)) {
    std::fprintf(stderr, "acetool: refusing prefix '%s': %s\n", givenPrefix.c_str(), why.c_str());
    return 1;
  }
  std::vector<std::string> files;
  for (const std::string& input : inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) {
      std::vector<std::string> found;
      for (fs::recursive_directory_iterator it(input, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file()) found.push_back(it->path().generic_string());
      if (ec) {
        std::fprintf(stderr, "acetool: cannot read directory '%s': %s\n", input.c_str(), ec.message().c_str());
        return 1;
      }
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else {
      files.push_back(input);
    }
  }
  AcePacker packer(solid);
  for (const std::string& file : files) {
    std::string name;
    if (!StoredName(prefix, file, &name, &why)) {
      std::fprintf(stderr, "acetool: cannot store '%s': %s\n", file.c_str(), why.c_str());
      return 1;
    }
    std::vector<uint8_t> data;
    if (!ReadWhole(file, &data, &why)) {
      std::fprintf(stderr, "acetool: cannot read '%s': %s\n", file.c_str(), why.c_str());
      return 1;
    }
    if (!packer.AddMember(name, data.data(), data.size(), DosTime(file))) {
      std::fprintf(stderr, "acetool: cannot store '%s': %s\n", file.c_str(), packer.Error().c_str());
      return 1;
    }
    std::printf("%10zu -> %10u %s %s\n", data.size(), packer.LastAdded().packedSize,
                packer.LastAdded().method ? "packed" : "stored", name.c_str());
  }
  const std::string temporary = path + ".tmp";
  FILE* f = std::fopen(temporary.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "acetool: cannot create '%s': %s\n", temporary.c_str(), std::strerror(errno));
    return 1;
  }
  const std::vector<uint8_t>& out = packer.Bytes();
  const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  if (std::fclose(f) != 0 || !ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::fprintf(stderr, "acetool: cannot write '%s'\n", path.c_str());
    std::remove(temporary.c_str());
    return 1;
  }
  std::printf("%zu members, %zu bytes%s\n", files.size(), out.size(), solid ? ", solid" : "");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1];
  const std::string archive = argv[2];
  if (command == "l" && argc == 3) return List(archive);
  if (command == "t" && argc == 3) return Test(archive);
  if (command == "x" && argc <= 4) return Extract(archive, argc == 4 ? argv[3] : ".");
  if (command == "a") {
    bool solid = false;
    std::string prefix;
    std::vector<std::string> inputs;
    for (int i = 3; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--solid") {
        solid = true;
      } else if (arg == "--prefix") {
        if (++i == argc) return Usage();
        prefix = argv[i];
      } else {
        inputs.push_back(arg);
      }
    }
    if (inputs.empty()) return Usage();
    return Add(archive, inputs, solid, prefix);
  }
  return Usage();
}

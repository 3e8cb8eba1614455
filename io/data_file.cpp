#include "io/data_file.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "archive/member_lookup.h"
#include "platform/log.h"

DataSource& CurrentDataSource() {
  static DataSource source;
  return source;
}

DataSourceScope::DataSourceScope(DataSource source) : saved_(std::move(CurrentDataSource())) {
  CurrentDataSource() = std::move(source);
}

DataSourceScope::~DataSourceScope() { CurrentDataSource() = std::move(saved_); }

std::string DiskPathFor(const std::string& dataDir, const char* name) {
  std::string path;
  if (!dataDir.empty() && name[0] != '/') {
    path = dataDir;
    if (path.back() != '/') path += '/';
  }
  for (const char* p = name; *p; ++p) path += (*p == '\\') ? '/' : *p;
  return path;
}

bool NameStaysInside(const char* name) {
  if (name[0] == '/' || name[0] == '\\') return false;
  // A drive letter ("C:x") and, inside a name, an NTFS stream: Windows reads both as places of
  // their own. No show needs a colon, so it is refused on every system alike.
  if (std::strchr(name, ':')) return false;
  int depth = 0;
  for (const char* p = name; *p;) {
    const char* start = p;
    while (*p && *p != '/' && *p != '\\') ++p;
    const size_t length = static_cast<size_t>(p - start);
    // Windows drops trailing dots and blanks from a folder name, so ".. " and "..." climb there
    // as ".." does: any name of dots and blanks with two dots or more counts as a climb.
    size_t dots = 0;
    bool onlyDotsAndBlanks = length > 0;
    for (size_t i = 0; i < length; ++i) {
      if (start[i] == '.') {
        ++dots;
      } else if (start[i] != ' ') {
        onlyDotsAndBlanks = false;
      }
    }
    if (onlyDotsAndBlanks && dots >= 2) {
      if (--depth < 0) return false;
    } else if (length > 0 && !(onlyDotsAndBlanks && dots == 1)) {
      ++depth;
    }
    if (*p) ++p;
  }
  return true;
}

const char* OpenProblemText(OpenProblem problem) {
  switch (problem) {
    case OpenProblem::kNone:
      return "opened";
    case OpenProblem::kNotFound:
      return "not found";
    case OpenProblem::kEmpty:
      return "empty (0 bytes)";
    case OpenProblem::kDirectory:
      return "is a directory, not a file";
    case OpenProblem::kOutsideDataDir:
      return "name leaves the data directory (refused)";
    case OpenProblem::kNoDataDir:
      return "the data directory does not exist";
    case OpenProblem::kUnreadable:
      return "cannot be read";
  }
  return "cannot be opened";
}

DataFile::~DataFile() { Close(); }

DataFile* DataFile::Open(const char* name, const char* mode) {
  Close();
  Log("trying to open '%s'", name);
  error_ = 0;
  cursor_ = 0;
  buffer_ = nullptr;
  size_ = 0;
  fromArchive_ = 0;
  problem_ = OpenProblem::kNone;

  const DataSource& source = CurrentDataSource();
  const uint8_t* member = source.archive ? source.archive->GetMemberData(name) : nullptr;
  if (member) {
    int32_t size = source.archive->GetMemberSize(name);
    buffer_ = member;
    size_ = size < 0 ? 0 : size;
    fromArchive_ = 1;
    Log(" - loading from archive");
    return this;
  }

  // Loose files come from inside the data directory only.
  if (!NameStaysInside(name)) return Fail(OpenProblem::kOutsideDataDir);
  std::string path = DiskPathFor(source.dataDir, name);
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) {
    const bool noDataDir = !source.dataDir.empty() && !std::filesystem::is_directory(source.dataDir, ec);
    return Fail(noDataDir ? OpenProblem::kNoDataDir : OpenProblem::kNotFound);
  }
  // A folder opens as a stream on some systems and reads as garbage: it is not a file.
  if (std::filesystem::is_directory(status)) return Fail(OpenProblem::kDirectory);
  FILE* f = std::fopen(path.c_str(), mode);
  if (!f) return Fail(OpenProblem::kUnreadable);
  Log(" - loading from disk");
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  if (size == 0) {
    std::fclose(f);
    return Fail(OpenProblem::kEmpty);
  }
  // A file the 32-bit size cannot describe is refused like an unreadable one.
  if (size > 0 && size <= 0x7fffffffL) {
    owned_ = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
    if (owned_) {
      size_t got = std::fread(owned_, 1, static_cast<size_t>(size), f);
      // A short read leaves a buffer whose tail is zero rather than undefined.
      if (got < static_cast<size_t>(size)) std::memset(owned_ + got, 0, static_cast<size_t>(size) - got);
      std::fclose(f);
      buffer_ = owned_;
      size_ = static_cast<int32_t>(size);
      return this;
    }
  }
  std::fclose(f);
  return Fail(OpenProblem::kUnreadable);
}

DataFile* DataFile::Fail(OpenProblem problem) {
  Log(" - %s", OpenProblemText(problem));
  problem_ = problem;
  error_ = 1;
  return this;
}

DataFile* DataFile::OpenMemory(const uint8_t* data, int32_t size) {
  Close();
  error_ = (data == nullptr || size <= 0) ? 1 : 0;
  problem_ = error_ ? (data ? OpenProblem::kEmpty : OpenProblem::kNotFound) : OpenProblem::kNone;
  buffer_ = error_ ? nullptr : data;
  size_ = error_ ? 0 : size;
  cursor_ = 0;
  fromArchive_ = 1;
  return this;
}

uint32_t DataFile::Read(void* destination, uint32_t n) {
  uint32_t size = static_cast<uint32_t>(size_ < 0 ? 0 : size_);
  if (!buffer_ || cursor_ >= size) return 0;
  if (n > size - cursor_) n = size - cursor_;
  std::memcpy(destination, buffer_ + cursor_, n);
  cursor_ += n;
  return n;
}

void DataFile::ReadString(char* destination, size_t capacity) {
  if (capacity == 0) return;
  size_t i = 0;
  for (;;) {
    char c;
    if (ReadByte(&c) == 0) break;
    if (c == 0) break;
    if (i + 1 < capacity) destination[i++] = c;
  }
  destination[i] = 0;
}

int DataFile::ReadLine(std::string* line, bool lfEnds) {
  char text[128];
  int n = 0;
  char c;
  const char end = lfEnds ? '\n' : '\r';
  bool ended = false;
  lineCut_ = false;
  for (;;) {
    if (ReadByte(&c) == 0) break;
    if (c == end) {
      ended = true;
      break;
    }
    if (n < 127) {
      text[n++] = c;
    } else {
      lineCut_ = true;
    }
  }
  text[n] = 0;
  // CR LF text: whatever byte follows the CR is taken as its LF, and the result says whether one
  // was there. LF text: the LF itself is that byte.
  int more = lfEnds ? (ended ? 1 : 0) : (ReadByte(&c) ? 1 : 0);
  line->assign(text, static_cast<size_t>(n));
  return more;
}

bool DataFile::HoldsCr() const {
  return buffer_ && size_ > 0 && std::memchr(buffer_, '\r', static_cast<size_t>(size_)) != nullptr;
}

void DataFile::Close() {
  cursor_ = 0;
  if (owned_) {
    std::free(owned_);
    owned_ = nullptr;
  }
  buffer_ = nullptr;
}

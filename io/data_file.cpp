#include "io/data_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

DataFile::~DataFile() { Close(); }

DataFile* DataFile::Open(const char* name, const char* mode) {
  Close();
  Log("trying to open '%s'", name);
  error_ = 0;
  cursor_ = 0;
  buffer_ = nullptr;
  size_ = 0;
  fromArchive_ = 0;

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

  std::string path = DiskPathFor(source.dataDir, name);
  if (FILE* f = std::fopen(path.c_str(), mode)) {
    Log(" - loading from disk");
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    // A file the 32-bit size cannot describe is refused like a missing one.
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
  }
  error_ = 1;
  return this;
}

DataFile* DataFile::OpenMemory(const uint8_t* data, int32_t size) {
  Close();
  error_ = (data == nullptr || size <= 0) ? 1 : 0;
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

int DataFile::ReadLine(std::string* line) {
  char text[128];
  int n = 0;
  char c;
  for (;;) {
    if (ReadByte(&c) == 0) break;
    if (c == '\r') break;
    if (n < 127) text[n++] = c;
  }
  text[n] = 0;
  int more = ReadByte(&c) ? 1 : 0;
  line->assign(text, static_cast<size_t>(n));
  return more;
}

void DataFile::Close() {
  cursor_ = 0;
  if (owned_) {
    std::free(owned_);
    owned_ = nullptr;
  }
  buffer_ = nullptr;
}

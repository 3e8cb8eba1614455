// DataFile: one whole file in memory with a read cursor. Every data file of the show is read
// through it. Opening asks the archive first (names compare case-insensitively), then the disk
// under the data directory with "\" turned into "/". Reads never go past the end: they copy
// what is left and return the count.
//
//   DataFile f;
//   f.Open("data\\city.scx", "rb");
//   if (f.HasError()) ...;
//   int32_t v; f.ReadInt(&v);
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class MemberLookup;

// Where DataFile::Open looks. One process-wide instance; tests may swap it with a
// DataSourceScope.
struct DataSource {
  const MemberLookup* archive = nullptr;  // looked at first; null = no archive
  std::string dataDir;                    // disk fallback root; empty = working directory
};

DataSource& CurrentDataSource();

// Installs a data source for the lifetime of the object, restoring the previous one after.
class DataSourceScope {
 public:
  explicit DataSourceScope(DataSource source);
  ~DataSourceScope();
  DataSourceScope(const DataSourceScope&) = delete;
  DataSourceScope& operator=(const DataSourceScope&) = delete;

 private:
  DataSource saved_;
};

// Turns an archive-style name ("data\rock.jpg") into a disk path under dataDir.
std::string DiskPathFor(const std::string& dataDir, const char* name);

class DataFile {
 public:
  DataFile() = default;
  ~DataFile();
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  DataFile* Open(const char* name, const char* mode);
  // Wraps bytes the caller owns (used by tools and tests); never freed by the DataFile.
  DataFile* OpenMemory(const uint8_t* data, int32_t size);
  int32_t HasError() const { return error_; }
  uint32_t Read(void* destination, uint32_t n);
  uint32_t ReadByte(void* destination) { return Read(destination, 1); }
  uint32_t ReadInt(void* destination) { return Read(destination, 4); }
  // Zero-terminated string into destination, at most capacity bytes including the zero; a
  // longer string is cut at capacity - 1 and the rest of it consumed.
  void ReadString(char* destination, size_t capacity);
  // One CR-terminated line (at most 127 characters kept; the rest of a longer line is
  // consumed and dropped). Returns 1 when a byte followed the CR, else 0.
  int ReadLine(std::string* line);
  void Skip(int32_t n) { cursor_ += static_cast<uint32_t>(n); }
  int32_t GetSize() const { return size_; }
  uint32_t Tell() const { return cursor_; }
  const uint8_t* Data() const { return buffer_; }
  bool FromArchive() const { return fromArchive_ != 0; }
  void Close();

 private:
  const uint8_t* buffer_ = nullptr;
  uint32_t cursor_ = 0;
  int32_t size_ = 0;
  int32_t fromArchive_ = 0;
  int32_t error_ = 0;
  uint8_t* owned_ = nullptr;
};

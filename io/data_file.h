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

// Whether a name, with "\" and "/" both separating folders, stays inside the folder it is
// looked up in: not absolute ("/x", "\x", "\\server\x"), no colon (a drive letter "C:x", or a
// Windows stream), and no ".." that climbs above where it starts ("data\..\x" is fine, "..\x"
// is not).
bool NameStaysInside(const char* name);

// Why an open failed.
enum class OpenProblem {
  kNone,
  kNotFound,          // neither in the archive nor on disk
  kEmpty,             // a disk file of 0 bytes
  kDirectory,         // the name is a folder
  kOutsideDataDir,    // the name leaves the data directory (refused, never looked for)
  kNoDataDir,         // the data directory itself does not exist
  kUnreadable,        // on disk, but it cannot be opened or read (permissions, too large)
};

// "not found", "empty", "is a directory", ...
const char* OpenProblemText(OpenProblem problem);

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
  // Why the last Open failed (kNone after a successful one).
  OpenProblem Problem() const { return problem_; }
  uint32_t Read(void* destination, uint32_t n);
  uint32_t ReadByte(void* destination) { return Read(destination, 1); }
  uint32_t ReadInt(void* destination) { return Read(destination, 4); }
  // Zero-terminated string into destination, at most capacity bytes including the zero; a
  // longer string is cut at capacity - 1 and the rest of it consumed.
  void ReadString(char* destination, size_t capacity);
  // One CR-terminated line (at most 127 characters kept; the rest of a longer line is
  // consumed and dropped, and LastLineCut() says so). Returns 1 when a byte followed the CR,
  // else 0. With lfEnds (text without any CR) a line ends at LF instead, and the result is 1
  // when an LF ended it, so such a text reads exactly as its CR LF twin.
  int ReadLine(std::string* line, bool lfEnds = false);
  bool LastLineCut() const { return lineCut_; }
  // Whether the bytes hold a CR anywhere (the script decides its line ends by it).
  bool HoldsCr() const;
  void Skip(int32_t n) { cursor_ += static_cast<uint32_t>(n); }
  int32_t GetSize() const { return size_; }
  uint32_t Tell() const { return cursor_; }
  const uint8_t* Data() const { return buffer_; }
  bool FromArchive() const { return fromArchive_ != 0; }
  void Close();

 private:
  DataFile* Fail(OpenProblem problem);

  const uint8_t* buffer_ = nullptr;
  uint32_t cursor_ = 0;
  int32_t size_ = 0;
  int32_t fromArchive_ = 0;
  int32_t error_ = 0;
  uint8_t* owned_ = nullptr;
  OpenProblem problem_ = OpenProblem::kNone;
  bool lineCut_ = false;
};

// RecordReader: reads the little-endian int32 / float32 / string fields of a record file (the
// scene files) from a DataFile and remembers the first problem (what went wrong and at which
// byte offset). Once reading fails every further read fails, so a loader can stop where it is
// and keep what it already has. A problem that leaves the data in step (a record read whole but
// unusable) is noted instead, and reading goes on.
//
//   RecordReader r(file);
//   int32_t n;
//   if (!r.Int(&n) || !r.CheckCount(n, 12, "vertex count")) return false;
//   if (r.Failed()) Log("%s at byte %u", r.Problem().c_str(), r.ProblemOffset());
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class DataFile;

class RecordReader {
 public:
  explicit RecordReader(DataFile& file) : file_(file) {}

  bool Int(int32_t* value);
  bool Float(float* value);
  // A zero-terminated string of at most maxLength bytes before its zero. A longer string or one
  // cut off by the end of the data is a problem.
  bool String(std::string* value, size_t maxLength);
  // Checks that count items of at least itemBytes each can still follow; a negative count or
  // one the remaining bytes cannot hold is a problem (reported at the count's own offset).
  bool CheckCount(int32_t count, uint32_t itemBytes, const char* what);

  uint32_t Offset() const;
  uint32_t Remaining() const;
  // Steps back one int32 (the list reader looks one word ahead).
  void Unread4();

  // Records a problem at the given offset unless one is recorded already, and stops reading.
  // Returns false.
  bool Fail(const std::string& problem, uint32_t offset);
  // Records a problem unless one is recorded already; reading goes on.
  void Note(const std::string& problem, uint32_t offset);
  bool Failed() const { return failed_; }
  bool HasProblem() const { return hasProblem_; }
  const std::string& Problem() const { return problem_; }
  uint32_t ProblemOffset() const { return problemOffset_; }

 private:
  bool Take(void* destination, uint32_t n, const char* what);

  DataFile& file_;
  bool failed_ = false;
  bool hasProblem_ = false;
  std::string problem_;
  uint32_t problemOffset_ = 0;
};

#include "io/record_reader.h"

#include "io/data_file.h"

uint32_t RecordReader::Offset() const { return file_.Tell(); }

uint32_t RecordReader::Remaining() const {
  uint32_t size = static_cast<uint32_t>(file_.GetSize() < 0 ? 0 : file_.GetSize());
  uint32_t at = file_.Tell();
  return at >= size ? 0 : size - at;
}

void RecordReader::Unread4() {
  if (file_.Tell() >= 4) file_.Skip(-4);
}

void RecordReader::Note(const std::string& problem, uint32_t offset) {
  if (hasProblem_) return;
  hasProblem_ = true;
  problem_ = problem;
  problemOffset_ = offset;
}

bool RecordReader::Fail(const std::string& problem, uint32_t offset) {
  if (!failed_) Note(problem, offset);
  failed_ = true;
  return false;
}

bool RecordReader::Take(void* destination, uint32_t n, const char* what) {
  if (failed_) return false;
  uint32_t at = Offset();
  if (Remaining() < n) return Fail(std::string("data ends inside ") + what, at);
  file_.Read(destination, n);
  return true;
}

bool RecordReader::Int(int32_t* value) { return Take(value, 4, "a field"); }

bool RecordReader::Float(float* value) { return Take(value, 4, "a field"); }

bool RecordReader::String(std::string* value, size_t maxLength) {
  if (failed_) return false;
  uint32_t at = Offset();
  value->clear();
  const uint8_t* data = file_.Data();
  uint32_t left = Remaining();
  for (uint32_t i = 0; i < left; ++i) {
    char c = static_cast<char>(data[at + i]);
    if (c == 0) {
      if (i > maxLength) {
        return Fail("name longer than " + std::to_string(maxLength) + " bytes", at);
      }
      value->assign(reinterpret_cast<const char*>(data + at), i);
      file_.Skip(static_cast<int32_t>(i + 1));
      return true;
    }
  }
  return Fail("data ends inside a name", at);
}

bool RecordReader::CheckCount(int32_t count, uint32_t itemBytes, const char* what) {
  if (failed_) return false;
  uint32_t at = Offset() >= 4 ? Offset() - 4 : 0;
  if (count < 0) return Fail(std::string("negative ") + what, at);
  if (static_cast<uint64_t>(count) * itemBytes > Remaining()) {
    return Fail(std::string(what) + " " + std::to_string(count) + " exceeds the data left", at);
  }
  return true;
}

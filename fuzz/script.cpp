// Fuzzes the script parser: the input is "script.txt", served from a one-member archive. The
// default loaders load nothing, so only the parsing and table building run.
#include <strings.h>

#include <cstddef>
#include <cstdint>

#include "archive/member_lookup.h"
#include "io/data_file.h"
#include "show/script.h"

namespace {

class OneMember : public MemberLookup {
 public:
  OneMember(const uint8_t* data, size_t size) : data_(data), size_(static_cast<int32_t>(size)) {}
  const uint8_t* GetMemberData(const char* name) const override {
    return strcasecmp(name, "script.txt") == 0 ? data_ : nullptr;
  }
  int32_t GetMemberSize(const char* name) const override {
    return strcasecmp(name, "script.txt") == 0 ? size_ : -1;
  }

 private:
  const uint8_t* data_;
  int32_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  OneMember archive(data, size);
  DataSourceScope scope(DataSource{&archive, "/nonexistent-quillon-fuzz"});
  ShowTables tables;
  ScriptLoaders loaders;
  ParseScript(tables, loaders);
  return 0;
}

// Fuzz target for AceArchive::Open on arbitrary bytes: the walk must not crash or touch
// memory outside the block and the member buffers, and every member it keeps must hold
// exactly its size. Seeds in fuzz/seeds/ace_archive are small archives made with acetool
// (solid and not, packed, stored and empty members).
//
//   fuzz/run.sh ace_archive 600
#include <cstddef>
#include <cstdint>

#include "archive/ace_archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;  // a size of 0 would mean "data is a file path"
  AceArchive archive;
  const int32_t count = archive.Open(data, size);
  volatile uint32_t sum = 0;
  for (int32_t i = 0; i < count; ++i) {
    const ArchiveMember& m = archive.Member(i);
    if (m.size < 0 || !m.data || !m.name) __builtin_trap();
    if (m.size > 0) sum = sum + m.data[0] + m.data[m.size - 1];
    if (archive.GetMemberData(m.name) == nullptr) __builtin_trap();
  }
  archive.GetMemberSize("script.txt");
  archive.FreeMembers();
  return 0;
}

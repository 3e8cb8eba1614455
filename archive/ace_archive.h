// AceArchive: reads an ACE archive held in memory (or a file), unpacks every member at once
// into its own buffer and answers lookups by name, comparing without regard to ASCII case
// ("data\sky.JPG" finds "DATA\Sky.jpg"; "/" does not match "\"). It is what DataFile asks
// first: set CurrentDataSource().archive to it.
//
//   AceArchive archive;
//   int n = archive.Open(block, blockSize);     // or Open(path, 0) or OpenFile(file)
//   if (archive.Status() != AceStatus::kOk) ... AceStatusText(archive.Status());
//   const uint8_t* bytes = archive.GetMemberData("DATA\\rock.jpg");
//   archive.FreeMembers();                      // once loading is over
//
// Damage never crashes the walk: a header that is cut short or fails its CRC ends it, members
// read so far stay usable, and a member whose data fails its CRC stays in the table with
// crcOk false. Status() says why the walk ended; a reporter, when set, hears each problem.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "archive/member_lookup.h"

struct ArchiveCursor;

enum class AceStatus {
  kOk,                // walked to the end of the archive
  kFileUnreadable,    // the archive file cannot be opened or read to its end
  kOutOfMemory,       // working storage, a member buffer or the table could not be allocated
  kNoMainHeader,      // no signature in the first 64 KiB, or the header at offset 0 is bad
  kTruncated,         // the archive ends inside a header or a member's packed data
  kHeaderDamaged,     // a header failed its CRC or cannot hold its own fields
  kMemberSizeInvalid, // an unpacked size no packed data of that length can produce
  kDictionaryTooSmall,
  kUnknownMethod,
};
const char* AceStatusText(AceStatus status);

// One entry of the member table. name and data point into storage the archive owns; they stay
// valid until FreeMembers, the next Open or the archive's end.
struct ArchiveMember {
  char* name = nullptr;      // zero-terminated copy of the stored name
  int32_t size = 0;          // unpacked size
  uint8_t* data = nullptr;   // exactly size bytes (never null while the member is held, unless
                             // the archive was opened with SetKeepData(false))
  uint32_t packedSize = 0;
  uint32_t storedCrc = 0;
  uint32_t attributes = 0;
  uint32_t fileTime = 0;     // DOS date and time
  uint8_t method = 0;
  bool complete = false;     // all size bytes were produced
  bool crcOk = false;        // the unpacked bytes match the stored CRC-32
};

using AceReporter = void (*)(void* context, const char* message);

class AceArchive : public MemberLookup {
 public:
  AceArchive() = default;
  ~AceArchive() override;
  AceArchive(const AceArchive&) = delete;
  AceArchive& operator=(const AceArchive&) = delete;

  // With a nonzero size, source points to the archive bytes; with size 0 it is a file path
  // ("archivesize: N" is printed and the file read as OpenFile does). Returns the number of
  // members.
  int32_t Open(const void* source, size_t size);
  // Reads the archive from an open file, from its start, a 64 KiB window at a time: the file
  // is never held whole in memory (with SetKeepData(false) neither are the members). The
  // caller keeps the file. A file that cannot be read to its end gives kFileUnreadable.
  int32_t OpenFile(FILE* file);
  const uint8_t* GetMemberData(const char* name) const override;
  // The member's size, or -1 when no member has that name.
  int32_t GetMemberSize(const char* name) const override;
  // Releases every member's data and name (sizes become 0, the count stays).
  void FreeMembers();
  // With false, the next Opens still unpack every member and check its CRC but keep only the
  // table (names, sizes, results), not the data: listing and testing an archive this way
  // needs no memory for its contents. On by default.
  void SetKeepData(bool keep) { keepData_ = keep; }

  int32_t MemberCount() const { return static_cast<int32_t>(entries_.size()); }
  const ArchiveMember& Member(int32_t index) const { return entries_[static_cast<size_t>(index)].member; }
  AceStatus Status() const { return status_; }
  size_t StatusOffset() const { return statusOffset_; }  // archive offset where the walk ended
  bool Solid() const { return solid_; }
  bool MultiVolume() const { return multiVolume_; }
  void SetReporter(AceReporter reporter, void* context) {
    reporter_ = reporter;
    reporterContext_ = context;
  }

 private:
  struct Walker;
  struct Header;
  // A table entry and the storage its name and data point into.
  struct Entry {
    ArchiveMember member;
    std::unique_ptr<char[]> name;
    std::unique_ptr<uint8_t[]> data;
  };
  const ArchiveMember* Find(const char* name) const;
  int32_t Walk(const ArchiveCursor& start);
  bool FindMainHeader(Walker& walk);
  bool WalkNextHeader(Walker& walk);
  Entry* AddMember(const Header& header);
  void UnpackMember(Walker& walk, const Header& header, Entry& entry);
  void EndWalk(AceStatus status, size_t offset);
  void Clear();
  void Report(const char* format, ...) const __attribute__((format(gnu_printf, 2, 3)));

  std::vector<Entry> entries_;
  bool keepData_ = true;
  bool released_ = false;
  AceStatus status_ = AceStatus::kOk;
  size_t statusOffset_ = 0;
  bool solid_ = false;
  bool multiVolume_ = false;
  uint8_t volume_ = 0;
  uint32_t creationTime_ = 0;
  AceReporter reporter_ = nullptr;
  void* reporterContext_ = nullptr;
};

#include "archive/ace_archive.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "archive/ace_format.h"
#include "archive/ace_unpacker.h"

namespace {

constexpr int32_t kChunk = 2048;
constexpr size_t kScanBytes = 1024;
constexpr size_t kScanLimit = 65536;
// No method-1 stream can give more than 259 bytes for two bits (a one-bit match symbol and a
// one-bit length); a larger claimed size is refused before anything is allocated.
constexpr uint64_t kMaxBytesPerPackedByte = 1036;
constexpr uint64_t kSizeSlack = 259;

enum class HeaderRead { kOk, kEnd, kShort, kBadCrc, kBadFields };

bool EqualNoCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a);
    unsigned char y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
    if (x == 0) return true;
  }
}

struct CloseFile {
  void operator()(FILE* f) const { std::fclose(f); }
};

}  // namespace

// The fields of the header just read; name points into the walk's header buffer.
struct AceArchive::Header {
  uint8_t type = 0;
  uint16_t flags = 0;
  uint16_t size = 0;
  // File header fields.
  uint32_t packed = 0;
  uint32_t unpacked = 0;
  uint32_t fileTime = 0;
  uint32_t attributes = 0;
  uint32_t crc = 0;
  uint8_t method = 0;
  uint8_t quality = 0;
  uint16_t methodParameter = 0;
  uint16_t nameLength = 0;
  const uint8_t* name = nullptr;
};

// Working storage of one walk; it lives only while Open runs.
struct AceArchive::Walker {
  ArchiveCursor cursor;
  AceUnpacker unpacker;
  uint8_t header[kMaxHeaderBuffer];
  uint8_t scan[kScanBytes];
  uint8_t out[kChunk];

  HeaderRead ReadHeader(Header* h);
};

HeaderRead AceArchive::Walker::ReadHeader(Header* h) {
  bool overran = false;
  if (cursor.addedLeft) {
    // What the previous header's added data left unread is skipped.
    if (cursor.addedLeft > cursor.Left()) overran = true;
    cursor.pos += overran ? cursor.Left() : static_cast<size_t>(cursor.addedLeft);
    cursor.addedLeft = 0;
  }
  uint8_t head[4];
  if (!cursor.Read(head, 4)) return (cursor.Left() == 0 && !overran) ? HeaderRead::kEnd : HeaderRead::kShort;
  const uint16_t storedCrc = Get16(head);
  h->size = Get16(head + 2);
  const size_t inBuffer = h->size < kMaxHeaderBuffer ? h->size : kMaxHeaderBuffer;
  std::memset(header, 0, sizeof(header));
  if (!cursor.Read(header, inBuffer)) return HeaderRead::kShort;
  uint32_t crc = UpdateCrc(kCrcStart, header, inBuffer);
  for (size_t rest = h->size - inBuffer; rest > 0;) {
    const size_t piece = rest < kScanBytes ? rest : kScanBytes;
    if (!cursor.Read(scan, piece)) return HeaderRead::kShort;
    crc = UpdateCrc(crc, scan, piece);
    rest -= piece;
  }
  h->type = header[0];
  h->flags = Get16(header + 1);
  cursor.addedLeft = (h->flags & kFlagAddedData) ? Get32(header + 3) : 0;
  if ((crc & 0xFFFF) != storedCrc) return HeaderRead::kBadCrc;

  if (h->type == kFileHeaderType) {
    h->packed = Get32(header + 3);
    h->unpacked = Get32(header + 7);
    h->fileTime = Get32(header + 11);
    h->attributes = Get32(header + 15);
    h->crc = Get32(header + 19);
    h->method = header[23];
    h->quality = header[24];
    h->methodParameter = Get16(header + 25);
    h->nameLength = Get16(header + 29);
    h->name = header + kFileHeaderFixedBytes;
    // A file header must hold its own name (and that within the header buffer).
    if (kFileHeaderFixedBytes + size_t{h->nameLength} > inBuffer) return HeaderRead::kBadFields;
  }
  return HeaderRead::kOk;
}

const char* AceStatusText(AceStatus status) {
  switch (status) {
    case AceStatus::kOk: return "ok";
    case AceStatus::kFileUnreadable: return "cannot read the archive file";
    case AceStatus::kOutOfMemory: return "out of memory";
    case AceStatus::kNoMainHeader: return "not an ACE archive (no valid main header)";
    case AceStatus::kTruncated: return "archive is truncated";
    case AceStatus::kHeaderDamaged: return "damaged header";
    case AceStatus::kMemberSizeInvalid: return "member size cannot match its packed data";
    case AceStatus::kDictionaryTooSmall: return "member needs a larger dictionary";
    case AceStatus::kUnknownMethod: return "unknown packing method";
  }
  return "unknown status";
}

AceArchive::~AceArchive() = default;

void AceArchive::Report(const char* format, ...) const {
  if (!reporter_) return;
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof(line), format, args);
  va_end(args);
  reporter_(reporterContext_, line);
}

void AceArchive::Clear() {
  entries_.clear();
  released_ = false;
}

void AceArchive::FreeMembers() {
  for (Entry& e : entries_) {
    e.name.reset();
    e.data.reset();
    e.member.name = nullptr;
    e.member.data = nullptr;
    e.member.size = 0;
  }
  released_ = true;
}

const ArchiveMember* AceArchive::Find(const char* name) const {
  if (!name || released_) return nullptr;
  for (const Entry& e : entries_)
    if (e.member.name && EqualNoCase(e.member.name, name)) return &e.member;
  return nullptr;
}

const uint8_t* AceArchive::GetMemberData(const char* name) const {
  const ArchiveMember* m = Find(name);
  return m ? m->data : nullptr;
}

int32_t AceArchive::GetMemberSize(const char* name) const {
  const ArchiveMember* m = Find(name);
  return m ? m->size : -1;
}

int32_t AceArchive::Open(const void* source, size_t size) {
  Clear();
  status_ = AceStatus::kOk;
  statusOffset_ = 0;
  if (!source) {
    status_ = AceStatus::kFileUnreadable;
    return 0;
  }
  if (size != 0) {
    ArchiveCursor cursor;
    cursor.data = static_cast<const uint8_t*>(source);
    cursor.size = size;
    return Walk(cursor);
  }

  const char* path = static_cast<const char*>(source);
  const std::unique_ptr<FILE, CloseFile> f(std::fopen(path, "rb"));
  long length = -1;
  if (f && std::fseek(f.get(), 0, SEEK_END) == 0) length = std::ftell(f.get());
  if (!f || length < 0) {
    status_ = AceStatus::kFileUnreadable;
    Report("cannot open archive '%s'", path);
    return 0;
  }
  std::printf("archivesize: %d \n", static_cast<int>(length));
  return OpenFile(f.get());
}

int32_t AceArchive::OpenFile(FILE* file) {
  Clear();
  status_ = AceStatus::kOk;
  statusOffset_ = 0;
  long length = -1;
  if (file && std::fseek(file, 0, SEEK_END) == 0) length = std::ftell(file);
  if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
    status_ = AceStatus::kFileUnreadable;
    Report("cannot read the archive file");
    return 0;
  }
  if (length == 0) {
    status_ = AceStatus::kNoMainHeader;
    return 0;
  }
  const std::unique_ptr<ArchiveFileWindow> window(new (std::nothrow) ArchiveFileWindow(file));
  if (!window) {
    status_ = AceStatus::kOutOfMemory;
    Report("no memory for the archive's working storage");
    return 0;
  }
  ArchiveCursor cursor;
  cursor.size = static_cast<size_t>(length);
  cursor.file = window.get();
  const int32_t n = Walk(cursor);
  if (window->Failed() && status_ != AceStatus::kOutOfMemory) {
    // The file ended early or could not be read: say so rather than call it damaged.
    status_ = AceStatus::kFileUnreadable;
    Report("cannot read the archive file at offset %zu", statusOffset_);
  }
  return n;
}

void AceArchive::EndWalk(AceStatus status, size_t offset) {
  status_ = status;
  statusOffset_ = offset;
  if (status != AceStatus::kOk) Report("%s at offset %zu", AceStatusText(status), offset);
}

int32_t AceArchive::Walk(const ArchiveCursor& start) {
  const std::unique_ptr<Walker> walk(new (std::nothrow) Walker);
  if (!walk || !walk->unpacker.Init()) {
    status_ = AceStatus::kOutOfMemory;
    Report("no memory for the archive's working storage");
    return 0;
  }
  walk->cursor = start;
  if (!FindMainHeader(*walk)) {
    status_ = AceStatus::kNoMainHeader;
    Report("%s", AceStatusText(status_));
    return 0;
  }
  walk->unpacker.SetSolid(solid_);
  while (WalkNextHeader(*walk)) {
  }
  return MemberCount();
}

// The main header is always read at offset 0, once its signature is seen in the first 64 KiB.
bool AceArchive::FindMainHeader(Walker& walk) {
  ArchiveCursor& cursor = walk.cursor;
  std::memset(walk.scan, 0, kScanBytes);
  size_t kept = 0;
  size_t total = 0;
  while (cursor.pos < cursor.size && total < kScanLimit) {
    size_t got = kScanBytes - kept;
    if (got > cursor.Left()) got = cursor.Left();
    if (!cursor.Read(walk.scan + kept, got)) return false;
    total += got;
    for (size_t o = 0; o + 7 <= kScanBytes; ++o) {
      if (std::memcmp(walk.scan + o, kSignature, 7) != 0) continue;
      // Every attempt would read the same header at offset 0, so the first one decides.
      cursor.pos = 0;
      cursor.addedLeft = 0;
      Header h;
      if (walk.ReadHeader(&h) != HeaderRead::kOk) return false;
      solid_ = (h.flags & kFlagSolid) != 0;
      multiVolume_ = (h.flags & kFlagMultiVolume) != 0;
      volume_ = walk.header[13];
      creationTime_ = Get32(walk.header + 14);
      return true;
    }
    cursor.pos = total;
    std::memmove(walk.scan, walk.scan + kScanBytes / 2, kScanBytes / 2);
    kept = kScanBytes / 2;
  }
  return false;
}

// Reads one header and, for a file header, its member. False when the walk ends here.
bool AceArchive::WalkNextHeader(Walker& walk) {
  ArchiveCursor& cursor = walk.cursor;
  const size_t headerStart = cursor.pos;
  Header h;
  const HeaderRead r = walk.ReadHeader(&h);
  if (r != HeaderRead::kOk) {
    EndWalk(r == HeaderRead::kEnd     ? AceStatus::kOk
            : r == HeaderRead::kShort ? AceStatus::kTruncated
                                      : AceStatus::kHeaderDamaged,
            headerStart);
    return false;
  }
  if (h.type != kFileHeaderType) return true;  // its added data is skipped by the next read

  const uint64_t available = cursor.addedLeft < cursor.Left() ? cursor.addedLeft : cursor.Left();
  if (static_cast<int32_t>(h.unpacked) < 0 || h.unpacked > cursor.addedLeft * kMaxBytesPerPackedByte + kSizeSlack) {
    EndWalk(AceStatus::kMemberSizeInvalid, headerStart);
    return false;
  }
  if (h.unpacked > available * kMaxBytesPerPackedByte + kSizeSlack) {
    EndWalk(AceStatus::kTruncated, headerStart);
    return false;
  }

  Entry* entry = AddMember(h);
  if (!entry) {
    Clear();
    status_ = AceStatus::kOutOfMemory;
    Report("no memory for member at offset %zu", headerStart);
    return false;
  }
  UnpackMember(walk, h, *entry);

  const int error = walk.unpacker.error();
  if (error == AceUnpacker::kNoError) return true;
  status_ = error == AceUnpacker::kDictionaryTooSmall ? AceStatus::kDictionaryTooSmall : AceStatus::kUnknownMethod;
  statusOffset_ = headerStart;
  Report("member '%s': %s", entry->member.name, AceStatusText(status_));
  return false;
}

// Appends a member for a file header whose sizes were checked; null when out of memory.
AceArchive::Entry* AceArchive::AddMember(const Header& h) {
  Entry e;
  e.name.reset(new (std::nothrow) char[size_t{h.nameLength} + 1]);
  if (keepData_) e.data.reset(new (std::nothrow) uint8_t[h.unpacked > 0 ? h.unpacked : 1]);
  if (!e.name || (keepData_ && !e.data)) return nullptr;
  std::memcpy(e.name.get(), h.name, h.nameLength);
  e.name[h.nameLength] = '\0';
  ArchiveMember& m = e.member;
  m.name = e.name.get();
  m.data = e.data.get();
  m.size = static_cast<int32_t>(h.unpacked);
  m.packedSize = h.packed;
  m.storedCrc = h.crc;
  m.attributes = h.attributes;
  m.fileTime = h.fileTime;
  m.method = h.method;
  entries_.push_back(std::move(e));
  return &entries_.back();
}

// Unpacks the member's packed data (the added data of its header) and checks its CRC. Whole
// chunks go straight into the member's buffer; a last, shorter one through the walk's.
void AceArchive::UnpackMember(Walker& walk, const Header& h, Entry& entry) {
  ArchiveMember& m = entry.member;
  MemberPacking packing;
  packing.method = h.method;
  packing.methodParameter = h.methodParameter;
  packing.unpackedSize = m.size;
  AceUnpacker& unpacker = walk.unpacker;
  unpacker.BeginMember(packing, &walk.cursor);
  int32_t offset = 0;
  for (;;) {
    uint8_t* into = m.data && m.size - offset >= kChunk ? m.data + offset : walk.out;
    int32_t n = unpacker.UnpackChunk(into, kChunk);
    if (n <= 0) break;
    if (n > m.size - offset) n = m.size - offset;
    if (m.data && into == walk.out) std::memcpy(m.data + offset, walk.out, static_cast<size_t>(n));
    offset += n;
  }
  if (m.data && offset < m.size) std::memset(m.data + offset, 0, static_cast<size_t>(m.size - offset));
  m.complete = offset == m.size;
  m.crcOk = unpacker.Crc() == h.crc;
  if (!m.complete) Report("member '%s': only %d of %d bytes unpacked", m.name, offset, m.size);
  if (!m.crcOk) Report("member '%s': CRC mismatch", m.name);
}

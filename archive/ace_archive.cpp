#include "archive/ace_archive.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

struct Header {
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
  const uint8_t* name = nullptr;  // inside the header buffer
};

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

}  // namespace

// Working storage of one walk; it lives only while Open runs.
struct AceArchive::Walk {
  ArchiveCursor cursor;
  AceUnpacker unpacker;
  uint8_t header[ace::kMaxHeaderBuffer];
  uint8_t scan[kScanBytes];
  uint8_t out[kChunk];

  HeaderRead ReadHeader(Header* h);
};

HeaderRead AceArchive::Walk::ReadHeader(Header* h) {
  bool overran = false;
  if (cursor.addedLeft) {
    // What the previous header's added data left unread is skipped.
    if (cursor.addedLeft > cursor.Left()) overran = true;
    cursor.pos += overran ? cursor.Left() : static_cast<size_t>(cursor.addedLeft);
    cursor.addedLeft = 0;
  }
  uint8_t head[4];
  if (!cursor.Read(head, 4)) return (cursor.Left() == 0 && !overran) ? HeaderRead::kEnd : HeaderRead::kShort;
  const uint16_t storedCrc = ace::Get16(head);
  h->size = ace::Get16(head + 2);
  const size_t inBuffer = h->size < ace::kMaxHeaderBuffer ? h->size : ace::kMaxHeaderBuffer;
  std::memset(header, 0, sizeof(header));
  if (!cursor.Read(header, inBuffer)) return HeaderRead::kShort;
  uint32_t crc = ace::UpdateCrc(ace::kCrcStart, header, inBuffer);
  for (size_t rest = h->size - inBuffer; rest > 0;) {
    const size_t piece = rest < kScanBytes ? rest : kScanBytes;
    if (!cursor.Read(scan, piece)) return HeaderRead::kShort;
    crc = ace::UpdateCrc(crc, scan, piece);
    rest -= piece;
  }
  h->type = header[0];
  h->flags = ace::Get16(header + 1);
  cursor.addedLeft = (h->flags & ace::kFlagAddedData) ? ace::Get32(header + 3) : 0;
  if ((crc & 0xFFFF) != storedCrc) return HeaderRead::kBadCrc;

  if (h->type == ace::kFileHeaderType) {
    h->packed = ace::Get32(header + 3);
    h->unpacked = ace::Get32(header + 7);
    h->fileTime = ace::Get32(header + 11);
    h->attributes = ace::Get32(header + 15);
    h->crc = ace::Get32(header + 19);
    h->method = header[23];
    h->quality = header[24];
    h->methodParameter = ace::Get16(header + 25);
    h->nameLength = ace::Get16(header + 29);
    h->name = header + ace::kFileHeaderFixedBytes;
    // A file header must hold its own name (and that within the header buffer).
    if (ace::kFileHeaderFixedBytes + size_t{h->nameLength} > inBuffer) return HeaderRead::kBadFields;
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

AceArchive::~AceArchive() { Clear(); }

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
  for (int32_t i = 0; i < count_; ++i) {
    std::free(members_[i].name);
    std::free(members_[i].data);
  }
  std::free(members_);
  members_ = nullptr;
  count_ = 0;
  capacity_ = 0;
  released_ = false;
}

void AceArchive::FreeMembers() {
  for (int32_t i = 0; i < count_; ++i) {
    std::free(members_[i].name);
    std::free(members_[i].data);
    members_[i].name = nullptr;
    members_[i].data = nullptr;
    members_[i].size = 0;
  }
  released_ = true;
}

ArchiveMember* AceArchive::Append() {
  if (count_ == capacity_) {
    const int32_t grown = capacity_ ? capacity_ * 2 : 64;
    if (grown <= capacity_) return nullptr;
    void* table = std::realloc(members_, sizeof(ArchiveMember) * static_cast<size_t>(grown));
    if (!table) return nullptr;
    members_ = static_cast<ArchiveMember*>(table);
    capacity_ = grown;
  }
  ArchiveMember* m = &members_[count_++];
  *m = ArchiveMember();
  return m;
}

const ArchiveMember* AceArchive::Find(const char* name) const {
  if (!name || released_) return nullptr;
  for (int32_t i = 0; i < count_; ++i)
    if (members_[i].name && EqualNoCase(members_[i].name, name)) return &members_[i];
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
  if (size != 0) return OpenMemory(static_cast<const uint8_t*>(source), size);

  const char* path = static_cast<const char*>(source);
  FILE* f = std::fopen(path, "rb");
  long length = -1;
  if (f && std::fseek(f, 0, SEEK_END) == 0) length = std::ftell(f);
  if (!f || length < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
    if (f) std::fclose(f);
    status_ = AceStatus::kFileUnreadable;
    Report("cannot open archive '%s'", path);
    return 0;
  }
  uint8_t* bytes = static_cast<uint8_t*>(std::malloc(length > 0 ? static_cast<size_t>(length) : 1));
  const bool read = bytes && std::fread(bytes, 1, static_cast<size_t>(length), f) == static_cast<size_t>(length);
  std::fclose(f);
  if (!read) {
    std::free(bytes);
    status_ = bytes ? AceStatus::kFileUnreadable : AceStatus::kOutOfMemory;
    Report("cannot read archive '%s'", path);
    return 0;
  }
  std::printf("archivesize: %d \n", static_cast<int>(length));
  int32_t n = 0;
  if (length > 0) {
    n = OpenMemory(bytes, static_cast<size_t>(length));
  } else {
    status_ = AceStatus::kNoMainHeader;
  }
  std::free(bytes);
  return n;
}

int32_t AceArchive::OpenMemory(const uint8_t* data, size_t size) {
  Walk* walk = new (std::nothrow) Walk;
  if (!walk || !walk->unpacker.Init()) {
    delete walk;
    status_ = AceStatus::kOutOfMemory;
    Report("no memory for the archive's working storage");
    return 0;
  }
  ArchiveCursor& cursor = walk->cursor;
  cursor.data = data;
  cursor.size = size;

  // The main header is always read at offset 0, once its signature is seen in the first 64 KiB.
  bool found = false;
  bool tried = false;  // every attempt reads the same header at offset 0
  std::memset(walk->scan, 0, kScanBytes);
  size_t kept = 0;
  size_t total = 0;
  while (!found && cursor.pos < cursor.size && total < kScanLimit) {
    size_t got = kScanBytes - kept;
    if (got > cursor.Left()) got = cursor.Left();
    std::memcpy(walk->scan + kept, data + cursor.pos, got);
    cursor.pos += got;
    total += got;
    for (size_t o = 0; !found && !tried && o + 7 <= kScanBytes; ++o) {
      if (std::memcmp(walk->scan + o, ace::kSignature, 7) != 0) continue;
      tried = true;
      cursor.pos = 0;
      cursor.addedLeft = 0;
      Header h;
      if (walk->ReadHeader(&h) == HeaderRead::kOk) {
        found = true;
        solid_ = (h.flags & ace::kFlagSolid) != 0;
        multiVolume_ = (h.flags & ace::kFlagMultiVolume) != 0;
        volume_ = walk->header[13];
        creationTime_ = ace::Get32(walk->header + 14);
      }
    }
    if (found) break;
    cursor.pos = total;
    std::memmove(walk->scan, walk->scan + kScanBytes / 2, kScanBytes / 2);
    kept = kScanBytes / 2;
  }
  if (!found) {
    delete walk;
    status_ = AceStatus::kNoMainHeader;
    Report("%s", AceStatusText(status_));
    return 0;
  }

  walk->unpacker.SetSolid(solid_);
  for (;;) {
    const size_t headerStart = cursor.pos;
    Header h;
    const HeaderRead r = walk->ReadHeader(&h);
    if (r != HeaderRead::kOk) {
      status_ = r == HeaderRead::kEnd     ? AceStatus::kOk
                : r == HeaderRead::kShort ? AceStatus::kTruncated
                                          : AceStatus::kHeaderDamaged;
      statusOffset_ = headerStart;
      if (status_ != AceStatus::kOk) Report("%s at offset %zu", AceStatusText(status_), headerStart);
      break;
    }
    if (h.type != ace::kFileHeaderType) continue;

    const int32_t size32 = static_cast<int32_t>(h.unpacked);
    const uint64_t available = cursor.addedLeft < cursor.Left() ? cursor.addedLeft : cursor.Left();
    if (size32 < 0 || h.unpacked > cursor.addedLeft * kMaxBytesPerPackedByte + kSizeSlack) {
      status_ = AceStatus::kMemberSizeInvalid;
    } else if (h.unpacked > available * kMaxBytesPerPackedByte + kSizeSlack) {
      status_ = AceStatus::kTruncated;
    }
    if (status_ != AceStatus::kOk) {
      statusOffset_ = headerStart;
      Report("%s at offset %zu", AceStatusText(status_), headerStart);
      break;
    }

    ArchiveMember* m = Append();
    if (m) {
      m->name = static_cast<char*>(std::malloc(size_t{h.nameLength} + 1));
      m->data = static_cast<uint8_t*>(std::malloc(size32 > 0 ? static_cast<size_t>(size32) : 1));
    }
    if (!m || !m->name || !m->data) {
      Clear();
      delete walk;
      status_ = AceStatus::kOutOfMemory;
      Report("no memory for member at offset %zu", headerStart);
      return 0;
    }
    std::memcpy(m->name, h.name, h.nameLength);
    m->name[h.nameLength] = '\0';
    m->size = size32;
    m->packedSize = h.packed;
    m->storedCrc = h.crc;
    m->attributes = h.attributes;
    m->fileTime = h.fileTime;
    m->method = h.method;

    MemberPacking packing;
    packing.method = h.method;
    packing.methodParameter = h.methodParameter;
    packing.unpackedSize = size32;
    AceUnpacker& unpacker = walk->unpacker;
    unpacker.BeginMember(packing, &cursor);
    int32_t offset = 0;
    for (;;) {
      uint8_t* into = size32 - offset >= kChunk ? m->data + offset : walk->out;
      int32_t n = unpacker.UnpackChunk(into, kChunk);
      if (n <= 0) break;
      if (n > size32 - offset) n = size32 - offset;
      if (into == walk->out) std::memcpy(m->data + offset, walk->out, static_cast<size_t>(n));
      offset += n;
    }
    if (offset < size32) std::memset(m->data + offset, 0, static_cast<size_t>(size32 - offset));
    m->complete = offset == size32;
    m->crcOk = unpacker.Crc() == h.crc;
    if (!m->complete) Report("member '%s': only %d of %d bytes unpacked", m->name, offset, size32);
    if (!m->crcOk) Report("member '%s': CRC mismatch", m->name);

    if (unpacker.error() != AceUnpacker::kNoError) {
      status_ = unpacker.error() == AceUnpacker::kDictionaryTooSmall ? AceStatus::kDictionaryTooSmall
                                                                      : AceStatus::kUnknownMethod;
      statusOffset_ = headerStart;
      Report("member '%s': %s", m->name, AceStatusText(status_));
      break;
    }
  }
  delete walk;
  return count_;
}

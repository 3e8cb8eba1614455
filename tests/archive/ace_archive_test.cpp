#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/ace_archive.h"
#include "archive/ace_format.h"
#include "archive/ace_packer.h"
#include "io/data_file.h"
#include "test_data.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Entry {
  std::string name;
  Bytes data;
};

Bytes Pack(const std::vector<Entry>& entries, bool solid) {
  AcePacker packer(solid);
  for (const Entry& e : entries) EXPECT_TRUE(packer.AddMember(e.name, e.data.data(), e.data.size())) << e.name;
  return packer.Bytes();
}

std::vector<Entry> MixedEntries() {
  std::vector<Entry> e;
  e.push_back({"script.txt", testdata::Text(30000, 1)});
  e.push_back({"DATA\\city.scx", testdata::Scene(5000, 2)});
  e.push_back({"DATA\\rock.jpg", testdata::Noise(20000, 3)});  // does not shrink: stored
  e.push_back({"DATA\\empty.txt", {}});
  e.push_back({"DATA\\sky.png", testdata::Image(200, 150, 4)});
  Bytes run(70000, 'z');  // distance-0 matches
  run[35000] = 'y';
  e.push_back({"DATA\\run.bin", run});
  // The same noise again much further than 8191 bytes back, and a repeat of the script.
  Bytes far = testdata::Noise(5000, 7);
  Bytes gap = testdata::Image(100, 100, 8);
  Bytes farData = far;
  farData.insert(farData.end(), gap.begin(), gap.end());
  farData.insert(farData.end(), far.begin(), far.end());
  e.push_back({"DATA\\far.bin", farData});
  e.push_back({"DATA\\again.txt", e[0].data});
  return e;
}

// Header CRC fields hold the low 16 bits of the CRC of the header bytes after the size field.
void FixHeaderCrc(Bytes* archive, size_t headerStart) {
  const uint16_t size = Get16(&(*archive)[headerStart + 2]);
  const uint32_t crc = Crc(&(*archive)[headerStart + 4], size);
  (*archive)[headerStart] = static_cast<uint8_t>(crc);
  (*archive)[headerStart + 1] = static_cast<uint8_t>(crc >> 8);
}

void Put16(Bytes* b, uint32_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes* b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// A file header written by hand, followed by its packed bytes.
void AppendFileHeader(Bytes* archive, const std::string& name, uint32_t unpacked, uint32_t crc, uint8_t method,
                      const Bytes& payload, uint16_t parameter = 10, uint32_t attributes = 0x20) {
  Bytes h;
  h.push_back(1);
  Put16(&h, 0x0001);
  Put32(&h, static_cast<uint32_t>(payload.size()));
  Put32(&h, unpacked);
  Put32(&h, 0);
  Put32(&h, attributes);
  Put32(&h, crc);
  h.push_back(method);
  h.push_back(0);
  Put16(&h, parameter);
  Put16(&h, 0);
  Put16(&h, static_cast<uint32_t>(name.size()));
  h.insert(h.end(), name.begin(), name.end());
  const size_t start = archive->size();
  Put16(archive, 0);
  Put16(archive, static_cast<uint32_t>(h.size()));
  archive->insert(archive->end(), h.begin(), h.end());
  FixHeaderCrc(archive, start);
  archive->insert(archive->end(), payload.begin(), payload.end());
}

Bytes MainHeaderOnly(bool solid = false) { return AcePacker(solid).Bytes(); }

}  // namespace

TEST(AceArchive, RoundTripsMixedDataSolidAndNonSolid) {
  const std::vector<Entry> entries = MixedEntries();
  size_t sizes[2];
  for (bool solid : {false, true}) {
    SCOPED_TRACE(solid ? "solid" : "non-solid");
    Bytes archive = Pack(entries, solid);
    sizes[solid] = archive.size();
    AceArchive a;
    ASSERT_EQ(a.Open(archive.data(), archive.size()), static_cast<int32_t>(entries.size()));
    EXPECT_EQ(a.Status(), AceStatus::kOk);
    EXPECT_EQ(a.Solid(), solid);
    for (size_t i = 0; i < entries.size(); ++i) {
      const ArchiveMember& m = a.Member(static_cast<int32_t>(i));
      EXPECT_STREQ(m.name, entries[i].name.c_str());
      ASSERT_EQ(m.size, static_cast<int32_t>(entries[i].data.size()));
      EXPECT_EQ(Bytes(m.data, m.data + m.size), entries[i].data) << m.name;
      EXPECT_TRUE(m.crcOk) << m.name;
      EXPECT_TRUE(m.complete) << m.name;
    }
    EXPECT_EQ(a.Member(2).method, 0) << "noise is stored";
    EXPECT_EQ(a.Member(3).storedCrc, 0xFFFFFFFFu) << "an empty member's CRC is the start value";
    EXPECT_EQ(a.Member(1).method, 1);
  }
  EXPECT_LT(sizes[true] + 4000, sizes[false]) << "the solid archive copies the repeated script";
}

TEST(AceArchive, SolidMembersCopyFromEarlierOnesNonSolidStartEmpty) {
  Bytes text = testdata::Text(50000, 9);
  for (bool solid : {false, true}) {
    AcePacker packer(solid);
    packer.AddMember("a", text.data(), text.size());
    const uint32_t first = packer.LastAdded().packedSize;
    packer.AddMember("b", text.data(), text.size());
    const uint32_t second = packer.LastAdded().packedSize;
    if (solid) {
      EXPECT_LT(second, first / 20);
    } else {
      EXPECT_EQ(second, first);
    }
    AceArchive a;
    ASSERT_EQ(a.Open(packer.Bytes().data(), packer.Bytes().size()), 2);
    EXPECT_EQ(0, std::memcmp(a.Member(1).data, text.data(), text.size()));
    EXPECT_TRUE(a.Member(1).crcOk);
  }
}

TEST(AceArchive, LookupsIgnoreCaseButNotSeparatorsAndFreeMembersEndsThem) {
  Bytes sky = testdata::Image(20, 20, 5);
  Bytes archive = Pack({{"DATA\\Sky.jpg", sky}, {"script.txt", testdata::Text(100, 2)}, {"DATA\\SKY.JPG", {1, 2}}}, false);
  AceArchive a;
  ASSERT_EQ(a.Open(archive.data(), archive.size()), 3);
  const uint8_t* d = a.GetMemberData("data\\sky.JPG");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d, a.Member(0).data) << "the first equal name wins";
  EXPECT_EQ(a.GetMemberSize("data\\sky.JPG"), static_cast<int32_t>(sky.size()));
  EXPECT_EQ(a.GetMemberData("DATA/Sky.jpg"), nullptr);
  EXPECT_EQ(a.GetMemberData("Sky.jpg"), nullptr);
  EXPECT_EQ(a.GetMemberData("DATA\\Sky.jpg2"), nullptr);
  EXPECT_EQ(a.GetMemberData("DATA\\Sky.jp"), nullptr);
  EXPECT_EQ(a.GetMemberSize("missing"), -1);
  EXPECT_NE(a.GetMemberData("SCRIPT.TXT"), nullptr);
  a.FreeMembers();
  EXPECT_EQ(a.MemberCount(), 3);
  EXPECT_EQ(a.GetMemberData("script.txt"), nullptr);
  EXPECT_EQ(a.Member(0).size, 0);
}

TEST(AceArchive, DataFileReadsMembersFirstThenDisk) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("quillon_ace_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::create_directories(dir / "data");
  {
    FILE* f = std::fopen((dir / "data" / "rock.jpg").string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("from disk", f);
    std::fclose(f);
    f = std::fopen((dir / "data" / "loose.txt").string().c_str(), "wb");
    std::fputs("loose", f);
    std::fclose(f);
  }
  const Bytes rock = {'f', 'r', 'o', 'm', ' ', 'a', 'r', 'c', 'h', 'i', 'v', 'e'};
  Bytes archive = Pack({{"DATA\\Rock.jpg", rock}, {"DATA\\empty.txt", {}}}, true);
  AceArchive a;
  ASSERT_EQ(a.Open(archive.data(), archive.size()), 2);
  DataSource source;
  source.archive = &a;
  source.dataDir = dir.string();
  {
    DataSourceScope scope(source);
    DataFile f;
    f.Open("data\\rock.jpg", "rb");
    ASSERT_FALSE(f.HasError());
    EXPECT_TRUE(f.FromArchive());
    ASSERT_EQ(f.GetSize(), static_cast<int32_t>(rock.size()));
    EXPECT_EQ(0, std::memcmp(f.Data(), rock.data(), rock.size()));
    DataFile empty;
    empty.Open("data\\EMPTY.txt", "rb");
    EXPECT_FALSE(empty.HasError());
    EXPECT_TRUE(empty.FromArchive());
    EXPECT_EQ(empty.GetSize(), 0);
    DataFile loose;
    loose.Open("data\\loose.txt", "rb");
    ASSERT_FALSE(loose.HasError());
    EXPECT_FALSE(loose.FromArchive());
    EXPECT_EQ(loose.GetSize(), 5);
    a.FreeMembers();
    DataFile after;
    after.Open("data\\rock.jpg", "rb");
    ASSERT_FALSE(after.HasError());
    EXPECT_FALSE(after.FromArchive()) << "after the members are released only the disk is left";
  }
  fs::remove_all(dir);
}

TEST(AceArchive, OpensAFileByPathAndRefusesAMissingOne) {
  namespace fs = std::filesystem;
  const fs::path path = fs::temp_directory_path() / "quillon_ace_path_test.ace";
  Bytes archive = Pack({{"x.txt", testdata::Text(3000, 3)}}, false);
  FILE* f = std::fopen(path.string().c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(archive.data(), 1, archive.size(), f);
  std::fclose(f);
  AceArchive a;
  EXPECT_EQ(a.Open(path.string().c_str(), 0), 1);
  EXPECT_TRUE(a.Member(0).crcOk);
  fs::remove(path);
  EXPECT_EQ(a.Open(path.string().c_str(), 0), 0);
  EXPECT_EQ(a.Status(), AceStatus::kFileUnreadable);
  EXPECT_EQ(a.MemberCount(), 0);
}

TEST(AceArchive, MainHeaderMustStartTheArchive) {
  Bytes archive = Pack({{"a", testdata::Text(500, 1)}}, false);
  Bytes prefixed(100, 0x55);
  prefixed.insert(prefixed.end(), archive.begin(), archive.end());
  AceArchive a;
  EXPECT_EQ(a.Open(prefixed.data(), prefixed.size()), 0);
  EXPECT_EQ(a.Status(), AceStatus::kNoMainHeader);
  // A signature beyond the first 64 KiB is never seen.
  Bytes noSignature(70000, 0);
  EXPECT_EQ(a.Open(noSignature.data(), noSignature.size()), 0);
  EXPECT_EQ(a.Status(), AceStatus::kNoMainHeader);
  // A main header whose CRC fails is not accepted.
  archive[0] ^= 1;
  EXPECT_EQ(a.Open(archive.data(), archive.size()), 0);
  EXPECT_EQ(a.Status(), AceStatus::kNoMainHeader);
}

TEST(AceArchive, OtherHeadersAndEmptyDirectoryEntriesDoNotEndTheWalk) {
  Bytes archive = MainHeaderOnly();
  // A header of type 2 with 300 bytes of added data.
  Bytes other;
  other.push_back(2);
  Put16(&other, 0x0001);
  Put32(&other, 300);
  other.insert(other.end(), 10, 0);
  const size_t start = archive.size();
  Put16(&archive, 0);
  Put16(&archive, static_cast<uint32_t>(other.size()));
  archive.insert(archive.end(), other.begin(), other.end());
  FixHeaderCrc(&archive, start);
  archive.insert(archive.end(), 300, 0xAA);
  // A directory entry as later archivers write it: size 0, an unknown method, directory attribute.
  AppendFileHeader(&archive, "DATA", 0, 0xFFFFFFFF, 7, {}, 10, 0x10);
  const Bytes text = {'h', 'i', '!'};
  AppendFileHeader(&archive, "DATA\\hi.txt", 3, Crc(text.data(), 3), 0, text);
  AceArchive a;
  ASSERT_EQ(a.Open(archive.data(), archive.size()), 2);
  EXPECT_EQ(a.Status(), AceStatus::kOk);
  EXPECT_EQ(a.Member(0).size, 0);
  EXPECT_TRUE(a.Member(0).crcOk);
  EXPECT_NE(a.GetMemberData("data"), nullptr);
  EXPECT_EQ(a.GetMemberSize("data"), 0);
  EXPECT_EQ(0, std::memcmp(a.GetMemberData("data\\hi.txt"), "hi!", 3));
}

TEST(AceArchive, UnknownMethodAndTooLargeDictionaryEndTheWalkKeepingTheMember) {
  const Bytes text = {'a', 'b', 'c', 'd'};
  for (int which = 0; which < 2; ++which) {
    Bytes archive = MainHeaderOnly();
    AppendFileHeader(&archive, "one", 4, Crc(text.data(), 4), 0, text);
    if (which == 0)
      AppendFileHeader(&archive, "two", 4, 0, 5, text);
    else
      AppendFileHeader(&archive, "two", 4, 0, 1, text, 15);
    AppendFileHeader(&archive, "three", 4, Crc(text.data(), 4), 0, text);
    AceArchive a;
    EXPECT_EQ(a.Open(archive.data(), archive.size()), 2);
    EXPECT_EQ(a.Status(), which == 0 ? AceStatus::kUnknownMethod : AceStatus::kDictionaryTooSmall);
    EXPECT_TRUE(a.Member(0).crcOk);
    EXPECT_FALSE(a.Member(1).complete);
    EXPECT_EQ(a.Member(1).size, 4);
  }
}

TEST(AceArchive, DamagedDataKeepsTheMemberAndRecordsTheCrcFailure) {
  std::vector<Entry> entries = {{"a.txt", testdata::Text(40000, 11)}, {"b.bin", testdata::Scene(2000, 12)}};
  Bytes archive = Pack(entries, false);
  // Flip a bit well inside the first member's packed data.
  const size_t firstData = 4 + kMainHeaderFixedBytes + 4 + kFileHeaderFixedBytes + 5;
  archive[firstData + 2000] ^= 0x10;
  std::vector<std::string> reports;
  AceArchive a;
  a.SetReporter([](void* ctx, const char* line) { static_cast<std::vector<std::string>*>(ctx)->push_back(line); },
                &reports);
  ASSERT_EQ(a.Open(archive.data(), archive.size()), 2);
  EXPECT_FALSE(a.Member(0).crcOk);
  EXPECT_EQ(a.Member(0).size, 40000);
  EXPECT_TRUE(a.Member(1).crcOk);
  EXPECT_NE(a.GetMemberData("a.txt"), nullptr) << "a CRC failure keeps the member available";
  ASSERT_FALSE(reports.empty());
  EXPECT_NE(reports[0].find("a.txt"), std::string::npos);

  // A damaged header ends the walk; what came before stays.
  Bytes headerHit = Pack(entries, false);
  const size_t second = 4 + kMainHeaderFixedBytes;
  const size_t afterFirst = second + 4 + Get16(&headerHit[second + 2]) + Get32(&headerHit[second + 7]);
  headerHit[afterFirst + 10] ^= 1;
  EXPECT_EQ(a.Open(headerHit.data(), headerHit.size()), 1);
  EXPECT_EQ(a.Status(), AceStatus::kHeaderDamaged);
  EXPECT_EQ(a.StatusOffset(), afterFirst);
  EXPECT_TRUE(a.Member(0).crcOk);
}

TEST(AceArchive, TruncatedArchivesNeverCrashAndSayWhy) {
  std::vector<Entry> entries = {{"a.txt", testdata::Text(3000, 21)}, {"b", {}}, {"c.bin", testdata::Noise(700, 22)}};
  Bytes archive = Pack(entries, true);
  AceArchive a;
  int fullCount = 0;
  for (size_t cut = 0; cut <= archive.size(); ++cut) {
    Bytes part(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(cut));
    const int32_t n = part.empty() ? 0 : a.Open(part.data(), part.size());
    ASSERT_LE(n, 3);
    for (int32_t i = 0; i < n; ++i) ASSERT_EQ(a.Member(i).size, static_cast<int32_t>(entries[static_cast<size_t>(i)].data.size()));
    if (cut == archive.size()) {
      EXPECT_EQ(a.Status(), AceStatus::kOk);
      fullCount = n;
    } else if (n > 0 && a.Status() == AceStatus::kOk) {
      // Only a cut exactly between a member and the next header reads as a clean end.
      EXPECT_TRUE(a.Member(n - 1).complete && a.Member(n - 1).crcOk) << cut;
    }
  }
  EXPECT_EQ(fullCount, 3);
}

TEST(AceArchive, ClaimedSizesTheDataCannotHoldAreRefusedBeforeAllocating) {
  Bytes archive = MainHeaderOnly();
  const Bytes text = {'o', 'k'};
  AppendFileHeader(&archive, "ok", 2, Crc(text.data(), 2), 0, text);
  AppendFileHeader(&archive, "huge", 0x7FFFFFF0u, 0, 1, Bytes(16, 0));
  AceArchive a;
  EXPECT_EQ(a.Open(archive.data(), archive.size()), 1);
  EXPECT_EQ(a.Status(), AceStatus::kMemberSizeInvalid);
  Bytes negative = MainHeaderOnly();
  AppendFileHeader(&negative, "neg", 0x80000000u, 0, 0, Bytes(16, 0));
  EXPECT_EQ(a.Open(negative.data(), negative.size()), 0);
  EXPECT_EQ(a.Status(), AceStatus::kMemberSizeInvalid);
  // A file header too short for its own name is damaged.
  Bytes shortName = MainHeaderOnly();
  AppendFileHeader(&shortName, "name", 0, 0xFFFFFFFF, 0, {});
  shortName[shortName.size() - 4 - 2] = 200;  // name length 200 in a header that holds 4
  FixHeaderCrc(&shortName, 4 + kMainHeaderFixedBytes);
  EXPECT_EQ(a.Open(shortName.data(), shortName.size()), 0);
  EXPECT_EQ(a.Status(), AceStatus::kHeaderDamaged);
}

TEST(AceArchive, CorruptStreamsStayInsideTheirBuffers) {
  // Random damage all over a packed archive: the walk must stay in bounds (the sanitizer
  // build checks that) and never give a member more or fewer bytes than its header says.
  Bytes good = Pack({{"a.txt", testdata::Text(20000, 31)}, {"b.scx", testdata::Scene(3000, 32)},
                     {"c.img", testdata::Image(80, 60, 33)}},
                    true);
  uint32_t seed = 99;
  for (int round = 0; round < 300; ++round) {
    Bytes bad = good;
    const int flips = 1 + static_cast<int>(testdata::Next(&seed) % 8);
    for (int f = 0; f < flips; ++f) {
      const size_t at = 4 + kMainHeaderFixedBytes + testdata::Next(&seed) % (bad.size() - 31);
      bad[at] = static_cast<uint8_t>(testdata::Next(&seed));
      if (round % 2 == 0) {
        // Keep the headers valid so damage reaches the decoder.
        size_t h = 4 + kMainHeaderFixedBytes;
        while (h + 4 <= bad.size()) {
          const uint16_t hs = Get16(&bad[h + 2]);
          if (h + 4 + hs > bad.size()) break;
          FixHeaderCrc(&bad, h);
          h += 4 + hs + ((bad[h + 5] & 1) && hs >= 7 ? Get32(&bad[h + 7]) : 0);
        }
      }
    }
    AceArchive a;
    const int32_t n = a.Open(bad.data(), bad.size());
    for (int32_t i = 0; i < n; ++i) {
      const ArchiveMember& m = a.Member(i);
      ASSERT_GE(m.size, 0);
      ASSERT_NE(m.data, nullptr);
      if (m.size) {
        volatile uint8_t touch = m.data[m.size - 1];
        (void)touch;
      }
    }
  }
}

TEST(AceArchive, MatchesOfEveryShortPeriodAndLengthRoundTrip) {
  // Repeats of periods 1 to 24 over many lengths, between bits of noise: the packer turns them
  // into overlapping and plain matches of all the sizes the copy treats differently.
  Bytes data;
  uint32_t seed = 5;
  for (int period = 1; period <= 24; ++period) {
    for (int length : {2, 3, 4, 5, 7, 8, 9, 12, 15, 16, 17, 23, 31, 40, 64, 100, 259}) {
      for (int i = 0; i < 5; ++i) data.push_back(static_cast<uint8_t>(testdata::Next(&seed)));
      const size_t start = data.size();
      for (int i = 0; i < period; ++i) data.push_back(static_cast<uint8_t>(testdata::Next(&seed)));
      for (int i = 0; i < length; ++i) data.push_back(data[start + static_cast<size_t>(i)]);
    }
  }
  Bytes archive = Pack({{"periods", data}}, false);
  AceArchive a;
  ASSERT_EQ(a.Open(archive.data(), archive.size()), 1);
  ASSERT_EQ(a.Member(0).method, 1);
  EXPECT_EQ(Bytes(a.Member(0).data, a.Member(0).data + a.Member(0).size), data);
  EXPECT_TRUE(a.Member(0).crcOk);
}

namespace {

// The table of an archive without the member bytes: what SetKeepData(false) keeps.
std::string TableOf(const AceArchive& a) {
  std::string s = std::to_string(static_cast<int>(a.Status())) + "@" + std::to_string(a.StatusOffset()) + ":";
  for (int32_t i = 0; i < a.MemberCount(); ++i) {
    const ArchiveMember& m = a.Member(i);
    s += std::string(m.name) + "," + std::to_string(m.size) + "," + std::to_string(m.complete) + std::to_string(m.crcOk) + ";";
  }
  return s;
}

std::string Contents(const AceArchive& a) {
  std::string s = TableOf(a);
  for (int32_t i = 0; i < a.MemberCount(); ++i) s.append(reinterpret_cast<const char*>(a.Member(i).data), static_cast<size_t>(a.Member(i).size));
  return s;
}

// Good, damaged and cut copies of one archive.
std::vector<Bytes> Variants(const Bytes& good) {
  std::vector<Bytes> v = {good};
  uint32_t seed = 77;
  for (int round = 0; round < 12; ++round) {
    Bytes bad = good;
    bad[40 + testdata::Next(&seed) % (bad.size() - 40)] ^= static_cast<uint8_t>(1 + testdata::Next(&seed) % 255);
    v.push_back(bad);
  }
  for (size_t cut : {size_t{10}, size_t{100}, good.size() / 3, size_t{65536}, size_t{65537}, good.size() - 1})
    if (cut < good.size()) v.push_back(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)));
  return v;
}

}  // namespace

TEST(AceArchive, WithoutKeepingDataTheTableAndChecksAreTheSame) {
  for (const Bytes& bytes : Variants(Pack(MixedEntries(), true))) {
    AceArchive kept;
    AceArchive checked;
    checked.SetKeepData(false);
    const int32_t n = kept.Open(bytes.data(), bytes.size());
    ASSERT_EQ(checked.Open(bytes.data(), bytes.size()), n);
    EXPECT_EQ(TableOf(checked), TableOf(kept));
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(checked.Member(i).data, nullptr);
  }
}

TEST(AceArchive, AFileReadThroughAWindowGivesWhatMemoryGives) {
  namespace fs = std::filesystem;
  // Larger than the 64 KiB window, with members and headers across its edges.
  std::vector<Entry> entries = MixedEntries();
  for (int i = 0; i < 30; ++i) entries.push_back({"DATA\\n" + std::to_string(i), testdata::Noise(4000 + 77 * static_cast<size_t>(i), 40 + static_cast<uint32_t>(i))});
  const Bytes good = Pack(entries, true);
  ASSERT_GT(good.size(), 3u * 65536);
  const fs::path path = fs::temp_directory_path() / ("quillon_ace_window_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  for (const Bytes& bytes : Variants(good)) {
    FILE* f = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    AceArchive inMemory;
    AceArchive fromFile;
    inMemory.Open(bytes.data(), bytes.size());
    f = std::fopen(path.string().c_str(), "rb");
    ASSERT_NE(f, nullptr);
    fromFile.OpenFile(f);
    std::fclose(f);
    EXPECT_EQ(Contents(fromFile), Contents(inMemory)) << bytes.size() << " bytes";
  }
  // A header whose added data (skipped, not read) runs past the window, then a member.
  {
    Bytes skipping = MainHeaderOnly();
    Bytes other = {2};
    Put16(&other, 0x0001);
    Put32(&other, 100000);
    const size_t start = skipping.size();
    Put16(&skipping, 0);
    Put16(&skipping, static_cast<uint32_t>(other.size()));
    skipping.insert(skipping.end(), other.begin(), other.end());
    FixHeaderCrc(&skipping, start);
    skipping.insert(skipping.end(), 100000, 0xAA);
    const Bytes text = {'a', 'f', 't', 'e', 'r'};
    AppendFileHeader(&skipping, "after", 5, Crc(text.data(), 5), 0, text);
    FILE* f = std::fopen(path.string().c_str(), "wb");
    std::fwrite(skipping.data(), 1, skipping.size(), f);
    std::fclose(f);
    f = std::fopen(path.string().c_str(), "rb");
    AceArchive a;
    EXPECT_EQ(a.OpenFile(f), 1);
    std::fclose(f);
    EXPECT_EQ(a.Status(), AceStatus::kOk);
    ASSERT_NE(a.GetMemberData("after"), nullptr);
    EXPECT_EQ(0, std::memcmp(a.GetMemberData("after"), "after", 5));
  }
  // An empty file and one that is no archive.
  for (const Bytes& bytes : {Bytes{}, Bytes(70000, 'x')}) {
    FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    f = std::fopen(path.string().c_str(), "rb");
    AceArchive a;
    EXPECT_EQ(a.OpenFile(f), 0);
    EXPECT_EQ(a.Status(), AceStatus::kNoMainHeader);
    std::fclose(f);
  }
  fs::remove(path);
}

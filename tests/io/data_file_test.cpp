#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "archive/member_lookup.h"
#include "io/data_file.h"

namespace {

namespace fs = std::filesystem;

// An archive stand-in holding named byte strings, case-insensitive like the real one.
class FakeArchive : public MemberLookup {
 public:
  void Add(std::string name, std::string bytes) { members_[Upper(name)] = std::move(bytes); }
  const uint8_t* GetMemberData(const char* name) const override {
    auto it = members_.find(Upper(name));
    return it == members_.end() ? nullptr : reinterpret_cast<const uint8_t*>(it->second.data());
  }
  int32_t GetMemberSize(const char* name) const override {
    auto it = members_.find(Upper(name));
    return it == members_.end() ? -1 : static_cast<int32_t>(it->second.size());
  }

 private:
  static std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  }
  std::map<std::string, std::string> members_;
};

class DataFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quillon_datafile_" + std::to_string(::getpid()));
    fs::create_directories(dir_ / "data");
  }
  void TearDown() override { fs::remove_all(dir_); }
  void Write(const std::string& rel, const std::string& bytes) {
    std::ofstream(dir_ / rel, std::ios::binary) << bytes;
  }
  DataSource Source(const MemberLookup* archive = nullptr) { return DataSource{archive, dir_.string()}; }
  fs::path dir_;
};

DataFile* OpenBytes(DataFile& f, const std::string& bytes) {
  return f.OpenMemory(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()));
}

TEST_F(DataFileTest, ArchiveWinsOverDiskAndIgnoresCase) {
  FakeArchive archive;
  archive.Add("DATA\\Rock.jpg", "archive bytes");
  Write("data/rock.jpg", "disk bytes");
  DataSourceScope scope(Source(&archive));
  DataFile f;
  f.Open("data\\ROCK.JPG", "rb");
  ASSERT_FALSE(f.HasError());
  EXPECT_TRUE(f.FromArchive());
  EXPECT_EQ(f.GetSize(), 13);
  char text[14] = {};
  f.Read(text, 13);
  EXPECT_STREQ(text, "archive bytes");
  const uint8_t* member = f.Data();
  f.Close();
  f.Close();
  // The archive's bytes are the archive's: closing leaves them alone.
  EXPECT_EQ(std::memcmp(member, "archive bytes", 13), 0);
}

TEST_F(DataFileTest, DiskFallbackTurnsBackslashesIntoSlashes) {
  FakeArchive archive;
  Write("data/city.scx", "xyz");
  DataSourceScope scope(Source(&archive));
  DataFile f;
  f.Open("data\\city.scx", "rb");
  ASSERT_FALSE(f.HasError());
  EXPECT_FALSE(f.FromArchive());
  EXPECT_EQ(f.GetSize(), 3);
}

TEST_F(DataFileTest, MissingAndEmptyFilesFail) {
  Write("data/empty.bin", "");
  DataSourceScope scope(Source());
  DataFile missing, empty;
  EXPECT_EQ(missing.Open("data\\nothing.bin", "rb")->HasError(), 1);
  EXPECT_EQ(empty.Open("data\\empty.bin", "rb")->HasError(), 1);
  char c = 'q';
  EXPECT_EQ(missing.Read(&c, 1), 0u);
  EXPECT_EQ(c, 'q');
  std::string line = "old";
  EXPECT_EQ(missing.ReadLine(&line), 0);
  EXPECT_EQ(line, "");
}

TEST(DataFile, ReadsStopAtTheEnd) {
  std::string bytes = "0123456789abcd";
  DataFile f;
  OpenBytes(f, bytes);
  char buf[16];
  EXPECT_EQ(f.Read(buf, 10), 10u);
  EXPECT_EQ(f.Read(buf, 10), 4u);
  EXPECT_EQ(f.Read(buf, 10), 0u);
  EXPECT_EQ(f.ReadInt(buf), 0u);
}

TEST(DataFile, SkipBackReadsTheSameIntAgain) {
  std::string bytes("\x01\x02\x03\x04\x05", 5);
  DataFile f;
  OpenBytes(f, bytes);
  int32_t a = 0, b = 0;
  EXPECT_EQ(f.ReadInt(&a), 4u);
  f.Skip(-4);
  EXPECT_EQ(f.ReadInt(&b), 4u);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, 0x04030201);
  EXPECT_EQ(f.ReadInt(&b), 1u);  // a read that straddles the end returns the shorter count
}

TEST(DataFile, ReadLineSplitsOnCrLfAndKeepsLoneLf) {
  std::string bytes = "abc\r\nde";
  DataFile f;
  OpenBytes(f, bytes);
  std::string line;
  EXPECT_EQ(f.ReadLine(&line), 1);
  EXPECT_EQ(line, "abc");
  EXPECT_EQ(f.ReadLine(&line), 0);
  EXPECT_EQ(line, "de");

  std::string last = "abc\r";
  OpenBytes(f, last);
  EXPECT_EQ(f.ReadLine(&line), 0);
  EXPECT_EQ(line, "abc");

  std::string lf = "a\nb\r\n";
  OpenBytes(f, lf);
  EXPECT_EQ(f.ReadLine(&line), 1);
  EXPECT_EQ(line, "a\nb");

  std::string blank = "\r\nx\r\n";
  OpenBytes(f, blank);
  EXPECT_EQ(f.ReadLine(&line), 1);
  EXPECT_EQ(line, "");
}

TEST(DataFile, LongLinesAreCutAt127WithoutOverrunningAndTheRestIsConsumed) {
  std::string bytes(1000, 'x');
  bytes += "\r\nnext\r\n";
  DataFile f;
  OpenBytes(f, bytes);
  std::string line;
  EXPECT_EQ(f.ReadLine(&line), 1);
  EXPECT_EQ(line, std::string(127, 'x'));
  EXPECT_EQ(f.ReadLine(&line), 1);
  EXPECT_EQ(line, "next");
}

TEST(DataFile, ReadStringStopsAfterTheZeroAndRespectsCapacity) {
  std::string bytes("name\0next", 9);
  DataFile f;
  OpenBytes(f, bytes);
  char out[16];
  f.ReadString(out, sizeof out);
  EXPECT_STREQ(out, "name");
  char n = 0;
  f.ReadByte(&n);
  EXPECT_EQ(n, 'n');

  std::string longer("abcdefghij\0z", 12);
  OpenBytes(f, longer);
  char small[4];
  f.ReadString(small, sizeof small);
  EXPECT_STREQ(small, "abc");
  f.ReadByte(&n);
  EXPECT_EQ(n, 'z');  // the rest of the long string was consumed

  std::string cut = "unterminated";
  OpenBytes(f, cut);
  f.ReadString(out, sizeof out);
  EXPECT_STREQ(out, "unterminated");
}

TEST(DataFile, DiskPathFor) {
  EXPECT_EQ(DiskPathFor("", "data\\a.jpg"), "data/a.jpg");
  EXPECT_EQ(DiskPathFor("/show", "data\\a.jpg"), "/show/data/a.jpg");
  EXPECT_EQ(DiskPathFor("/show/", "script.txt"), "/show/script.txt");
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

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

TEST_F(DataFileTest, EachFailedOpenSaysWhy) {
  Write("data/empty.bin", "");
  fs::create_directories(dir_ / "data" / "folder.jpg");
  DataFile f;
  {
    DataSourceScope scope(Source());
    EXPECT_EQ(f.Open("data\\nothing.bin", "rb")->Problem(), OpenProblem::kNotFound);
    EXPECT_EQ(f.Open("data\\empty.bin", "rb")->Problem(), OpenProblem::kEmpty);
    EXPECT_EQ(f.Open("data\\folder.jpg", "rb")->Problem(), OpenProblem::kDirectory);
    EXPECT_EQ(f.HasError(), 1);
    EXPECT_EQ(f.GetSize(), 0);
  }
  {
    DataSourceScope scope(DataSource{nullptr, (dir_ / "nowhere").string()});
    EXPECT_EQ(f.Open("script.txt", "rb")->Problem(), OpenProblem::kNoDataDir);
  }
  OpenBytes(f, "x");
  EXPECT_EQ(f.Problem(), OpenProblem::kNone);
  EXPECT_STREQ(OpenProblemText(OpenProblem::kEmpty), "empty (0 bytes)");
}

// Loose files come from inside the data directory only, even when the file outside exists.
TEST_F(DataFileTest, NamesThatLeaveTheDataDirectoryAreRefused) {
  fs::create_directories(dir_ / "show" / "data");
  Write("secret.txt", "outside");
  Write("show/inside.txt", "inside");
  DataSourceScope scope(DataSource{nullptr, (dir_ / "show").string()});
  DataFile f;
  const std::vector<std::string> outside = {"..\\secret.txt", "data\\..\\..\\secret.txt", "data/../../secret.txt",
                                           (dir_ / "secret.txt").string(), "\\secret.txt"};
  for (const std::string& name : outside) {
    EXPECT_EQ(f.Open(name.c_str(), "rb")->Problem(), OpenProblem::kOutsideDataDir) << name;
    EXPECT_EQ(f.Data(), nullptr) << name;
  }
  // Climbing down and up again stays inside.
  ASSERT_EQ(f.Open("data\\..\\inside.txt", "rb")->HasError(), 0);
  EXPECT_EQ(f.GetSize(), 6);

  // An archive member is looked up by its name whatever it holds: nothing is opened on disk.
  FakeArchive archive;
  archive.Add("..\\packed.txt", "member");
  DataSourceScope withArchive(DataSource{&archive, (dir_ / "show").string()});
  EXPECT_EQ(f.Open("..\\packed.txt", "rb")->HasError(), 0);
}

TEST(DataFile, NameStaysInsideFollowsTheClimb) {
  EXPECT_TRUE(NameStaysInside("data\\rock.jpg"));
  EXPECT_TRUE(NameStaysInside("data\\..\\script.txt"));
  EXPECT_TRUE(NameStaysInside("data\\.\\sub\\..\\rock.jpg"));
  EXPECT_TRUE(NameStaysInside("data\\..bak\\rock.jpg"));  // a name that starts with dots is a name
  EXPECT_FALSE(NameStaysInside("..\\x"));
  EXPECT_FALSE(NameStaysInside("data\\..\\..\\x"));
  EXPECT_FALSE(NameStaysInside("data/sub/../../../etc/passwd"));
  EXPECT_FALSE(NameStaysInside("/etc/passwd"));
  EXPECT_FALSE(NameStaysInside("\\x"));
  EXPECT_FALSE(NameStaysInside("\\\\server\\share\\x"));
  EXPECT_FALSE(NameStaysInside("C:\\x"));
  EXPECT_FALSE(NameStaysInside("c:x"));
  EXPECT_FALSE(NameStaysInside("data\\x.jpg:stream"));
  // Windows drops trailing dots and blanks, so these climb there.
  EXPECT_FALSE(NameStaysInside("data\\...\\..\\x"));
  EXPECT_FALSE(NameStaysInside("data\\.. \\.. \\x"));
}

// A text without any CR is read with LF line ends, giving what its CR LF twin gives.
TEST(DataFile, LfLinesReadLikeTheirCrLfTwin) {
  for (const std::string& body : std::vector<std::string>{"a\nbc\n\nd\n", "a\nbc\n\nd"}) {
    std::string twin;
    for (char c : body) twin += c == '\n' ? std::string("\r\n") : std::string(1, c);
    DataFile lf, crlf;
    OpenBytes(lf, body);
    OpenBytes(crlf, twin);
    EXPECT_FALSE(lf.HoldsCr());
    EXPECT_TRUE(crlf.HoldsCr());
    for (int i = 0; i < 6; ++i) {
      std::string a, b;
      int moreA = lf.ReadLine(&a, true);
      int moreB = crlf.ReadLine(&b);
      EXPECT_EQ(a, b) << i;
      EXPECT_EQ(moreA, moreB) << i;
    }
  }
}

TEST(DataFile, LastLineCutTellsALineLongerThanALineKeeps) {
  std::string bytes = std::string(127, 'x') + "\r\n" + std::string(128, 'y') + "\r\n";
  DataFile f;
  OpenBytes(f, bytes);
  std::string line;
  f.ReadLine(&line);
  EXPECT_FALSE(f.LastLineCut());
  f.ReadLine(&line);
  EXPECT_TRUE(f.LastLineCut());
  EXPECT_EQ(line, std::string(127, 'y'));
}

TEST(DataFile, DiskPathFor) {
  EXPECT_EQ(DiskPathFor("", "data\\a.jpg"), "data/a.jpg");
  EXPECT_EQ(DiskPathFor("/show", "data\\a.jpg"), "/show/data/a.jpg");
  EXPECT_EQ(DiskPathFor("/show/", "script.txt"), "/show/script.txt");
}

}  // namespace

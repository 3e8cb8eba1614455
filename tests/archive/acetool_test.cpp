#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "archive/ace_packer.h"
#include "archive/member_path.h"
#include "test_data.h"

namespace fs = std::filesystem;

namespace {

struct Result {
  int status;
  std::string output;
};

std::string ToolPath() { return std::string(QUILLON_BINARY_DIR) + "/acetool"; }

Result RunTool(const std::string& args) {
  const std::string cmd = "'" + ToolPath() + "' " + args + " 2>&1";
  Result r{-1, {}};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), p)) > 0) r.output.append(buf, n);
  const int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& data) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class AceToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(ToolPath())) GTEST_SKIP() << "acetool is not built";
    dir_ = fs::temp_directory_path() / ("quillon_acetool_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  fs::path dir_;
};

}  // namespace

TEST(SafeMemberPath, RefusesEscapesAndNormalisesSeparators) {
  std::string path, why;
  EXPECT_TRUE(SafeMemberPath("DATA\\rock.jpg", &path, &why));
  EXPECT_EQ(path, "DATA/rock.jpg");
  EXPECT_TRUE(SafeMemberPath("a\\.\\b//c", &path, &why));
  EXPECT_EQ(path, "a/b/c");
  EXPECT_TRUE(SafeMemberPath("..a\\b..", &path, &why)) << "dots inside a name are fine";
  for (const char* bad : {"..\\..\\evil", "/tmp/evil", "\\evil", "a\\..\\..\\evil", "a/../b", "..", "C:\\evil",
                          "c:evil", "", "\\", "./.", "a\\.."}) {
    EXPECT_FALSE(SafeMemberPath(bad, &path, &why)) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
}

TEST_F(AceToolTest, PacksTestsAndExtractsATreeByteExactly) {
  const fs::path tree = dir_ / "tree";
  WriteFile(tree / "script.txt", testdata::Text(20000, 1));
  WriteFile(tree / "scenes" / "city.scx", testdata::Scene(4000, 2));
  WriteFile(tree / "scenes" / "deep" / "rock.jpg", testdata::Noise(9000, 3));
  WriteFile(tree / "empty.bin", {});
  WriteFile(tree / "sky.png", testdata::Image(90, 70, 4));
  for (const char* mode : {"", " --solid"}) {
    SCOPED_TRACE(mode);
    const std::string archive = (dir_ / "t.ace").string();
    Result a = RunTool("a '" + archive + "' '" + tree.string() + "'" + mode);
    ASSERT_EQ(a.status, 0) << a.output;
    Result t = RunTool("t '" + archive + "'");
    EXPECT_EQ(t.status, 0) << t.output;
    EXPECT_NE(t.output.find("all 5 members ok"), std::string::npos) << t.output;
    Result l = RunTool("l '" + archive + "'");
    EXPECT_EQ(l.status, 0) << l.output;
    EXPECT_NE(l.output.find("scenes\\deep\\rock.jpg"), std::string::npos) << l.output;
    const fs::path out = dir_ / "out";
    fs::remove_all(out);
    Result x = RunTool("x '" + archive + "' '" + out.string() + "'");
    ASSERT_EQ(x.status, 0) << x.output;
    for (const auto& entry : fs::recursive_directory_iterator(tree)) {
      if (!entry.is_regular_file()) continue;
      const fs::path extracted = out / fs::relative(entry.path(), "/");
      ASSERT_TRUE(fs::exists(extracted)) << extracted;
      EXPECT_EQ(ReadFile(extracted), ReadFile(entry.path())) << extracted;
    }
  }
}

TEST_F(AceToolTest, PrefixIsPrependedToStoredNames) {
  WriteFile(dir_ / "a.txt", {'a'});
  const std::string archive = (dir_ / "p.ace").string();
  Result a = RunTool("a '" + archive + "' '" + (dir_ / "a.txt").string() + "' --prefix DATA/sub");
  ASSERT_EQ(a.status, 0) << a.output;
  Result l = RunTool("l '" + archive + "'");
  const std::string expected = "DATA\\sub\\" + fs::relative(dir_ / "a.txt", "/").generic_string();
  std::string stored = expected;
  for (char& c : stored)
    if (c == '/') c = '\\';
  EXPECT_NE(l.output.find(stored), std::string::npos) << l.output;
}

TEST_F(AceToolTest, PrefixesThatCouldLeaveTheTargetAreRefused) {
  WriteFile(dir_ / "a.txt", {'a'});
  const std::string archive = (dir_ / "p.ace").string();
  const std::string input = " '" + (dir_ / "a.txt").string() + "'";
  for (const char* bad : {"..\\..\\", "../x", "a\\..\\..", "/abs", "\\abs", "C:\\x", "c:x"}) {
    Result a = RunTool("a '" + archive + "'" + input + " --prefix '" + bad + "'");
    EXPECT_EQ(a.status, 1) << bad;
    EXPECT_NE(a.output.find("refusing prefix '" + std::string(bad) + "'"), std::string::npos) << a.output;
    EXPECT_FALSE(fs::exists(archive)) << bad;
  }
  // Harmless prefixes are kept in their plain form.
  for (const auto& [given, stored] : {std::pair<std::string, std::string>{"./", ""}, {"a/./b//", "a\\b\\"}}) {
    Result a = RunTool("a '" + archive + "'" + input + " --prefix '" + given + "'");
    ASSERT_EQ(a.status, 0) << a.output;
    Result l = RunTool("l '" + archive + "'");
    std::string name = stored + fs::relative(dir_ / "a.txt", "/").generic_string();
    for (char& c : name)
      if (c == '/') c = '\\';
    EXPECT_NE(l.output.find("  " + name + "\n"), std::string::npos) << given << "\n" << l.output;
  }
}

TEST_F(AceToolTest, ExtractionNeverLeavesTheTargetDirectory) {
  const fs::path target = dir_ / "in" / "target";
  fs::create_directories(target);
  const fs::path outside = dir_ / "outside";
  fs::create_directories(outside);
  // A link inside the target pointing out of it must not be followed.
  fs::create_directory_symlink(outside, target / "link");
  const std::string absoluteName = (dir_ / "abs_evil").string();

  AcePacker packer(false);
  const uint8_t evil[] = {'e', 'v', 'i', 'l'};
  packer.AddMember("..\\..\\evil", evil, 4);
  packer.AddMember(absoluteName, evil, 4);
  packer.AddMember("link\\evil", evil, 4);
  packer.AddMember("good\\file.txt", evil, 4);
  const fs::path archive = dir_ / "evil.ace";
  WriteFile(archive, packer.Bytes());

  Result x = RunTool("x '" + archive.string() + "' '" + target.string() + "'");
  EXPECT_NE(x.status, 0);
  EXPECT_NE(x.output.find("'..\\..\\evil': name with a '..' component"), std::string::npos) << x.output;
  EXPECT_NE(x.output.find("absolute name"), std::string::npos) << x.output;
  EXPECT_NE(x.output.find("symbolic link"), std::string::npos) << x.output;
  EXPECT_FALSE(fs::exists(dir_ / "evil"));
  EXPECT_FALSE(fs::exists(dir_ / "in" / "evil"));
  EXPECT_FALSE(fs::exists(absoluteName));
  EXPECT_FALSE(fs::exists(outside / "evil"));
  EXPECT_EQ(ReadFile(target / "good" / "file.txt"), std::vector<uint8_t>(evil, evil + 4));
}

TEST_F(AceToolTest, DamagedOrForeignInputFailsWithAMessage) {
  Result missing = RunTool("t '" + (dir_ / "none.ace").string() + "'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.output.find("cannot read"), std::string::npos) << missing.output;

  WriteFile(dir_ / "text.ace", testdata::Text(500, 1));
  Result foreign = RunTool("l '" + (dir_ / "text.ace").string() + "'");
  EXPECT_EQ(foreign.status, 1);
  EXPECT_NE(foreign.output.find("not an ACE archive"), std::string::npos) << foreign.output;

  AcePacker packer(true);
  const std::vector<uint8_t> text = testdata::Text(30000, 5);
  packer.AddMember("a.txt", text.data(), text.size());
  packer.AddMember("b.txt", text.data(), text.size());
  std::vector<uint8_t> bytes = packer.Bytes();
  bytes[31 + 4 + 31 + 5 + 1000] ^= 0x40;  // inside a.txt's packed data
  WriteFile(dir_ / "bad.ace", bytes);
  Result t = RunTool("t '" + (dir_ / "bad.ace").string() + "'");
  EXPECT_EQ(t.status, 1);
  EXPECT_NE(t.output.find("FAILED  a.txt"), std::string::npos) << t.output;

  bytes = packer.Bytes();
  bytes.resize(bytes.size() - 100);
  WriteFile(dir_ / "cut.ace", bytes);
  Result cut = RunTool("t '" + (dir_ / "cut.ace").string() + "'");
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.output.find("truncated"), std::string::npos) << cut.output;

  EXPECT_EQ(RunTool("q x").status, 2);
}

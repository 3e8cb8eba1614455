// Broken loose-file shows: `quillon --info` (and the player) name the file and the reason and
// exit non-zero, instead of playing nothing or calling the show loaded.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/demo_app.h"
#include "tests/show/test_show.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code = 0;
  std::string out;
  std::string err;
};

Outcome Quillon(std::vector<std::string> args) {
  args.insert(args.begin(), "quillon");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Outcome o;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  o.code = RunPlayer(static_cast<int>(args.size()), argv.data());
  o.out = testing::internal::GetCapturedStdout();
  o.err = testing::internal::GetCapturedStderr();
  return o;
}

Outcome Info(const std::string& dir) { return Quillon({"--info", "--no-archive", "--data-dir", dir}); }

// The test show, with its one texture foreground made a fullscreen image so that it passes.
std::vector<std::string> GoodScript() {
  std::vector<std::string> script = testshow::ScriptLines();
  script[3] = "green.png fullscreen";
  return script;
}

void WriteScript(const std::string& dir, const std::vector<std::string>& lines) {
  testimg::WriteFile(dir + "/script.txt", testshow::ScriptBytes(lines));
}

#define EXPECT_HAS(text, part) EXPECT_NE((text).find(part), std::string::npos) << (text)

TEST(BrokenShow, TheGoodTestShowPasses) {
  const std::string dir = testshow::WriteShow("broken_good", GoodScript());
  Outcome o = Info(dir);
  EXPECT_EQ(o.code, 0) << o.out << o.err;
  EXPECT_HAS(o.out, "everything the script names is loaded");
}

// Case 1: names that climb out of the data directory are refused, even where a file is there.
TEST(BrokenShow, NamesThatLeaveTheDataDirectoryAreRefused) {
  const std::string root = testimg::FreshDir("broken_escape");
  const std::string dir = root + "/show";
  fs::create_directories(dir);
  testimg::WriteFile(root + "/x.jpg", testimg::EncodeJpeg(8, 8, testshow::SolidRgb(8, 8, 200, 0, 0)));
  std::vector<std::string> script = GoodScript();
  script.insert(script.begin() + 1, "..\\..\\x.jpg");
  script.insert(script.begin() + 10, "../../../etc/passwd");
  testshow::WritePictures(dir);
  testshow::WriteScenes(dir);
  WriteScript(dir, script);
  Outcome o = Info(dir);
  EXPECT_EQ(o.code, 1);
  EXPECT_HAS(o.out, "..\\..\\x.jpg: name leaves the data directory (refused)");
  EXPECT_HAS(o.out, "../../../etc/passwd: name leaves the data directory (refused)");
  // Never opened, so never in the tables.
  EXPECT_EQ(o.out.find("  ..\\..\\x.jpg\n"), std::string::npos) << o.out;
}

// Case 2: no script, or one that gives no show, is not "nothing to play".
TEST(BrokenShow, NoScriptSaysWhatIsMissingAndFails) {
  const std::string root = testimg::FreshDir("broken_noscript");
  {
    Outcome o = Info(root);
    EXPECT_EQ(o.code, 1);
    EXPECT_HAS(o.out, root + "/script.txt: not found");
    EXPECT_HAS(o.err, root + "/script.txt: not found");
    EXPECT_EQ(o.out.find("everything the script names is loaded"), std::string::npos);
  }
  {
    Outcome o = Info(root + "/nowhere");
    EXPECT_EQ(o.code, 1);
    EXPECT_HAS(o.out, "data directory '" + root + "/nowhere' does not exist");
  }
  fs::create_directories(root + "/script.txt");
  {
    Outcome o = Info(root);
    EXPECT_EQ(o.code, 1);
    EXPECT_HAS(o.out, root + "/script.txt: is a directory, not a file");
  }
  fs::remove(root + "/script.txt");
  std::vector<uint8_t> noise(4096);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  testimg::WriteFile(root + "/script.txt", noise);
  {
    Outcome o = Info(root);
    EXPECT_EQ(o.code, 1);
    EXPECT_HAS(o.out, "script.txt has 0 [part] section(s); a show needs at least two (it is not text");
  }
  // The player, the render and the single frame refuse it too.
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"--headless", "--no-sound"}, {"--frame", "1", root + "/f.png"},
        {"--render", root + "/frames"}}) {
    std::vector<std::string> args = command;
    args.insert(args.end(), {"--no-archive", "--data-dir", root});
    Outcome o = Quillon(args);
    EXPECT_EQ(o.code, 1) << command[0];
    EXPECT_HAS(o.err, "script.txt has 0 [part] section(s)");
  }
}

// Case 3: a script with LF line ends gives what its CR LF twin gives.
TEST(BrokenShow, LfOnlyScriptReportsLikeItsCrLfTwin) {
  for (const std::vector<std::string>& script : {GoodScript(), testshow::ScriptLines()}) {
    const std::string crlfDir = testshow::WriteShow("broken_crlf", script);
    const std::string lfDir = testshow::WriteShow("broken_lf", script);
    std::string lf;
    for (const std::string& line : script) lf += line + "\n";
    testimg::WriteFile(lfDir + "/script.txt", std::vector<uint8_t>(lf.begin(), lf.end()));
    Outcome a = Info(crlfDir);
    Outcome b = Info(lfDir);
    EXPECT_EQ(a.code, b.code);
    EXPECT_EQ(a.out, b.out);
    EXPECT_HAS(b.out, "timeline: 4 parts");
  }
}

// Case 4: what used to pass as loaded.
TEST(BrokenShow, InfoNamesEveryHiddenProblem) {
  std::vector<std::string> script = GoodScript();
  // Part 0's camera names nothing in box.scx; part 1's is empty; part 2 draws a texture as its
  // foreground; part 1 ends before part 0, part 2 before zero.
  script[24] = "1000";     // part 1 would end at 4000
  script[26] = "";         // part 1's camera
  script[21] = "nocam";    // part 0's added scene's camera
  script[43] = "-5";       // part 2 would end at 6000
  script[47] = "red.jpg";  // part 2's foreground: a texture
  std::string dir = testshow::WriteShow("broken_hidden", script);
  // A JPEG cut off mid-scan, and a star mesh claiming far more than its bytes.
  std::vector<uint8_t> busy(128 * 128 * 3);
  for (size_t i = 0; i < busy.size(); ++i) busy[i] = static_cast<uint8_t>((i * 2654435761u) >> 24);
  std::vector<uint8_t> jpeg = testimg::EncodeJpeg(128, 128, busy);
  jpeg.resize(jpeg.size() * 2 / 3);
  testimg::WriteFile(dir + "/data/glow.jpg", jpeg);
  std::vector<uint8_t> star = testshow::StarOb3(300);
  star[0] = star[2] = 0xFF;
  star[1] = star[3] = 0x7F;
  testimg::WriteFile(dir + "/data/star.ob3", star);
  Outcome o = Info(dir);
  EXPECT_EQ(o.code, 1);
  EXPECT_HAS(o.out, "part 1: empty camera name (scene box.scx)");
  EXPECT_HAS(o.out, "part 0 added scene: camera 'nocam' is not a camera of extra.scx");
  EXPECT_HAS(o.out, "part 1: end time 1000 ms is before the end of part 0 (2000 ms)");
  EXPECT_HAS(o.out, "part 2: end time -5 ms is negative");
  EXPECT_HAS(o.out, "part 2: foreground 'red.jpg' is a texture, not a fullscreen image");
  EXPECT_HAS(o.out, "glow.jpg: only partly decoded: the file ends before the picture does");
  EXPECT_HAS(o.out, "star.ob3: claims 32767 vertices and 32767 faces");
}

// Case 5: the real reason, not a misleading one.
TEST(BrokenShow, InfoSaysTheRealReason) {
  const std::string longName = std::string(140, 'l') + ".jpg";
  std::vector<std::string> script = GoodScript();
  script.insert(script.begin() + 1, {longName, "empty.jpg", "huge.png"});
  std::string dir = testshow::WriteShow("broken_reasons", script);
  testimg::WriteFile(dir + "/data/empty.jpg", {});
  std::vector<uint8_t> huge = testimg::EncodePng(20000, 1, PNG_COLOR_TYPE_GRAY, 8, std::vector<uint8_t>(20000, 7));
  testimg::WriteFile(dir + "/data/huge.png", huge);
  Outcome o = Info(dir);
  EXPECT_EQ(o.code, 1);
  EXPECT_HAS(o.out, "script.txt line 2: name too long");
  EXPECT_EQ(o.out.find("cannot open"), std::string::npos) << o.out;
  EXPECT_HAS(o.out, "empty.jpg: empty (0 bytes)");
  EXPECT_HAS(o.out, "huge.png: picture is 20000x1 pixels, more than the 16384x16384");
}

}  // namespace

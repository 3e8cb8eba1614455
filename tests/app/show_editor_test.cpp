// The edit mode on the headless display: keys injected, files changed on disk, frames read back.
#include <GL/gl.h>
#include <gtest/gtest.h>
#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#else
#include <malloc.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "app/show_editor.h"
#include "tests/show/test_show.h"

namespace {
constexpr int kWidth = 64;
constexpr int kHeight = 48;

DemoOptions EditOptions(const std::string& dir) {
  DemoOptions options;
  options.dataDir = dir;
  options.noSound = true;
  options.width = kWidth;
  options.height = kHeight;
  return options;
}

// What `quillon --frame` writes for the loose show at that time.
std::vector<uint8_t> FrameAt(const std::string& dir, int64_t ms) {
  DemoOptions options = EditOptions(dir);
  options.noArchive = true;
  ShowRun run;
  WindowRequest request;
  request.width = kWidth;
  request.height = kHeight;
  std::vector<uint8_t> rgba;
  if (run.Open(options, request)) {
    const double seconds = static_cast<double>(ms) / 1000.0;
    run.DrawFrameAt(seconds, run.Seek(seconds), &rgba);
  }
  run.Close();
  return rgba;
}

class Editor : public ::testing::Test {
 protected:
  void Open(const std::string& dir) {
    display_ = CreateHeadlessDisplay();
    editor_ = std::make_unique<ShowEditor>();
    ASSERT_TRUE(editor_->Open(EditOptions(dir), display_.get()));
  }
  void Close() {
    editor_.reset();
    display_.reset();
  }
  void Tap(int key) {
    display_->InjectTap(key);
    ASSERT_TRUE(editor_->Step());
  }
  void Steps(int n) {
    for (int i = 0; i < n; ++i) ASSERT_TRUE(editor_->Step());
  }
  // Steps until the editor has reloaded `count` times in all (at most 60 steps, one second).
  void StepUntilReloads(int count) {
    for (int i = 0; i < 60 && editor_->Reloads() < count; ++i) ASSERT_TRUE(editor_->Step());
    ASSERT_EQ(editor_->Reloads(), count);
  }
  std::vector<uint8_t> Screen() {
    std::vector<uint8_t> rgba;
    int w = 0, h = 0;
    display_->ReadPixels(&rgba, &w, &h);
    return rgba;
  }
  // Pauses and turns the overlay off, so the screen holds the show's picture alone.
  void PauseBare() {
    if (!editor_->Paused()) Tap(kKeySpace);
    if (editor_->OverlayShown()) Tap(kKeyTab);
  }

  std::unique_ptr<HeadlessDisplay> display_;
  std::unique_ptr<ShowEditor> editor_;
};

bool HasProblem(const std::vector<std::string>& problems, const std::string& text) {
  for (const std::string& p : problems)
    if (p.find(text) != std::string::npos) return true;
  return false;
}

TEST(EditorTimes, PartsStartOnTheFrameAfterTheOneThatPassesTheEnd) {
  std::vector<PartEntry> timeline(3);
  timeline[0].time = 1000;
  timeline[1].time = 2000;
  timeline[2].time = 3000;
  // At 60 frames a second the clock reads exactly 1.0 at 1000 ms, which is not past part 0's
  // end; the frame at 1017 ms passes it, so a seek to 1017 ms (which replays that frame) is the
  // first to draw part 1. The same holds at 2000 ms.
  EXPECT_EQ(ShowEditor::PartStartMs(timeline, 0), 0);
  EXPECT_EQ(ShowEditor::PartStartMs(timeline, 1), 1017);
  EXPECT_EQ(ShowEditor::PartStartMs(timeline, 2), 2017);
}

// Seek, then pause: the paused frame is the one --frame writes at that time; so is one reached by
// seeking while paused.
TEST_F(Editor, SeekThenPauseGivesTheFrameOfFrameAtThatTime) {
  const std::string dir = testshow::WriteShow("editor_seek");
  Open(dir);
  Steps(12);
  const int64_t before = editor_->TimeMs();
  EXPECT_GT(before, 150);
  Tap(kKeyRight);
  EXPECT_FALSE(editor_->Paused());
  Tap(kKeySpace);
  ASSERT_TRUE(editor_->Paused());
  const int64_t pausedAt = editor_->TimeMs();
  EXPECT_GE(pausedAt, before + 1000);
  EXPECT_LE(pausedAt, before + 1100);
  Tap(kKeyTab);
  Steps(3);  // the paused frame stays as it is
  EXPECT_EQ(editor_->TimeMs(), pausedAt);
  const std::vector<uint8_t> paused = Screen();
  Tap(kKeyRight);
  Tap(kKeyRight);
  Tap(kKeyLeft);  // 2 s on, 1 s back, paused all the while
  const int64_t seekedAt = editor_->TimeMs();
  EXPECT_EQ(seekedAt, pausedAt + 1000);
  const std::vector<uint8_t> seeked = Screen();
  // Part 2 draws "droid2", a new random moment every frame: reached a second time, it is still
  // the frame a fresh run draws there.
  Tap(kKeyPageDown);
  ASSERT_EQ(editor_->Part(), 2);
  const int64_t droidAt = editor_->TimeMs();
  Tap(kKeyRight);
  Tap(kKeyLeft);
  EXPECT_EQ(editor_->TimeMs(), droidAt);
  const std::vector<uint8_t> droid = Screen();
  Close();

  const std::vector<uint8_t> frameA = FrameAt(dir, pausedAt);
  const std::vector<uint8_t> frameB = FrameAt(dir, seekedAt);
  ASSERT_EQ(frameA.size(), static_cast<size_t>(kWidth) * kHeight * 4);
  EXPECT_TRUE(paused == frameA);
  EXPECT_TRUE(seeked == frameB);
  EXPECT_TRUE(droid == FrameAt(dir, droidAt));
  EXPECT_FALSE(frameA == frameB);
}

TEST_F(Editor, KeysMoveThroughTheShow) {
  const std::string dir = testshow::WriteShow("editor_keys");
  Open(dir);
  Tap(kKeySpace);
  ASSERT_TRUE(editor_->Paused());
  Tap(kKeyPageDown);
  EXPECT_EQ(editor_->Part(), 1);
  EXPECT_EQ(editor_->TimeMs(), ShowEditor::PartStartMs(editor_->session().tables.timeline, 1));
  Tap(kKeyPageDown);
  EXPECT_EQ(editor_->Part(), 2);
  Tap(kKeyPageDown);  // part 3 is the last entry, never drawn
  EXPECT_EQ(editor_->Part(), 2);
  Tap(kKeyPageUp);
  EXPECT_EQ(editor_->Part(), 1);
  Tap(kKeyHome);
  EXPECT_EQ(editor_->TimeMs(), 0);
  EXPECT_EQ(editor_->Part(), 0);
  display_->InjectKey(kKeyShift, true);
  Tap(kKeyRight);  // 10 s on: past the end, so the last frame the show draws
  display_->InjectKey(kKeyShift, false);
  EXPECT_EQ(editor_->Part(), 2);
  EXPECT_GE(editor_->TimeMs(), 5990);
  EXPECT_LE(editor_->TimeMs(), 6017);
  const int64_t last = editor_->TimeMs();
  Tap(kKeyLeft);
  EXPECT_EQ(editor_->TimeMs(), last - 1000);
  // Playing on from there reaches the end and stops on the last frame, paused.
  Tap(kKeySpace);
  EXPECT_FALSE(editor_->Paused());
  Steps(80);
  EXPECT_TRUE(editor_->Paused());
  EXPECT_EQ(editor_->Part(), 2);
  display_->InjectTap(kKeyEscape);
  EXPECT_FALSE(editor_->Step());
}

// Editing a part's end time in script.txt changes which part shows at that time, without a
// restart; the show time stays.
TEST_F(Editor, EditedEndTimeChangesThePartShownAtThatTime) {
  const std::string dir = testshow::WriteShow("editor_script");
  Open(dir);
  Tap(kKeySpace);
  Tap(kKeyRight);
  Tap(kKeyRight);
  Tap(kKeyRight);  // 3 s: part 1 (parts end at 2 s and 4 s)
  const int64_t at = editor_->TimeMs();
  ASSERT_EQ(editor_->Part(), 1);
  std::vector<std::string> script = testshow::ScriptLines();
  script[13] = "3500";  // part 0 now ends at 3.5 s
  testimg::WriteFile(dir + "/script.txt", testshow::ScriptBytes(script));
  StepUntilReloads(1);
  EXPECT_EQ(editor_->Part(), 0);
  EXPECT_EQ(editor_->TimeMs(), at);
  EXPECT_TRUE(editor_->LoadProblems().empty() || !HasProblem(editor_->LoadProblems(), "previous version"));
}

// A broken save keeps the old frame and says why; the next good save is picked up.
TEST_F(Editor, BrokenSavesKeepTheOldFrameAndTheNextGoodOneIsTaken) {
  const std::string dir = testshow::WriteShow("editor_broken");
  Open(dir);
  Tap(kKeyRight);
  Tap(kKeyRight);
  Tap(kKeyRight);  // part 1: box.scx over droid1 and droid3 (glow.jpg)
  PauseBare();
  const std::vector<uint8_t> good = Screen();
  int reloads = 0;

  // A scene cut short mid-write.
  std::ifstream in(dir + "/data/box.scx", std::ios::binary);
  std::vector<uint8_t> scene((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<uint8_t> cut(scene.begin(), scene.begin() + static_cast<long>(scene.size() / 2));
  testimg::WriteFile(dir + "/data/box.scx", cut);
  StepUntilReloads(++reloads);
  EXPECT_TRUE(HasProblem(editor_->LoadProblems(), "box.scx: ")) << editor_->LoadProblems().size();
  EXPECT_TRUE(HasProblem(editor_->LoadProblems(), "(the previous version stays)"));
  EXPECT_TRUE(Screen() == good);

  // A picture replaced by a file of another format.
  testimg::WriteFile(dir + "/data/glow.jpg",
                     testimg::EncodePng(16, 16, PNG_COLOR_TYPE_RGB, 8, testshow::SolidRgb(16, 16, 0, 0, 255)));
  StepUntilReloads(++reloads);
  EXPECT_TRUE(HasProblem(editor_->LoadProblems(), "glow.jpg: JPEG header unreadable"));
  EXPECT_TRUE(Screen() == good);

  // A script that is no script.
  std::vector<uint8_t> noise(500);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 131 + 7);
  const std::vector<uint8_t> script = testshow::ScriptBytes(testshow::ScriptLines());
  testimg::WriteFile(dir + "/script.txt", noise);
  StepUntilReloads(++reloads);
  ASSERT_EQ(editor_->LoadProblems().size(), 1u);
  EXPECT_TRUE(HasProblem(editor_->LoadProblems(), "a show needs at least two (it is not text"));
  EXPECT_TRUE(Screen() == good);

  // The good script back, and the scene whole again: the frame is the one before.
  testimg::WriteFile(dir + "/script.txt", script);
  testimg::WriteFile(dir + "/data/box.scx", scene);
  StepUntilReloads(++reloads);
  EXPECT_TRUE(HasProblem(editor_->LoadProblems(), "glow.jpg"));
  EXPECT_FALSE(HasProblem(editor_->LoadProblems(), "box.scx"));
  EXPECT_TRUE(Screen() == good);

  // A good new picture is taken: the effects glow another colour.
  testimg::WriteFile(dir + "/data/glow.jpg", testimg::EncodeJpeg(16, 16, testshow::SolidRgb(16, 16, 40, 255, 40)));
  StepUntilReloads(++reloads);
  EXPECT_TRUE(editor_->LoadProblems().empty() || !HasProblem(editor_->LoadProblems(), "glow.jpg"));
  EXPECT_FALSE(Screen() == good);
}

// Changes that keep coming are read once, when the files have been quiet for the settle time.
TEST_F(Editor, ReloadWaitsForTheFilesToSettle) {
  const std::string dir = testshow::WriteShow("editor_settle");
  Open(dir);
  Tap(kKeySpace);
  const std::vector<uint8_t> script = testshow::ScriptBytes(testshow::ScriptLines());
  for (int i = 0; i < 8; ++i) {
    // A save in pieces: each step (about 17 ms) writes a little more.
    testimg::WriteFile(dir + "/script.txt", std::vector<uint8_t>(script.begin(), script.begin() + (i + 1) * 10));
    Steps(1);
    EXPECT_EQ(editor_->Reloads(), 0) << i;
  }
  testimg::WriteFile(dir + "/script.txt", script);
  const uint32_t lastWrite = display_->Ticks();
  while (editor_->Reloads() == 0 && display_->Ticks() - lastWrite < 1000) Steps(1);
  EXPECT_EQ(editor_->Reloads(), 1);
  EXPECT_GE(display_->Ticks() - lastWrite, ShowEditor::kSettleMs);
  EXPECT_TRUE(editor_->LoadProblems().empty());
  Steps(20);
  EXPECT_EQ(editor_->Reloads(), 1);
}

// The GL objects alive, counted by asking GL about every name handed out so far.
int LiveTextures(GLuint upTo) {
  int live = 0;
  for (GLuint name = 1; name <= upTo; ++name) live += glIsTexture(name) ? 1 : 0;
  return live;
}
int LiveLists(GLuint upTo) {
  int live = 0;
  for (GLuint name = 1; name <= upTo; ++name) live += glIsList(name) ? 1 : 0;
  return live;
}
// The highest names handed out: a new one is above every name ever given.
GLuint HighestTexture() {
  GLuint name = 0;
  glGenTextures(1, &name);
  glDeleteTextures(1, &name);
  return name;
}
GLuint HighestList() {
  GLuint name = glGenLists(1);
  glDeleteLists(name, 1);
  return name;
}

long ResidentKiB() {
#if defined(_WIN32)
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return static_cast<long>(counters.WorkingSetSize / 1024);
#else
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
#endif
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// 200 reloads of changed pictures, scenes and script leave as many GL objects alive as before,
// and the process no bigger.
TEST_F(Editor, ReloadCyclesLeakNothing) {
  // Large blocks (decoded pictures, texture storage) are given back to the system when freed, so
  // the resident size follows what is held rather than how the allocator's heap happens to lie.
#if !defined(_WIN32)
  mallopt(M_MMAP_THRESHOLD, 512 * 1024);
  mallopt(M_TRIM_THRESHOLD, 512 * 1024);
#endif
  const std::string dir = testshow::WriteShow("editor_leak");
  Open(dir);
  Tap(kKeySpace);
  Tap(kKeyRight);
  const std::vector<uint8_t> scriptA = testshow::ScriptBytes(testshow::ScriptLines());
  std::vector<std::string> lines = testshow::ScriptLines();
  lines[13] = "2500";
  const std::vector<uint8_t> scriptB = testshow::ScriptBytes(lines);
  std::ifstream in(dir + "/data/extra.scx", std::ios::binary);
  const std::vector<uint8_t> sceneA((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::vector<uint8_t> sceneB =
      WriteScene(testshow::OneSquareScene("front", "green.bmp", 1.2f, {StillVectorKey(0, {0, 3, 0})}));
  auto cycle = [&](int i) {
    const bool odd = i % 2 != 0;
    const uint8_t shade = static_cast<uint8_t>(100 + i % 100);
    testimg::WriteFile(dir + "/data/red.jpg", testimg::EncodeJpeg(16, 16, testshow::SolidRgb(16, 16, shade, 0, 0)));
    // The fullscreen picture (the slowest to make) changes every fourth time.
    if (i % 4 == 0) {
      testimg::WriteFile(dir + "/data/title.jpg",
                         testimg::EncodeJpeg(640, 480, testshow::SolidRgb(640, 480, 0, 0, shade)));
    }
    testimg::WriteFile(dir + "/data/extra.scx", odd ? sceneB : sceneA);
    testimg::WriteFile(dir + "/script.txt", odd ? scriptB : scriptA);
    Tap('R');
  };
  for (int i = 0; i < 10; ++i) cycle(i);
  // Names may be handed out again once freed, or always new: every one up to the highest is asked.
  const GLuint textureNames = std::max<GLuint>(HighestTexture() + 64, 20000);
  const GLuint listNames = std::max<GLuint>(HighestList() + 64, 20000);
  const int textures = LiveTextures(textureNames);
  const int lists = LiveLists(listNames);
  const long rss = ResidentKiB();
  for (int i = 10; i < 210; ++i) cycle(i);
  EXPECT_EQ(editor_->Reloads(), 210);
  EXPECT_TRUE(editor_->LoadProblems().empty());
  const GLuint textureNamesAfter = std::max(textureNames, HighestTexture() + 64);
  const GLuint listNamesAfter = std::max(listNames, HighestList() + 64);
  EXPECT_EQ(LiveTextures(textureNamesAfter), textures);
  EXPECT_EQ(LiveLists(listNamesAfter), lists);
  if (!kSanitized) {
    // Growth is what a leak looks like. The software rasterizer keeps up to two frames' binning
    // buffers (about 2.7 MiB here), more or fewer depending on how far drawing ran ahead when
    // the size is read, so the bound leaves room for them; a picture leaked every fourth reload
    // would be 60 MiB.
    EXPECT_LT(ResidentKiB() - rss, 4096) << "KiB grown over 200 reloads";
  }
}

}  // namespace

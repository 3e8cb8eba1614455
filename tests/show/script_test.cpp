#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/data_file.h"
#include "show/script.h"

namespace {

namespace fs = std::filesystem;

// Records what the parser asks to load; textures get increasing names.
class RecordingLoaders : public ScriptLoaders {
 public:
  void ShowLoadingScreen(ShowTables&) override { calls.push_back("loading"); }
  void InitEffects() override { calls.push_back("effects"); }
  uint32_t MakeTexture(const std::string& file, bool png) override {
    calls.push_back(std::string(png ? "png " : "jpg ") + file);
    return ++lastTexture;
  }
  ImageSlot MakeFullscreenImage(const std::string& file, bool png) override {
    calls.push_back(std::string(png ? "image png " : "image jpg ") + file);
    ImageSlot slot;
    slot.texture = 1000 + static_cast<uint32_t>(calls.size());
    return slot;
  }
  std::shared_ptr<Scene> LoadScene(const std::string& file) override {
    calls.push_back("scene " + file);
    return nullptr;
  }
  std::vector<std::string> calls;
  uint32_t lastTexture = 0;
};

class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("quillon_script_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Lines are joined with CR LF; `tail` is appended as is.
  void Parse(const std::vector<std::string>& lines, const std::string& tail = "\r\n") {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) text += lines[i] + (i + 1 < lines.size() ? "\r\n" : tail);
    std::ofstream(dir_ / "script.txt", std::ios::binary) << text;
    DataSourceScope scope(DataSource{nullptr, dir_.string()});
    ParseScript(tables, loaders);
  }

  fs::path dir_;
  ShowTables tables;
  RecordingLoaders loaders;
};

TEST_F(ScriptTest, TexturesImagesAndTheFullscreenKeyword) {
  Parse({"[textures]", "title.jpg fullscreen", "Rock.JPG", "Title2.JPG Fullscreen", "logo.png fullscreen big words",
         "both.jpg.png", "", "[scenes]", "City.scx", ""});
  EXPECT_EQ(loaders.calls[0], "loading");
  EXPECT_EQ(loaders.calls[1], "effects");
  EXPECT_EQ(tables.imageCount, 2);
  EXPECT_EQ(tables.imageTable.at("title.jpg"), 0);
  EXPECT_EQ(tables.imageTable.at("logo.png"), 1);
  // The keyword counts only in lower case: this is an ordinary texture.
  EXPECT_EQ(tables.textureTable.count("title2.jpg"), 1u);
  EXPECT_EQ(tables.imageTable.count("title2.jpg"), 0u);
  EXPECT_EQ(tables.textureTable.at("rock.jpg"), 1u);
  // A name with both extensions is loaded twice; the later texture wins.
  EXPECT_EQ(tables.textureTable.at("both.jpg.png"), 4u);
  EXPECT_NE(std::find(loaders.calls.begin(), loaders.calls.end(), "jpg data\\rock.jpg"), loaders.calls.end());
  EXPECT_NE(std::find(loaders.calls.begin(), loaders.calls.end(), "image png data\\logo.png"), loaders.calls.end());
  EXPECT_EQ(tables.sceneTable.count("city.scx"), 1u);
  EXPECT_EQ(loaders.calls.back(), "scene data\\city.scx");
}

TEST_F(ScriptTest, PartsAndChainsInScriptOrder) {
  Parse({"  [PART] first", "City.scx", "12000", "5", "Camera01", "standard", "Title.jpg",
         "[addpart]", "ship.scx", "-3", "cam",
         "[addeffect]", "Tunnel", "rock.jpg", "0", "1", "90",
         "[part]", "b.scx", "  +24000ms", "x", "c", "bg", "fg",
         "[addeffect]", "droid", "t.jpg", "2", "no digits", "45", ""});
  ASSERT_EQ(tables.timeline.size(), 2u);
  ASSERT_EQ(tables.addedEntries.size(), 3u);
  const PartEntry& p0 = tables.timeline[0];
  EXPECT_EQ(p0.name, "city.scx");
  EXPECT_EQ(p0.time, 12000.0f);
  EXPECT_EQ(p0.startFrame, 5);
  EXPECT_EQ(p0.camera, "camera01");
  EXPECT_EQ(p0.background, "standard");
  EXPECT_EQ(p0.foreground, "title.jpg");
  EXPECT_EQ(p0.next, 0);
  EXPECT_EQ(tables.addedEntries[0].name, "ship.scx");
  EXPECT_EQ(tables.addedEntries[0].startFrame, -3);
  EXPECT_EQ(tables.addedEntries[0].time, 12000.0f);
  EXPECT_EQ(tables.addedEntries[0].next, 1);
  const PartEntry& fx = tables.addedEntries[1];
  EXPECT_EQ(fx.isEffect, 1);
  EXPECT_EQ(fx.name, "tunnel");
  EXPECT_EQ(fx.background, "rock.jpg");
  EXPECT_EQ(fx.speed, 1);
  EXPECT_EQ(fx.fieldOfView, 90);
  EXPECT_EQ(fx.next, -1);
  // A new part starts a new chain.
  EXPECT_EQ(tables.timeline[1].time, 24000.0f);
  EXPECT_EQ(tables.timeline[1].next, 2);
  EXPECT_EQ(tables.addedEntries[2].speed, 0);
  EXPECT_EQ(tables.addedEntries[2].fieldOfView, 45);
}

TEST_F(ScriptTest, LastLineWithoutCrLfIsNotLoadedAndShortSectionsFillEmpty) {
  Parse({"[textures]", "a.jpg", "b.jpg"}, "");
  EXPECT_EQ(tables.textureTable.count("a.jpg"), 1u);
  EXPECT_EQ(tables.textureTable.count("b.jpg"), 0u);

  ShowTables fresh;
  tables = ShowTables();
  Parse({"[part]", "s.scx", "1000"}, "\r\n");
  ASSERT_EQ(tables.timeline.size(), 1u);
  EXPECT_EQ(tables.timeline[0].startFrame, 0);
  EXPECT_EQ(tables.timeline[0].camera, "");
  EXPECT_EQ(tables.timeline[0].foreground, "");
}

TEST_F(ScriptTest, Mp3SectionNamesTheSoundtrackAndSkipsOneLine) {
  Parse({"[mp3]", "Music.MP3", "[part]", "[part]", "s.scx", "10", "0", "c", "standard", "standard", ""});
  EXPECT_EQ(tables.soundtrackFile, "data\\music.mp3");
  // The line after the name is read and ignored, even when it looks like a header.
  EXPECT_EQ(tables.timeline.size(), 1u);
}

TEST_F(ScriptTest, MissingScriptLeavesTablesEmptyAndAddBeforePartIsDropped) {
  {
    DataSourceScope scope(DataSource{nullptr, (dir_ / "nowhere").string()});
    ParseScript(tables, loaders);
  }
  EXPECT_TRUE(tables.timeline.empty());
  Parse({"[addpart]", "x.scx", "0", "cam", "[part]", "s.scx", "10", "0", "c", "standard", "standard", ""});
  EXPECT_TRUE(tables.addedEntries.empty());
  EXPECT_EQ(tables.timeline.size(), 1u);
  EXPECT_EQ(tables.timeline[0].next, -1);
}

// Every field the parser fills, as one string, to compare two parses.
std::string Describe(const ShowTables& t, const RecordingLoaders& l) {
  std::string out;
  for (const std::string& call : l.calls) out += call + "|";
  for (const auto* list : {&t.timeline, &t.addedEntries}) {
    for (const PartEntry& e : *list) {
      out += std::to_string(e.time) + "," + std::to_string(e.startFrame) + "," + e.name + "," + e.camera + "," +
             e.background + "," + e.foreground + "," + std::to_string(e.next) + "," + std::to_string(e.isEffect) +
             "," + std::to_string(e.speed) + "," + std::to_string(e.fieldOfView) + "|";
    }
  }
  return out + t.soundtrackFile + "|" + t.scriptError;
}

TEST_F(ScriptTest, ScriptWithoutCrReadsWithLfLineEndsLikeItsCrLfTwin) {
  const std::vector<std::string> lines = {"[mp3]", "song.mp3", "", "[textures]", "title.jpg fullscreen", "rock.jpg",
                                          "", "[scenes]", "a.scx", "", "[part]", "a.scx", "1000", "0", "cam",
                                          "standard", "title.jpg", "[addeffect]", "tunnel", "rock.jpg", "0", "1",
                                          "90", "[part]", "a.scx", "2000", "0", "cam", "standard", "standard"};
  for (const std::string& tail : std::vector<std::string>{"\n", ""}) {
    std::string crlf, lf;
    for (size_t i = 0; i < lines.size(); ++i) {
      const bool last = i + 1 == lines.size();
      crlf += lines[i] + (last && tail.empty() ? "" : "\r\n");
      lf += lines[i] + (last ? tail : "\n");
    }
    std::string described[2];
    int k = 0;
    for (const std::string* text : {&crlf, &lf}) {
      std::ofstream(dir_ / "script.txt", std::ios::binary | std::ios::trunc) << *text;
      ShowTables t;
      RecordingLoaders l;
      DataSourceScope scope(DataSource{nullptr, dir_.string()});
      ParseScript(t, l);
      EXPECT_EQ(t.timeline.size(), 2u);
      described[k++] = Describe(t, l);
    }
    EXPECT_EQ(described[0], described[1]) << "tail '" << tail << "'";
  }

  // A CR LF script keeps a lone LF inside its line.
  Parse({"[part]", "a.scx\nb", "1000", "0", "c", "standard", "standard", "[part]", "z", "2", "0", "c", "x", "y"});
  ASSERT_EQ(tables.timeline.size(), 2u);
  EXPECT_EQ(tables.timeline[0].name, "a.scx\nb");
}

TEST_F(ScriptTest, NoShowToPlaySaysWhy) {
  {
    DataSourceScope scope(DataSource{nullptr, (dir_ / "nowhere").string()});
    ShowTables t;
    ParseScript(t, loaders);
    EXPECT_EQ(t.scriptError, "data directory '" + (dir_ / "nowhere").string() + "' does not exist (no script.txt to read)");
  }
  {
    DataSourceScope scope(DataSource{nullptr, dir_.string()});
    ShowTables t;
    ParseScript(t, loaders);
    // The path as the player names it: "DIR/script.txt" on every system.
    EXPECT_EQ(t.scriptError, dir_.string() + "/script.txt: not found");
    fs::create_directories(dir_ / "script.txt");
    ShowTables d;
    ParseScript(d, loaders);
    EXPECT_EQ(d.scriptError, dir_.string() + "/script.txt: is a directory, not a file");
    fs::remove(dir_ / "script.txt");
  }
  std::string noise;
  for (int i = 0; i < 300; ++i) noise += static_cast<char>((i * 7919) % 256);
  std::ofstream(dir_ / "script.txt", std::ios::binary) << noise;
  {
    DataSourceScope scope(DataSource{nullptr, dir_.string()});
    ShowTables t;
    ParseScript(t, loaders);
    EXPECT_EQ(t.scriptError, "script.txt has 0 [part] section(s); a show needs at least two (it is not text: byte "
                             "0x00 at offset 0)");
  }
  Parse({"[part]", "a.scx", "1000", "0", "c", "standard", "standard"});
  EXPECT_EQ(tables.scriptError, "script.txt has 1 [part] section(s); a show needs at least two");
  tables = ShowTables();
  Parse({"[part]", "a.scx", "1000", "0", "c", "standard", "standard", "[part]", "a.scx", "2000", "0", "c",
         "standard", "standard"});
  EXPECT_EQ(tables.scriptError, "");
}

TEST_F(ScriptTest, NamesTooLongOrLeavingTheDataDirectoryAreReportedAndNotLoaded) {
  const std::string longName = std::string(130, 'n') + ".jpg";
  Parse({"[textures]", longName, "..\\..\\x.jpg", "\\root.jpg", "c:\\drive.jpg", "..\\up.jpg", "ok.jpg", "",
         "[scenes]", "../../../etc/passwd", std::string(140, 's'), "fine.scx", ""});
  const std::vector<std::string> expected = {"jpg data\\..\\up.jpg", "jpg data\\ok.jpg", "scene data\\fine.scx"};
  EXPECT_EQ(std::vector<std::string>(loaders.calls.begin() + 2, loaders.calls.end()), expected);
  const std::string refused = ": name leaves the data directory (refused)";
  const std::vector<std::string> failures = {
      "script.txt line 2: name too long (more than the 127 characters a line keeps): '" + std::string(40, 'n') +
          "...'",
      "..\\..\\x.jpg" + refused,
      "\\root.jpg" + refused,
      "c:\\drive.jpg" + refused,
      "../../../etc/passwd" + refused,
      "script.txt line 11: name too long (more than the 127 characters a line keeps): '" + std::string(40, 's') +
          "...'"};
  EXPECT_EQ(tables.failures, failures);
}

TEST(ParseLeadingInt, SignsBlanksAndGarbage) {
  EXPECT_EQ(ParseLeadingInt("  42abc"), 42);
  EXPECT_EQ(ParseLeadingInt("-7"), -7);
  EXPECT_EQ(ParseLeadingInt("+7"), 7);
  EXPECT_EQ(ParseLeadingInt("abc"), 0);
  EXPECT_EQ(ParseLeadingInt(""), 0);
  EXPECT_EQ(ParseLeadingInt("99999999999999999999"), 2147483647);
  EXPECT_EQ(ParseLeadingInt("-99999999999999999999"), -2147483647 - 1);
}

}  // namespace

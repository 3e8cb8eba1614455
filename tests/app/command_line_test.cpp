#include <gtest/gtest.h>

#include <utility>

#include "app/command_line.h"
#include "app/demo_app.h"

namespace {

bool Parse(std::vector<std::string> args, DemoOptions* o, std::string* error = nullptr) {
  std::string ignored;
  return ParseCommandLine(args, o, error ? error : &ignored);
}

TEST(CommandLine, FlagsAndValuesInBothSpellings) {
  DemoOptions o;
  ASSERT_TRUE(Parse({"--window", "--no-sound", "--loop", "--no-launcher", "--data-dir", "show", "--verbose"}, &o));
  EXPECT_EQ(o.mode, 1);
  EXPECT_TRUE(o.noSound && o.loop && o.noLauncher && o.verbose);
  EXPECT_EQ(o.dataDir, "show");

  DemoOptions h;
  ASSERT_TRUE(Parse({"--headless", "--frames=30", "--size", "320x240", "--fps=29.97", "--mode=3"}, &h));
  EXPECT_TRUE(h.headless);
  EXPECT_EQ(h.frames, 30);
  EXPECT_EQ(h.width, 320);
  EXPECT_EQ(h.height, 240);
  EXPECT_DOUBLE_EQ(h.fps, 29.97);
  EXPECT_EQ(h.mode, 3);

  DemoOptions r;
  ASSERT_TRUE(Parse({"--render", "out.mkv", "--from", "20", "--to=21.5", "--fps", "30"}, &r));
  EXPECT_EQ(r.renderOut, "out.mkv");
  EXPECT_DOUBLE_EQ(r.from, 20.0);
  EXPECT_DOUBLE_EQ(r.to, 21.5);
  DemoOptions f;
  ASSERT_TRUE(Parse({"--frame", "240", "x.png", "--size", "80x60"}, &f));
  EXPECT_TRUE(f.frameGiven);
  EXPECT_DOUBLE_EQ(f.frameAt, 240.0);
  EXPECT_EQ(f.framePath, "x.png");
  DemoOptions misc;
  ASSERT_TRUE(Parse({"--start", "12.5", "--info", "--export", "d", "--no-archive"}, &misc));
  EXPECT_DOUBLE_EQ(misc.start, 12.5);
  EXPECT_TRUE(misc.info && misc.noArchive);
  EXPECT_EQ(misc.exportDir, "d");

  // --size goes with live windows and fullscreen modes too.
  DemoOptions live;
  ASSERT_TRUE(Parse({"--window", "--size", "1280x960", "--no-vsync"}, &live));
  EXPECT_TRUE(live.sizeGiven && live.noVsync);
  EXPECT_EQ(live.width, 1280);
  EXPECT_EQ(live.height, 960);
  DemoOptions edit;
  ASSERT_TRUE(Parse({"--edit", "--data-dir", "show", "--size", "800x600", "--window"}, &edit));
  EXPECT_TRUE(edit.edit);
  EXPECT_EQ(edit.dataDir, "show");

  DemoOptions d;
  ASSERT_TRUE(Parse({}, &d));
  EXPECT_EQ(d.mode, 0);
  EXPECT_FALSE(d.noSound || d.loop || d.noLauncher || d.headless || d.edit || d.noVsync);
}

TEST(CommandLine, BadInputIsRefusedWithAReason) {
  const std::vector<std::vector<std::string>> bad = {
      {"--mode", "4"},          {"--mode", "x"},         {"--mode"},
      {"--headless", "--size", "0x10"}, {"--headless", "--size", "640"}, {"--headless", "--fps", "0"},
      {"--headless", "--fps", "nan"},   {"--headless", "--frames", "-1"}, {"--frames", "3"}, {"--size", "8"},
      {"--render", "d", "--from", "5", "--to", "4"}, {"--frame", "1"}, {"--from", "-1"}, {"--to", "3"},
      {"--bogus"},              {"--window=1"},          {"--data-dir="},
  };
  for (const auto& args : bad) {
    DemoOptions o;
    std::string error;
    EXPECT_FALSE(Parse(args, &o, &error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

TEST(CommandLine, EachKindOfMistakeGetsItsOwnMessage) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--help=yes"}, "option '--help' takes no value"},
      {{"--window=1"}, "option '--window' takes no value"},
      {{"--mode"}, "option '--mode' needs a value"},
      {{"--bogus=1"}, "unknown option '--bogus=1'"},
      {{"-x"}, "unknown option '-x'"},
      {{"--frame", "1"}, "--frame wants SEC and an output PNG file"},
      {{"--frame", "soon", "x.png"}, "--frame wants a time in seconds, not 'soon'"},
      {{"--start=-2"}, "--start wants a time in seconds, not '-2'"},
      {{"--export="}, "--export wants a directory"},
      {{"--render", ""}, "--render wants an output file or directory"},
      {{"--fps", "30"}, "--fps goes with --headless, --render or --frame"},
      {{"--edit", "--render", "out"}, "--edit plays the loose files in a window: it does not go with --render, --frame, "
                                      "--info, --export, --loop or a fullscreen --mode"},
      {{"--edit", "--mode", "3"}, "--edit plays the loose files in a window: it does not go with --render, --frame, "
                                  "--info, --export, --loop or a fullscreen --mode"},
      {{"--render", "d", "--to", "0"}, "--to must be later than --from"},
  };
  for (const auto& [args, message] : cases) {
    DemoOptions o;
    std::string error;
    EXPECT_FALSE(Parse(args, &o, &error)) << message;
    EXPECT_EQ(error, message);
  }
  // A value that looks like an option is still the value.
  DemoOptions o;
  ASSERT_TRUE(Parse({"--data-dir", "--loop"}, &o));
  EXPECT_EQ(o.dataDir, "--loop");
  EXPECT_FALSE(o.loop);
}

TEST(CommandLine, DisplayModeTable) {
  int w, h;
  bool fs;
  ASSERT_TRUE(LookUpDisplayMode(0, &w, &h, &fs));
  EXPECT_TRUE(w == 640 && h == 480 && fs);
  ASSERT_TRUE(LookUpDisplayMode(1, &w, &h, &fs));
  EXPECT_TRUE(w == 640 && h == 480 && !fs);
  ASSERT_TRUE(LookUpDisplayMode(2, &w, &h, &fs));
  EXPECT_TRUE(w == 800 && h == 600 && fs);
  ASSERT_TRUE(LookUpDisplayMode(3, &w, &h, &fs));
  EXPECT_TRUE(w == 1024 && h == 768 && fs);
  EXPECT_FALSE(LookUpDisplayMode(4, &w, &h, &fs));
  EXPECT_FALSE(LookUpDisplayMode(-1, &w, &h, &fs));
}

}  // namespace

#include <gtest/gtest.h>

#include <GL/gl.h>

#include <filesystem>
#include <fstream>

#include "app/demo_app.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

// A headless run of a script of three parts ending at 1, 2 and 3 seconds: the loop stops on
// its own when the third part is reached.
TEST(PlayShow, HeadlessRunEndsByItselfAtTheLastPart) {
  fs::path dir = fs::temp_directory_path() / ("quillon_play_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  {
    std::ofstream script(dir / "script.txt", std::ios::binary);
    for (int end : {1000, 2000, 3000}) {
      script << "[part]\r\nnone.scx\r\n" << end << "\r\n0\r\ncam\r\nstandard\r\nstandard\r\n";
    }
  }
  DemoOptions options;
  options.headless = true;
  options.noSound = true;
  options.width = 64;
  options.height = 48;
  options.fps = 50.0;
  options.dataDir = dir.string();
  auto display = CreateHeadlessDisplay();
  HeadlessDisplay* raw = display.get();
  EXPECT_EQ(PlayShow(options, raw), 0);
  // Part 1 ends once the clock passes 2.0 s: at 50 frames per second that is frame 101 (2.02 s),
  // the last one drawn; its swap moves the virtual clock on to 2.04 s.
  EXPECT_EQ(raw->Ticks(), 2040u);
  fs::remove_all(dir);
}

TEST(PlayShow, FrameBudgetStopsTheRun) {
  fs::path dir = fs::temp_directory_path() / ("quillon_budget_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  {
    std::ofstream script(dir / "script.txt", std::ios::binary);
    for (int end : {100000, 200000}) {
      script << "[part]\r\nnone.scx\r\n" << end << "\r\n0\r\ncam\r\nstandard\r\nstandard\r\n";
    }
  }
  DemoOptions options;
  options.headless = true;
  options.frames = 30;
  options.fps = 60.0;
  options.loop = true;
  options.width = 32;
  options.height = 32;
  options.dataDir = dir.string();
  auto display = CreateHeadlessDisplay();
  EXPECT_EQ(PlayShow(options, display.get()), 0);
  EXPECT_EQ(display->Ticks(), 500u);  // 30 frames at 60 per second
  fs::remove_all(dir);
}

}  // namespace

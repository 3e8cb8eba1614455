// Child processes on Windows: arguments reach the child unchanged, its exit status comes back,
// and programs are found on PATH with or without their extension.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/process.h"
#include "platform/win32_common.h"

namespace {

TEST(Win32Process, ArgumentsAreQuotedTheWayTheRuntimeReadsThemBack) {
  EXPECT_EQ(QuoteArgument("plain"), "plain");
  EXPECT_EQ(QuoteArgument(""), "\"\"");
  EXPECT_EQ(QuoteArgument("two words"), "\"two words\"");
  EXPECT_EQ(QuoteArgument("say \"hi\""), "\"say \\\"hi\\\"\"");
  // Backslashes are literal except before a quote, including the closing one.
  EXPECT_EQ(QuoteArgument("C:\\dir\\"), "C:\\dir\\");
  EXPECT_EQ(QuoteArgument("C:\\my dir\\"), "\"C:\\my dir\\\\\"");
  EXPECT_EQ(QuoteArgument("a\\\"b"), "\"a\\\\\\\"b\"");
}

TEST(Win32Process, ProgramsAreFoundOnPathWithOrWithoutTheirExtension) {
  const std::string cmd = FindOnPath("cmd");
  ASSERT_FALSE(cmd.empty());
  EXPECT_TRUE(FindOnPath("cmd.exe") == cmd);
  EXPECT_TRUE(FindOnPath("no-such-program-here").empty());
  EXPECT_EQ(FindOnPath(cmd), cmd);
}

TEST(Win32Process, TheChildReadsThePipeAndItsExitStatusComesBack) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("quillon_process_" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(dir);
  const std::string log = (dir / "out.txt").string();
  {
    ChildProcess child;
    std::string why;
    // find copies the lines of its input that hold the word to its output, the log file.
    ASSERT_TRUE(child.Start({"find", "frame"}, &why, log)) << why;
    const std::string text = "no match\r\nframe data\r\n";
    EXPECT_TRUE(child.Write(text.data(), text.size()));
    EXPECT_EQ(child.Finish(), 0);
  }
  std::ifstream in(log);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line.substr(0, 10), "frame data") << line;
  {
    ChildProcess child;
    std::string why;
    ASSERT_TRUE(child.Start({"cmd", "/c", "exit 3"}, &why)) << why;
    EXPECT_EQ(child.Finish(), 3);
    EXPECT_EQ(child.Finish(), -1);  // once only
  }
  ChildProcess missing;
  std::string why;
  EXPECT_FALSE(missing.Start({"no-such-program-here"}, &why));
  EXPECT_NE(why.find("not found"), std::string::npos);
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace

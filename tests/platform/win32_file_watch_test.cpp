// The Windows file watcher: the system's own notifications, and a watched folder that is removed
// and made again can be watched again.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_watch.h"

namespace {

namespace fs = std::filesystem;

// Looks for `path` among the changes for up to two seconds.
bool Reported(FileWatcher& watcher, const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::vector<std::string> changes = watcher.Changes();
    if (std::find(changes.begin(), changes.end(), path) != changes.end()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST(Win32FileWatch, UsesTheSystemsNoticesAndWatchesAFolderMadeAgain) {
  auto watcher = CreateFileWatcher();
  EXPECT_STREQ(watcher->Kind(), "ReadDirectoryChangesW");
  const fs::path dir = fs::temp_directory_path() / ("quillon_win32_watch_" + std::to_string(GetCurrentProcessId()));
  const std::string root = dir.string();
  fs::remove_all(dir);
  fs::create_directories(dir);
  ASSERT_TRUE(watcher->Watch(root));
  std::ofstream(dir / "scene.scx", std::ios::binary) << "one";
  EXPECT_TRUE(Reported(*watcher, root + "/scene.scx"));

  // The folder goes (an editor or a version control tool replacing it) and comes back.
  fs::remove_all(dir);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  watcher->Changes();
  fs::create_directories(dir);
  ASSERT_TRUE(watcher->Watch(root));
  std::ofstream(dir / "script.txt", std::ios::binary) << "two";
  EXPECT_TRUE(Reported(*watcher, root + "/script.txt"));
  fs::remove_all(dir);
}

}  // namespace

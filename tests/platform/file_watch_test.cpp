#include "platform/file_watch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool Has(const std::vector<std::string>& changes, const std::string& path) {
  return std::find(changes.begin(), changes.end(), path) != changes.end();
}

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The changes reported until every expected path has come (a system may deliver its notices a
// moment after the write), then for a short while more, so that nothing of the same writes is
// left over for the next look.
std::vector<std::string> ChangesWith(FileWatcher& watcher, const std::vector<std::string>& expected) {
  std::vector<std::string> all;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  auto quietUntil = std::chrono::steady_clock::time_point::max();
  while (std::chrono::steady_clock::now() < std::min(deadline, quietUntil)) {
    for (const std::string& path : watcher.Changes()) all.push_back(path);
    if (quietUntil == std::chrono::steady_clock::time_point::max() &&
        std::all_of(expected.begin(), expected.end(), [&](const std::string& p) { return Has(all, p); })) {
      quietUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return all;
}

// Each backend reports a written, a new, a renamed-over and a removed file, once each, and
// nothing when nothing changed; files in subfolders are not its business. Paths come as
// "dir/name" on every system.
void CheckWatcher(FileWatcher& watcher, const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("quillon_watch_" + name + "_" + std::to_string(::getpid()));
  const std::string root = dir.string();
  fs::remove_all(dir);
  fs::create_directories(dir / "sub");
  Write(dir / "script.txt", "one");
  Write(dir / "old.jpg", "x");
  ASSERT_TRUE(watcher.Watch(root));
  ASSERT_TRUE(watcher.Watch(root));  // twice is harmless
  EXPECT_FALSE(watcher.Watch((dir / "nowhere").string()));
  EXPECT_TRUE(watcher.Changes().empty());

  const std::string script = root + "/script.txt";
  Write(dir / "script.txt", "one two");
  std::vector<std::string> changes = ChangesWith(watcher, {script});
  EXPECT_TRUE(Has(changes, script)) << name;
  EXPECT_EQ(std::count(changes.begin(), changes.end(), script), 1) << name;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(watcher.Changes().empty()) << name;

  Write(dir / "new.png", "png");
  Write(dir / "sub" / "deep.jpg", "deep");
  changes = ChangesWith(watcher, {root + "/new.png"});
  EXPECT_TRUE(Has(changes, root + "/new.png")) << name;
  EXPECT_FALSE(Has(changes, root + "/sub/deep.jpg")) << name;
  EXPECT_FALSE(Has(changes, root + "/sub")) << name;

  // An editor that saves by writing a new file and moving it over the old one.
  Write(dir / "script.tmp", "three");
  fs::rename(dir / "script.tmp", dir / "script.txt");
  fs::remove(dir / "old.jpg");
  changes = ChangesWith(watcher, {script, root + "/old.jpg"});
  EXPECT_TRUE(Has(changes, script)) << name;
  EXPECT_TRUE(Has(changes, root + "/old.jpg")) << name;
  fs::remove_all(dir);
}

TEST(FileWatcher, SystemBackendSeesChanges) {
  auto watcher = CreateFileWatcher();
  CheckWatcher(*watcher, watcher->Kind());
}

TEST(FileWatcher, PollingBackendSeesChanges) {
  auto watcher = CreatePollingFileWatcher();
  EXPECT_STREQ(watcher->Kind(), "polling");
  CheckWatcher(*watcher, "polling");
}

}  // namespace

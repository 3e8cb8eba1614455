#include "platform/file_watch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool Has(const std::vector<std::string>& changes, const std::string& path) {
  return std::find(changes.begin(), changes.end(), path) != changes.end();
}

void Write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Each backend reports a written, a new, a renamed-over and a removed file, once each, and
// nothing when nothing changed; files in subfolders are not its business.
void CheckWatcher(FileWatcher& watcher, const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("quillon_watch_" + name + "_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "sub");
  Write(dir / "script.txt", "one");
  Write(dir / "old.jpg", "x");
  ASSERT_TRUE(watcher.Watch(dir.string()));
  ASSERT_TRUE(watcher.Watch(dir.string()));  // twice is harmless
  EXPECT_FALSE(watcher.Watch((dir / "nowhere").string()));
  EXPECT_TRUE(watcher.Changes().empty());

  const std::string script = (dir / "script.txt").string();
  Write(dir / "script.txt", "one two");
  std::vector<std::string> changes = watcher.Changes();
  EXPECT_TRUE(Has(changes, script)) << name;
  EXPECT_EQ(std::count(changes.begin(), changes.end(), script), 1);
  EXPECT_TRUE(watcher.Changes().empty()) << name;

  Write(dir / "new.png", "png");
  Write(dir / "sub" / "deep.jpg", "deep");
  changes = watcher.Changes();
  EXPECT_TRUE(Has(changes, (dir / "new.png").string())) << name;
  EXPECT_FALSE(Has(changes, (dir / "sub" / "deep.jpg").string())) << name;

  // An editor that saves by writing a new file and moving it over the old one.
  Write(dir / "script.tmp", "three");
  fs::rename(dir / "script.tmp", dir / "script.txt");
  fs::remove(dir / "old.jpg");
  changes = watcher.Changes();
  EXPECT_TRUE(Has(changes, script)) << name;
  EXPECT_TRUE(Has(changes, (dir / "old.jpg").string())) << name;
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

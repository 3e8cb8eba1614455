// Watching folders for changed files: the edit mode reloads a show when its loose files change.
// One small interface with a backend per system (inotify on Linux) and a polling backend that
// works everywhere by comparing each file's size, modification time and identity.
//
//   auto watcher = CreateFileWatcher();      // the system's own, else polling
//   watcher->Watch("show");  watcher->Watch("show/data");
//   for (const std::string& path : watcher->Changes()) ...   // call as often as you like
#pragma once

#include <memory>
#include <string>
#include <vector>

class FileWatcher {
 public:
  virtual ~FileWatcher() = default;
  // Watches the files directly inside `dir` (not those in its subfolders). Watching a folder
  // twice is harmless. False when the folder cannot be watched (it does not exist).
  virtual bool Watch(const std::string& dir) = 0;
  // Paths ("dir/name") of the files created, written, moved in or out, or removed since the last
  // call, each once, in no particular order; a folder's own path where the backend lost track of
  // which of its files changed. Never blocks.
  virtual std::vector<std::string> Changes() = 0;
  // "inotify", "polling", ...: for the log.
  virtual const char* Kind() const = 0;
};

// The system's notifications where there are some (inotify on Linux), else polling. A new
// backend (for example ReadDirectoryChangesW on Windows) is one more file in platform/ that
// defines this function, built with QUILLON_NATIVE_FILE_WATCH defined so the polling file
// leaves it out.
std::unique_ptr<FileWatcher> CreateFileWatcher();
// Compares what the folders hold at each Changes() call with the call before.
std::unique_ptr<FileWatcher> CreatePollingFileWatcher();

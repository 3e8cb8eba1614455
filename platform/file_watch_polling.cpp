// Polling backend of the file watcher: each Changes() call lists the watched folders and compares
// every file's size, modification time and identity with what the previous call saw.
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "platform/file_watch.h"

namespace {

namespace fs = std::filesystem;

struct Seen {
  uintmax_t size = 0;
  fs::file_time_type modified{};
  bool operator!=(const Seen& o) const { return size != o.size || modified != o.modified; }
};

class PollingFileWatcher final : public FileWatcher {
 public:
  bool Watch(const std::string& dir) override {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return false;
    if (dirs_.insert(dir).second) Scan(dir, &seen_);
    return true;
  }

  std::vector<std::string> Changes() override {
    std::map<std::string, Seen> now;
    for (const std::string& dir : dirs_) Scan(dir, &now);
    std::vector<std::string> changed;
    for (const auto& [path, seen] : now) {
      auto before = seen_.find(path);
      if (before == seen_.end() || before->second != seen) changed.push_back(path);
    }
    for (const auto& [path, seen] : seen_) {
      if (now.count(path) == 0) changed.push_back(path);
    }
    seen_.swap(now);
    return changed;
  }

  const char* Kind() const override { return "polling"; }

 private:
  static void Scan(const std::string& dir, std::map<std::string, Seen>* into) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code fileError;
      if (it->is_directory(fileError)) continue;
      Seen seen;
      seen.size = it->file_size(fileError);
      if (fileError) seen.size = 0;
      seen.modified = it->last_write_time(fileError);
      (*into)[dir + "/" + it->path().filename().string()] = seen;
    }
  }

  std::set<std::string> dirs_;
  std::map<std::string, Seen> seen_;
};

}  // namespace

std::unique_ptr<FileWatcher> CreatePollingFileWatcher() { return std::make_unique<PollingFileWatcher>(); }

#if !defined(__linux__) && !defined(QUILLON_NATIVE_FILE_WATCH)
// No notification backend on this system (a backend of its own defines CreateFileWatcher and
// QUILLON_NATIVE_FILE_WATCH).
std::unique_ptr<FileWatcher> CreateFileWatcher() { return CreatePollingFileWatcher(); }
#endif

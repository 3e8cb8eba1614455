// inotify backend of the file watcher (Linux): one watch per folder; the events of files
// written, closed after writing, created, moved in or out, removed or touched are read without
// blocking. When the kernel's queue overflows, each watched folder is reported as a whole.
#if defined(__linux__)

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <set>

#include "platform/file_watch.h"
#include "platform/log.h"

namespace {

constexpr uint32_t kEvents =
    IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB;

class InotifyFileWatcher final : public FileWatcher {
 public:
  explicit InotifyFileWatcher(int fd) : fd_(fd) {}
  ~InotifyFileWatcher() override { close(fd_); }

  bool Watch(const std::string& dir) override {
    for (const auto& [wd, watched] : dirs_) {
      if (watched == dir) return true;
    }
    const int wd = inotify_add_watch(fd_, dir.c_str(), kEvents | IN_ONLYDIR);
    if (wd < 0) return false;
    dirs_[wd] = dir;
    return true;
  }

  std::vector<std::string> Changes() override {
    std::set<std::string> changed;
    bool overflow = false;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t got = read(fd_, buffer, sizeof buffer);
      if (got <= 0) break;  // EAGAIN: nothing more queued
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->mask & IN_Q_OVERFLOW) overflow = true;
        if (event->mask & IN_ISDIR) continue;
        auto dir = dirs_.find(event->wd);
        if (dir != dirs_.end() && event->len > 0) changed.insert(dir->second + "/" + event->name);
      }
    }
    if (overflow) {
      Log("file watch: the event queue overflowed; every watched folder may have changed");
      for (const auto& [wd, dir] : dirs_) changed.insert(dir);
    }
    return std::vector<std::string>(changed.begin(), changed.end());
  }

  const char* Kind() const override { return "inotify"; }

 private:
  int fd_;
  std::map<int, std::string> dirs_;
};

}  // namespace

std::unique_ptr<FileWatcher> CreateFileWatcher() {
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) {
    Log("file watch: no inotify (errno %d); polling the folders instead", errno);
    return CreatePollingFileWatcher();
  }
  return std::make_unique<InotifyFileWatcher>(fd);
}

#endif  // __linux__

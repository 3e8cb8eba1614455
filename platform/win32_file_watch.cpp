// Windows backend of the file watcher: one ReadDirectoryChangesW request per folder, kept
// outstanding with overlapped I/O and looked at without waiting. When a folder's notification
// buffer overflows (the system then reports nothing in particular), the folder is reported as a
// whole.
#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/file_watch.h"
#include "platform/log.h"
#include "platform/win32_common.h"

namespace {

constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE |
                          FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_CREATION;
// Notification records are DWORD-aligned; 64 KiB is the most a request may ask for over a
// network share.
constexpr DWORD kBufferBytes = 64 * 1024;

// Which folder a path names now: a folder removed and made again is another one.
struct Identity {
  DWORD volume = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;
  bool operator==(const Identity& o) const {
    return volume == o.volume && indexHigh == o.indexHigh && indexLow == o.indexLow;
  }
};

bool IdentityOf(HANDLE handle, Identity* identity) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

HANDLE OpenFolder(const std::string& path, DWORD flags) {
  return CreateFileA(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

std::string Narrow(const wchar_t* text, int length) {
  if (length <= 0) return std::string();
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), bytes, nullptr, nullptr);
  return out;
}

// One watched folder with its outstanding request.
class Folder {
 public:
  explicit Folder(std::string path) : path_(std::move(path)), buffer_(kBufferBytes / sizeof(DWORD)) {}
  ~Folder() {
    Release();
    if (overlapped_.hEvent) CloseHandle(overlapped_.hEvent);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  bool Open() {
    handle_ = OpenFolder(path_, FILE_FLAG_OVERLAPPED);
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    IdentityOf(handle_, &identity_);
    overlapped_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    return overlapped_.hEvent != nullptr && Request();
  }

  // Whether the path still names the folder this one watches.
  bool StillThere() const {
    if (broken_) return false;
    HANDLE now = OpenFolder(path_, 0);
    if (now == INVALID_HANDLE_VALUE) return false;
    Identity identity;
    const bool same = IdentityOf(now, &identity) && identity == identity_;
    CloseHandle(now);
    return same;
  }

  // Adds what happened since the last look to *changed; never waits.
  void Collect(std::set<std::string>* changed) {
    while (pending_) {
      DWORD got = 0;
      if (!GetOverlappedResult(handle_, &overlapped_, &got, FALSE)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_INCOMPLETE) return;  // nothing yet
        pending_ = false;
        if (error == ERROR_NOTIFY_ENUM_DIR) {
          Overflowed(changed);
        } else {
          Log("file watch: %s can no longer be watched (error %lu)", path_.c_str(), error);
          changed->insert(path_);
          Break();
          return;
        }
      } else {
        pending_ = false;
        if (got == 0) {
          Overflowed(changed);
        } else {
          Parse(got, changed);
        }
      }
      if (!Request()) {
        Log("file watch: %s can no longer be watched (error %lu)", path_.c_str(), GetLastError());
        changed->insert(path_);
        Break();
        return;
      }
    }
  }

  // True once the folder could not be watched any more (removed, for one).
  bool broken() const { return broken_; }

 private:
  // Lets go of the folder at once: a folder still open cannot be removed for good.
  void Break() {
    broken_ = true;
    Release();
  }

  void Release() {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    // The request has to be finished before its buffer and event go.
    CancelIo(handle_);
    if (pending_) {
      DWORD ignored = 0;
      GetOverlappedResult(handle_, &overlapped_, &ignored, TRUE);
      pending_ = false;
    }
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  bool Request() {
    ResetEvent(overlapped_.hEvent);
    const BOOL ok = ReadDirectoryChangesW(handle_, buffer_.data(), static_cast<DWORD>(buffer_.size() * sizeof(DWORD)),
                                          FALSE, kFilter, nullptr, &overlapped_, nullptr);
    pending_ = ok != FALSE;
    return pending_;
  }

  void Overflowed(std::set<std::string>* changed) {
    Log("file watch: too many changes in %s at once; every file in it may have changed", path_.c_str());
    changed->insert(path_);
  }

  void Parse(DWORD got, std::set<std::string>* changed) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_.data());
    const DWORD size = std::min<DWORD>(got, static_cast<DWORD>(buffer_.size() * sizeof(DWORD)));
    DWORD at = 0;
    while (at + sizeof(FILE_NOTIFY_INFORMATION) <= size) {
      const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(bytes + at);
      const DWORD nameBytes = record->FileNameLength;
      const size_t nameAt = at + offsetof(FILE_NOTIFY_INFORMATION, FileName);
      if (nameAt + nameBytes > size) break;  // a record cut short: take what came before it
      const std::string name = Narrow(record->FileName, static_cast<int>(nameBytes / sizeof(wchar_t)));
      if (!name.empty()) {
        const std::string full = path_ + "/" + name;
        // Folders inside the watched one are not files of the show.
        const DWORD attributes = GetFileAttributesA(full.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) changed->insert(full);
      }
      if (record->NextEntryOffset == 0) break;
      at += record->NextEntryOffset;
    }
  }

  std::string path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  OVERLAPPED overlapped_{};
  std::vector<DWORD> buffer_;
  Identity identity_;
  bool pending_ = false;
  bool broken_ = false;
};

class Win32FileWatcher final : public FileWatcher {
 public:
  bool Watch(const std::string& dir) override {
    auto it = folders_.find(dir);
    // Watching again is harmless; a folder that was removed (and perhaps made again) is opened anew.
    if (it != folders_.end() && it->second->StillThere()) return true;
    auto folder = std::make_unique<Folder>(dir);
    if (!folder->Open()) return false;
    folders_[dir] = std::move(folder);
    return true;
  }

  std::vector<std::string> Changes() override {
    std::set<std::string> changed;
    for (auto& [dir, folder] : folders_) {
      if (!folder->broken()) folder->Collect(&changed);
    }
    return std::vector<std::string>(changed.begin(), changed.end());
  }

  const char* Kind() const override { return "ReadDirectoryChangesW"; }

 private:
  std::map<std::string, std::unique_ptr<Folder>> folders_;
};

}  // namespace

std::unique_ptr<FileWatcher> CreateFileWatcher() { return std::make_unique<Win32FileWatcher>(); }

// Creating directories, the same on every system.
#include <filesystem>

#include "platform/process.h"

bool MakeDirectories(const std::string& path, std::string* why) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec || !std::filesystem::is_directory(path)) {
    if (why) *why = "cannot create directory " + path + (ec ? ": " + ec.message() : "");
    return false;
  }
  return true;
}

#include "app/show_bridge.h"

// Defined by the embedded data object that only the player links in; weak, so tests and tools
// built from the same library see no show.
extern "C" {
extern const uint8_t quillon_archive_begin[] __attribute__((weak));
extern const uint8_t quillon_archive_end[] __attribute__((weak));
extern const uint8_t quillon_soundtrack_begin[] __attribute__((weak));
extern const uint8_t quillon_soundtrack_end[] __attribute__((weak));
extern const uint8_t quillon_launcher_art_begin[] __attribute__((weak));
extern const uint8_t quillon_launcher_art_end[] __attribute__((weak));
}

namespace {

ByteBlock Block(const uint8_t* begin, const uint8_t* end) {
  if (!begin || !end || end <= begin) return {};
  return {begin, static_cast<size_t>(end - begin)};
}

}  // namespace

ByteBlock EmbeddedArchive() { return Block(quillon_archive_begin, quillon_archive_end); }
ByteBlock EmbeddedSoundtrack() { return Block(quillon_soundtrack_begin, quillon_soundtrack_end); }
ByteBlock EmbeddedLauncherArt() { return Block(quillon_launcher_art_begin, quillon_launcher_art_end); }

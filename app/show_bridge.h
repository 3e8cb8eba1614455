// The show data carried in the program: the archive and the soundtrack, as byte blocks (empty
// when the build has none).
#pragma once

#include <cstddef>
#include <cstdint>

struct ByteBlock {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

ByteBlock EmbeddedArchive();
ByteBlock EmbeddedSoundtrack();
// The launcher's picture (a PNG), empty when the build has none.
ByteBlock EmbeddedLauncherArt();

#include "app/show_bridge.h"

ByteBlock EmbeddedArchive() { return {}; }
ByteBlock EmbeddedSoundtrack() { return {}; }

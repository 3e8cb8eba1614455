// --export DIR: the show carried in the player written out as files, so it can be taken apart,
// changed and played again (with --no-archive --data-dir DIR): DIR/show.ace, DIR/soundtrack.mp3
// and every archive member unpacked under DIR with "\" turned into "/".
#pragma once

#include <string>

#include "app/show_bridge.h"

// Returns the process exit code; messages go to standard error.
int ExportShow(ByteBlock archive, ByteBlock soundtrack, const std::string& dir);

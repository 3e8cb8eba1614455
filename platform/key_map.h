// Translation of SDL key codes into the virtual-key codes the player keeps its key state by
// (Escape = 27, 'A'..'Z' = 65..90, '0'..'9' = 48..57, F1 = 112, arrows 37..40, ...).
// Usage:
//   int vk = VirtualKeyFromSdlKeycode(event.key.keysym.sym);  // 0 = no such key
#pragma once

#include <cstdint>

// Virtual-key code (1..255) for an SDL key code, or 0 when the key has none.
int VirtualKeyFromSdlKeycode(int32_t sdlKeycode);

// SDL key code for a key name such as "Escape", "A", "F1", "Keypad 5" (0 when unknown). Lets
// callers that do not include SDL name keys.
int32_t SdlKeycodeFromName(const char* name);

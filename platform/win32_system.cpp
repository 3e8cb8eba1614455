// Windows: the system's millisecond tick counter, sleeping and the error message box.
#include <windows.h>

#include <cstdio>

#include "platform/platform.h"

// The desktop is always there on Windows.
bool HasWindowSystem() { return true; }

void ShowErrorBox(const std::string& text) {
  // Also on standard error, so an unattended run's log says what the box said.
  std::fprintf(stderr, "Error: %s\n", text.c_str());
  MessageBoxA(nullptr, text.c_str(), "Error", MB_OK | MB_ICONERROR);
}

// GetTickCount wraps at 2^32 like the design's clock expects.
uint32_t SystemTicks() { return GetTickCount(); }

void SleepMs(uint32_t ms) { Sleep(ms); }

// Diagnostics from the platform layer. The platform sits below the program's own log, so it
// hands its lines to a hook the program installs; with no hook they are discarded.
// Usage:
//   platform::SetLogHook(&MyLogLine);           // e.g. forwards to the program's Log()
//   platform::PlatformLog("screenmode not found");
#pragma once

namespace platform {

using LogHook = void (*)(const char* line);

// Installs the hook that receives every platform log line; nullptr discards them.
void SetLogHook(LogHook hook);

// Formats like printf and passes the line to the hook (nothing happens without one).
void PlatformLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform

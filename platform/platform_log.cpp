#include "platform/platform_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace platform {

namespace {
std::atomic<LogHook> g_hook{nullptr};
}

void SetLogHook(LogHook hook) { g_hook.store(hook); }

void PlatformLog(const char* format, ...) {
  LogHook hook = g_hook.load();
  if (!hook) return;
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  hook(line);
}

}  // namespace platform

// The program's log: diagnostics are formatted and handed here. By default they are discarded;
// --verbose (SetLogSink to standard error) makes them visible.
#pragma once

#include <cstdarg>

using LogSink = void (*)(const char* line);

// Formats like printf and hands the line to the current sink (no-op while none is set).
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void SetLogSink(LogSink sink);
// Sink that writes each line to standard error.
void LogToStderr(const char* line);

// The program's log: every module formats its diagnostics and hands them here. By default they
// are discarded; --verbose (SetLogSink(&LogToStderr)) makes them visible. The log sits below
// every other library (it needs nothing but the C library), so the platform layer, the loaders
// and the tools all write to the same place.
//
//   Log("texture %s not made", name);
//   SetLogSink(verbose ? &LogToStderr : nullptr);
#pragma once

using LogSink = void (*)(const char* line);

// Formats like printf and hands the line to the current sink (no-op while none is set). Lines
// longer than 1023 bytes are cut.
void Log(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
// Installs the sink that receives every line; nullptr discards them.
void SetLogSink(LogSink sink);
// Sink that writes each line to standard error.
void LogToStderr(const char* line);

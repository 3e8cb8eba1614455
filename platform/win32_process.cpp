// Child processes and the console on Windows: CreateProcess with a pipe to the child's
// standard input, a lookup on PATH (with the usual executable extensions), _isatty.
#include <windows.h>
#include <io.h>

#include <cstdlib>

#include "platform/process.h"
#include "platform/win32_common.h"

namespace {

HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }
intptr_t FromHandle(HANDLE handle) { return reinterpret_cast<intptr_t>(handle); }

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool HasExtension(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

}  // namespace

// Quoted when it holds blanks or quotes, with the backslashes before a quote doubled.
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

ChildProcess::~ChildProcess() { Finish(); }

bool ChildProcess::Start(const std::vector<std::string>& argv, std::string* why, const std::string& logPath) {
  if (argv.empty()) {
    *why = "no program to start";
    return false;
  }
  const std::string path = FindOnPath(argv[0]);
  if (path.empty()) {
    *why = argv[0] + " is not installed (not found on PATH)";
    return false;
  }
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    *why = "cannot make a pipe (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  // Only the child's end is inherited.
  SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE log = INVALID_HANDLE_VALUE;
  if (!logPath.empty()) {
    log = CreateFileA(logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = readEnd;
  startup.hStdOutput = log != INVALID_HANDLE_VALUE ? log : GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = log != INVALID_HANDLE_VALUE ? log : GetStdHandle(STD_ERROR_HANDLE);

  std::string commandLine;
  for (const std::string& a : argv) {
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += QuoteArgument(a);
  }
  PROCESS_INFORMATION info{};
  const BOOL started = CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &info);
  const DWORD error = GetLastError();
  CloseHandle(readEnd);
  if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
  if (!started) {
    CloseHandle(writeEnd);
    *why = "cannot start " + argv[0] + " (error " + std::to_string(error) + ")";
    return false;
  }
  CloseHandle(info.hThread);
  pipe_ = FromHandle(writeEnd);
  pid_ = FromHandle(info.hProcess);
  return true;
}

bool ChildProcess::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0 && pipe_ != -1) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(AsHandle(pipe_), p, chunk, &written, nullptr)) return false;
    p += written;
    size -= written;
  }
  return size == 0;
}

int ChildProcess::Finish() {
  if (pipe_ != -1) {
    CloseHandle(AsHandle(pipe_));
    pipe_ = -1;
  }
  if (pid_ == -1) return -1;
  HANDLE process = AsHandle(pid_);
  pid_ = -1;
  DWORD code = 0;
  const bool waited = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return waited ? static_cast<int>(code) : -1;
}

std::string FindOnPath(const std::string& program) {
  if (program.empty()) return "";
  // Without an extension the usual ones are tried, as the command prompt does.
  std::vector<std::string> names = {program};
  if (!HasExtension(program)) names = {program + ".exe", program + ".com", program};
  if (program.find_first_of("/\\:") != std::string::npos) {
    for (const std::string& name : names) {
      if (IsFile(name)) return name;
    }
    return "";
  }
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(';', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    start = end + 1;
    if (dir.empty()) continue;
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    for (const std::string& name : names) {
      if (IsFile(dir + name)) return dir + name;
    }
  }
  return "";
}

bool IsTerminal(int fd) { return _isatty(fd) != 0; }

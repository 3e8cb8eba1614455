#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

ChildProcess::~ChildProcess() { Finish(); }

bool ChildProcess::Start(const std::vector<std::string>& argv, std::string* why, const std::string& logPath) {
  if (argv.empty()) {
    *why = "no program to start";
    return false;
  }
  std::string path = FindOnPath(argv[0]);
  if (path.empty()) {
    *why = argv[0] + " is not installed (not found on PATH)";
    return false;
  }
  int fds[2];
  if (pipe(fds) != 0) {
    *why = std::string("cannot make a pipe: ") + std::strerror(errno);
    return false;
  }
  // Writing to a child that has quit must give an error, not end this process.
  signal(SIGPIPE, SIG_IGN);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    *why = std::string("cannot start ") + argv[0] + ": " + std::strerror(errno);
    return false;
  }
  if (pid == 0) {
    dup2(fds[0], 0);
    close(fds[0]);
    close(fds[1]);
    if (!logPath.empty()) {
      int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (log >= 0) {
        dup2(log, 1);
        dup2(log, 2);
        close(log);
      }
    }
    execv(path.c_str(), args.data());
    _exit(127);
  }
  close(fds[0]);
  pipe_ = fds[1];
  pid_ = pid;
  return true;
}

bool ChildProcess::Write(const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0 && pipe_ >= 0) {
    ssize_t n = write(static_cast<int>(pipe_), p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return size == 0;
}

int ChildProcess::Finish() {
  if (pipe_ >= 0) {
    close(static_cast<int>(pipe_));
    pipe_ = -1;
  }
  if (pid_ < 0) return -1;
  int status = 0;
  while (waitpid(static_cast<pid_t>(pid_), &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FindOnPath(const std::string& program) {
  if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0 ? program : "";
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

bool IsTerminal(int fd) { return isatty(fd) == 1; }

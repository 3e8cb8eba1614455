// Child processes and the terminal: a program started with a pipe to its standard input (the
// offline render feeds ffmpeg this way), a lookup on PATH, and whether a stream is a terminal.
//
//   ChildProcess ffmpeg;
//   if (ffmpeg.Start({"ffmpeg", "-i", "-", "out.mkv"}, &why)) { ffmpeg.Write(bytes, n); ffmpeg.Finish(); }
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts argv[0] (looked up on PATH) with a pipe to its standard input; its standard output
  // and error go to `logPath` when given, else they are inherited.
  bool Start(const std::vector<std::string>& argv, std::string* why, const std::string& logPath = "");
  // Writes all bytes; false when the child has gone away.
  bool Write(const void* data, size_t size);
  // Closes the pipe and waits; returns the exit status (-1 when it did not exit normally).
  int Finish();

 private:
  // The write end of the child's input and the child itself: a descriptor and a process id,
  // or on Windows a pipe handle and a process handle.
  intptr_t pipe_ = -1;
  intptr_t pid_ = -1;
};

// Full path of an executable found on PATH, or empty.
std::string FindOnPath(const std::string& program);

bool IsTerminal(int fd);

// Creates the directory (and its parents) if needed; false with a reason when it cannot.
bool MakeDirectories(const std::string& path, std::string* why);

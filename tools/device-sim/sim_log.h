// The simulator's log: one line per event on standard output, flushed after
// every line so that a test reading the pipe sees each event at once. Safe to
// use from any thread; lines never interleave.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

class SimLog {
 public:
  explicit SimLog(std::FILE* out = stdout) : out_(out) {}

  // Writes `text` and a line feed, then flushes.
  void Line(const std::string& text);
  // printf-style Line.
  void Linef(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  std::mutex mutex_;
  std::FILE* out_;
};

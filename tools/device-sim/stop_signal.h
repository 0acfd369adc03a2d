// Stopping the simulator: a stop signal that every module's thread polls
// alongside its sockets, and the handling of SIGINT and SIGTERM, which the
// main thread waits for synchronously (no signal handlers).
#pragma once

#include <atomic>

class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Wakes every thread that polls Fd(); idempotent, callable from any thread.
  void Request();
  bool Requested() const { return requested_.load(); }
  // Becomes readable (POLLIN) once Request() was called, and stays so.
  int Fd() const { return fd_; }
  // Sleeps `ms` milliseconds or until stop is requested. False when stopped.
  bool SleepFor(int ms) const;

 private:
  int fd_ = -1;
  std::atomic<bool> requested_{false};
};

// Blocks SIGINT and SIGTERM in the calling thread and in every thread it
// creates afterwards, and ignores SIGPIPE. Call first thing in main.
void BlockStopSignals();

// Waits until SIGINT or SIGTERM arrives; returns its number.
int WaitForStopSignal();

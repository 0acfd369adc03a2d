// Stop signal on an eventfd, and synchronous waiting for SIGINT/SIGTERM.
#include "stop_signal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>

StopSignal::StopSignal() { fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

StopSignal::~StopSignal() {
  if (fd_ >= 0) close(fd_);
}

void StopSignal::Request() {
  requested_.store(true);
  std::uint64_t one = 1;
  ssize_t ignored = write(fd_, &one, sizeof(one));
  (void)ignored;
}

bool StopSignal::SleepFor(int ms) const {
  if (Requested()) return false;
  pollfd pfd{fd_, POLLIN, 0};
  while (poll(&pfd, 1, ms) < 0 && errno == EINTR) {
  }
  return !Requested();
}

void BlockStopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

int WaitForStopSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  int sig = 0;
  while (sigwait(&set, &sig) != 0) {
  }
  return sig;
}

// A closed pipe noticed without writing to it.
#include "cli/closed_output.h"

#include <poll.h>
#include <signal.h>

bool OutputReaderGone(int fd) {
  pollfd p{fd, 0, 0};  // no events asked: POLLERR and POLLHUP are always reported
  return poll(&p, 1, 0) == 1 && (p.revents & (POLLERR | POLLHUP)) != 0;
}

bool SigpipeEndsTheProcess() {
  struct sigaction action {};
  return sigaction(SIGPIPE, nullptr, &action) == 0 && action.sa_handler == SIG_DFL;
}

void EndAsClosedPipe(bool sigpipe_ends) {
  if (!sigpipe_ends) return;
  signal(SIGPIPE, SIG_DFL);
  raise(SIGPIPE);
}

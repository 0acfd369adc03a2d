// The claim on a UDP port as an abstract unix socket name.
#include "protocol/port_claim.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <thread>

std::string PortClaim::NameOf(int port) { return "kestra-device-search/udp/" + std::to_string(port); }

PortClaim::Result PortClaim::TryTake(int port) {
  const int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return Result::kFailed;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string name = NameOf(port);
  // sun_path[0] stays 0: the abstract namespace; the name is not terminated.
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
    const int err = errno;
    close(s);
    errno = err;
    return err == EADDRINUSE ? Result::kHeld : Result::kFailed;
  }
  fd_ = s;
  return Result::kTaken;
}

PortClaim::Result PortClaim::Take(int port, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const Result result = TryTake(port);
    if (result != Result::kHeld) return result;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return result;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kRetry, deadline - now));
  }
}

void PortClaim::Release() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
}

// TCP relay service of the device simulator.
#include "tcp_relay.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "answers.h"

namespace {

using Clock = std::chrono::steady_clock;

// Waits for `events` on `fd` or the stop signal. 1 ready, 0 timeout, -1 stop.
int WaitOrStop(int fd, short events, int timeout_ms, const StopSignal& stop) {
  pollfd fds[2] = {{fd, events, 0}, {stop.Fd(), POLLIN, 0}};
  int r;
  while ((r = poll(fds, 2, timeout_ms)) < 0 && errno == EINTR) {
  }
  if (stop.Requested()) return -1;
  if (r <= 0) return 0;
  return 1;
}

// Sends all of `data`; false when the peer went away or stop was requested.
bool SendAll(int fd, const char* data, std::size_t len, const StopSignal& stop) {
  std::size_t sent = 0;
  while (sent < len) {
    ssize_t n = send(fd, data + sent, len - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      if (WaitOrStop(fd, POLLOUT, 5000, stop) != 1) return false;
    } else {
      return false;
    }
  }
  return true;
}

// Reads and drops whatever the client sends until it closes, `wait_ms` pass
// (-1: no limit) or stop is requested; then closes.
void DrainAndClose(int fd, const StopSignal& stop, int wait_ms) {
  char sink[512];
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (wait_ms >= 0 && left <= 0) break;
    if (WaitOrStop(fd, POLLIN, wait_ms >= 0 ? left : -1, stop) != 1) break;
    ssize_t n = recv(fd, sink, sizeof(sink), 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) break;
  }
  close(fd);
}

// After the answer: let the client read everything and close first, so that
// unread bytes on our side never turn the close into a reset.
void FinishAndClose(int fd, const StopSignal& stop, int wait_ms) {
  shutdown(fd, SHUT_WR);
  DrainAndClose(fd, stop, wait_ms);
}

}  // namespace

TcpRelay::TcpRelay(DeviceSet& devices, SimLog& log, Options options)
    : devices_(devices), log_(log), options_(options) {}

TcpRelay::~TcpRelay() {
  JoinFinished(true);
  if (listen_fd_ >= 0) close(listen_fd_);
}

bool TcpRelay::Open() {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_fd_ < 0) {
    std::fprintf(stderr, "device-sim: tcp socket: %s\n", std::strerror(errno));
    return false;
  }
  int on = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(options_.port));
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(listen_fd_, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) < 0 ||
      listen(listen_fd_, 128) < 0) {
    std::fprintf(stderr, "device-sim: tcp bind/listen 0.0.0.0:%d: %s\n", options_.port,
                 std::strerror(errno));
    close(listen_fd_);
    listen_fd_ = -1;
    return false;
  }
  return true;
}

void TcpRelay::Serve(const StopSignal& stop) {
  while (!stop.Requested()) {
    if (WaitOrStop(listen_fd_, POLLIN, 1000, stop) < 0) break;
    JoinFinished(false);
    for (;;) {
      sockaddr_in from{};
      socklen_t len = sizeof(from);
      int fd = accept4(listen_fd_, reinterpret_cast<sockaddr*>(&from), &len,
                       SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd < 0) break;
      log_.Linef("tcp connection from %s", AddressText(from).c_str());
      auto done = std::make_shared<std::atomic<bool>>(false);
      std::thread thread([this, fd, from, &stop, done] {
        HandleConnection(fd, from, stop);
        done->store(true);
      });
      connections_.push_back(Connection{std::move(thread), done});
    }
  }
  JoinFinished(true);
  close(listen_fd_);
  listen_fd_ = -1;
}

void TcpRelay::JoinFinished(bool all) {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (all || it->done->load()) {
      if (it->thread.joinable()) it->thread.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

void TcpRelay::HandleConnection(int fd, sockaddr_in from, const StopSignal& stop) {
  std::string peer = AddressText(from);
  if (options_.fault == TcpFault::kClose) {
    close(fd);
    log_.Linef("tcp closed at once %s", peer.c_str());
    return;
  }

  // The request: read until its encoding yields a whole text (its zero byte).
  std::string received;
  std::string plain;
  bool complete = false;
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
  char buffer[4096];
  while (!complete && received.size() < 65536) {
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (left <= 0 || WaitOrStop(fd, POLLIN, left, stop) != 1) break;
    ssize_t n = recv(fd, buffer, sizeof(buffer), 0);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      break;
    }
    received.append(buffer, static_cast<std::size_t>(n));
    plain = DecodeRequest(received.data(), received.size(), &complete);
  }
  if (plain.empty() || RequestFlag(plain) < 0) {
    log_.Linef("tcp no request from %s", peer.c_str());
    close(fd);
    return;
  }
  int flag = RequestFlag(plain);
  log_.Linef("tcp request flag=%02d from %s", flag, peer.c_str());
  if (flag != 0 && flag != 2) {
    log_.Linef("tcp ignored flag=%02d from %s", flag, peer.c_str());
    close(fd);
    return;
  }

  std::vector<tComUnitInfo> devices = devices_.Snapshot();
  std::string answer = EncodeRelayAnswer(devices, options_.extra_texts);
  switch (options_.fault) {
    case TcpFault::kSilent:
      log_.Linef("tcp silent to %s", peer.c_str());
      DrainAndClose(fd, stop, -1);  // holds the connection open until the client leaves
      return;
    case TcpFault::kFlood: {
      // The answer, then Base64 filler, all of it as fast as the client reads.
      std::string chunk(64 * 1024, 'A');
      for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = "QUJDRA+/"[i % 8];
      std::size_t sent = SendAll(fd, answer.data(), answer.size(), stop) ? answer.size() : 0;
      while (sent > 0 && sent < options_.flood_bytes) {
        std::size_t n = std::min(chunk.size(), options_.flood_bytes - sent);
        if (!SendAll(fd, chunk.data(), n, stop)) break;
        sent += n;
      }
      log_.Linef("tcp flood to %s sent %zu bytes", peer.c_str(), sent);
      close(fd);
      return;
    }
    case TcpFault::kReset: {
      std::size_t half = answer.size() / 2;
      SendAll(fd, answer.data(), half, stop);
      stop.SleepFor(50);  // let the half reach the client before the reset
      linger hard{1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
      close(fd);
      log_.Linef("tcp reset to %s after %zu bytes", peer.c_str(), half);
      return;
    }
    case TcpFault::kSlow:
    case TcpFault::kTrickle: {
      bool trickle = options_.fault == TcpFault::kTrickle;
      int pause_ms = trickle ? 1000 : options_.slow_byte_ms;
      log_.Linef(trickle ? "tcp trickle to %s devices=%zu bytes=%zu"
                         : "tcp slow answer to %s devices=%zu bytes=%zu",
                 peer.c_str(), devices.size(), answer.size());
      for (std::size_t i = 0; i < answer.size(); ++i) {
        if (!SendAll(fd, answer.data() + i, 1, stop) ||
            (pause_ms > 0 && !stop.SleepFor(pause_ms))) {
          if (!stop.Requested())
            log_.Linef("tcp slow answer to %s cut after %zu bytes", peer.c_str(), i);
          close(fd);
          return;
        }
      }
      FinishAndClose(fd, stop, 2000);
      return;
    }
    default:
      SendAll(fd, answer.data(), answer.size(), stop);
      log_.Linef("tcp answer to %s devices=%zu bytes=%zu", peer.c_str(), devices.size(),
                 answer.size());
      FinishAndClose(fd, stop, 2000);
      return;
  }
}

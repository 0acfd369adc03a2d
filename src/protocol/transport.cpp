// Datagram and relay transport over POSIX sockets: reply-socket opener,
// datagram sender, the two-pass UDP search exchange and the TCP relay
// exchange, each bounded in time and closing every socket it opens.
#include "protocol/transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

#include "protocol/codec.h"

const char kPassCapLog[] = "UDP pass %d stopped at its %d ms limit; answers so far kept\n";
const char kConnectTimeoutLog[] = "TCP relay connect gave up after %d ms\n";
const char kReadLimitLog[] = "TCP relay read stopped at its %d ms limit; %d bytes kept\n";
const char kReceiveBufferLog[] = "SO_RCVBUF is %d bytes, less than the %d asked\n";

namespace {

using Clock = std::chrono::steady_clock;

int MsUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  return static_cast<int>(left.count());
}

std::string ErrorText(int err) { return std::strerror(err); }

// Waits for `events` on `sock` for at most `timeout_ms`, retrying after
// signals with the time that is left. 1 ready, 0 timed out, -1 failed.
int WaitFor(int sock, short events, int timeout_ms) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    pollfd pfd{sock, events, 0};
    int r = poll(&pfd, 1, MsUntil(deadline));
    if (r > 0) return 1;
    if (r == 0) return 0;
    if (errno != EINTR) return -1;
  }
}

// The three fixed buffers of one exchange, zero-filled, on the heap so that
// an exchange may run on a thread with a small stack.
struct ExchangeBuffers {
  char request[kPacketBufferSize] = {};
  char received[kPacketBufferSize] = {};
  unsigned char decoded[kPacketBufferSize] = {};
};

}  // namespace

int DM_CreateUDPBroadcastSocket(int port, int* sock, sockaddr_in* addr, DebugLog& log) {
  *sock = -1;
  std::memset(addr, 0, sizeof(*addr));
  addr->sin_family = AF_INET;
  addr->sin_port = htons(static_cast<std::uint16_t>(port));
  addr->sin_addr.s_addr = htonl(INADDR_ANY);

  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) {
    log.Append(StringPrintf("socket() error : %s\n", ErrorText(errno).c_str()));
    return -1;
  }
  int on = 1;
  if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) < 0) {
    log.Append(StringPrintf("setsockopt(SO_REUSEADDR) error : %s\n", ErrorText(errno).c_str()));
    close(s);
    return -1;
  }
  if (bind(s, reinterpret_cast<const sockaddr*>(addr), sizeof(*addr)) < 0) {
    log.Append(StringPrintf("bind() error : %s\n", ErrorText(errno).c_str()));
    close(s);
    return -1;
  }
  *sock = s;
  return 0;
}

int SendDatagram(int port, const char* text, const SearchSettings& settings, DebugLog& log) {
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) {
    log.Append(StringPrintf("socket(SOCK_DGRAM) failed : %s\n", ErrorText(errno).c_str()));
    return -1;
  }
  int on = 1;
  if (setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) < 0) {
    log.Append(StringPrintf("setsockopt(SO_BROADCAST) error : %s\n", ErrorText(errno).c_str()));
    close(s);
    return -1;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr =
      settings.ip_relay ? InetAddr(settings.relay_address.c_str()) : htonl(INADDR_BROADCAST);

  std::size_t len = text ? strnlen(text, kPacketBufferSize) : 0;
  int result = 0;
  ssize_t sent = sendto(s, text, len, 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
  if (sent < 0) {
    int err = errno;
    log.Append(StringPrintf("sendto() error : %s len=%d\n", ErrorText(err).c_str(),
                            static_cast<int>(sent)));
    result = -1;
  }
  close(s);
  return result;
}

int EnlargeReceiveBuffer(int sock, int bytes, DebugLog& log) {
  if (setsockopt(sock, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof(bytes)) < 0) {
    setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof(bytes));
  }
  int got = 0;
  socklen_t len = sizeof(got);
  getsockopt(sock, SOL_SOCKET, SO_RCVBUF, &got, &len);
  if (got < bytes) log.Append(StringPrintf(kReceiveBufferLog, got, bytes));
  return got;
}

std::size_t DecodeAnswer(const char* received, std::size_t len, unsigned char* out,
                         std::size_t out_size, std::size_t* dirty) {
  std::size_t n = Base64Decode(out, out_size, received, len);
  Complement(out, n);
  std::size_t end = *dirty < out_size ? *dirty : out_size;
  if (end > n) std::memset(out + n, 0, end - n);
  *dirty = n;
  return n;
}

void UdpSearchExchange(int flag, const SearchSettings& settings, DebugLog& log,
                       const AnswerSink& sink, const ExchangeLimits& limits) {
  int sock = -1;
  sockaddr_in addr{};
  if (DM_CreateUDPBroadcastSocket(kReplyPort, &sock, &addr, log) != 0) {
    log.Append(StringPrintf("DM_CreateUDPBroadcastSocket(%d) failed!\n", kReplyPort));
    return;
  }
  EnlargeReceiveBuffer(sock, limits.receive_buffer, log);

  auto buffers = std::make_unique<ExchangeBuffers>();
  std::size_t dirty = 0;
  for (int pass = 1; pass <= 2; ++pass) {
    std::memset(buffers->request, 0, sizeof(buffers->request));
    if (BuildPacket(flag, buffers->request, sizeof(buffers->request), nullptr, log) == 0) {
      SendDatagram(kRequestPort, buffers->request, settings, log);
    }
    Clock::time_point cap = Clock::now() + std::chrono::milliseconds(limits.pass_cap_ms);
    for (;;) {
      int cap_left = MsUntil(cap);
      bool capped = cap_left < limits.quiet_ms;
      int ready = cap_left > 0 ? WaitFor(sock, POLLIN, capped ? cap_left : limits.quiet_ms) : 0;
      if (ready <= 0) {
        if (ready == 0 && capped) log.Append(StringPrintf(kPassCapLog, pass, limits.pass_cap_ms));
        break;
      }
      ssize_t n = recvfrom(sock, buffers->received, sizeof(buffers->received), MSG_DONTWAIT,
                           nullptr, nullptr);
      if (n <= 0) continue;
      DecodeAnswer(buffers->received, static_cast<std::size_t>(n), buffers->decoded,
                   sizeof(buffers->decoded), &dirty);
      if (sink) sink(buffers->decoded, sizeof(buffers->decoded), static_cast<std::size_t>(n));
    }
  }
  close(sock);
}

void TcpRelayExchange(const SearchSettings& settings, DebugLog& log, const AnswerSink& sink,
                      const ExchangeLimits& limits) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(kRequestPort);
  to.sin_addr.s_addr = InetAddr(settings.relay_address.c_str());
  auto buffers = std::make_unique<ExchangeBuffers>();

  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (s < 0) {
    log.Append("CREATE SOCKET ERROR");
    return;
  }

  // Connect within tcp_connect_ms.
  bool connected = connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof(to)) == 0;
  if (!connected && errno == EINPROGRESS) {
    int ready = WaitFor(s, POLLOUT, limits.tcp_connect_ms);
    if (ready == 0) {
      log.Append(StringPrintf(kConnectTimeoutLog, limits.tcp_connect_ms));
    } else if (ready > 0) {
      int err = 0;
      socklen_t len = sizeof(err);
      connected = getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
  }
  if (!connected) {
    log.Append("CONNECT ERROR");
    close(s);
    return;
  }

  if (BuildPacket(2, buffers->request, sizeof(buffers->request), nullptr, log) != 0) {
    close(s);
    return;
  }
  std::size_t len = strnlen(buffers->request, sizeof(buffers->request));
  // The request is a few dozen bytes on a fresh connection: one send takes it.
  if (send(s, buffers->request, len, MSG_NOSIGNAL) != static_cast<ssize_t>(len)) {
    log.Append("SEND ERROR");
  }
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits.tcp_read_ms);

  int pause = limits.tcp_pause_ms < limits.tcp_read_ms ? limits.tcp_pause_ms : limits.tcp_read_ms;
  if (pause > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pause));

  int ready = WaitFor(s, POLLIN, MsUntil(deadline));
  if (ready == 0) log.Append(StringPrintf(kReadLimitLog, limits.tcp_read_ms, 0));
  if (ready <= 0) {
    close(s);
    return;
  }

  const std::size_t capacity = sizeof(buffers->received) - 1;  // keeps a terminating zero
  std::size_t total = 0;
  while (total < capacity) {
    ssize_t n = recv(s, buffers->received + total, capacity - total, 0);
    if (n > 0) {
      total += static_cast<std::size_t>(n);
      continue;
    }
    if (n == 0) break;  // the relay closed the connection
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) break;
    int more = WaitFor(s, POLLIN, MsUntil(deadline));
    if (more == 0) {
      log.Append(StringPrintf(kReadLimitLog, limits.tcp_read_ms, static_cast<int>(total)));
      break;
    }
    if (more < 0) break;
  }

  std::size_t dirty = 0;
  DecodeAnswer(buffers->received, total, buffers->decoded, sizeof(buffers->decoded), &dirty);
  if (sink) sink(buffers->decoded, sizeof(buffers->decoded), total);
  close(s);
}

// Datagram and relay transport over POSIX sockets: reply-socket opener,
// datagram senders, the two-pass UDP search exchange with its reply reader,
// and the TCP relay exchange, each bounded in time and closing every socket
// it opens.
#include "protocol/transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/filter.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <thread>

#include "protocol/answer_codec.h"
#include "protocol/codec.h"
#include "protocol/ipv4_text.h"
#include "protocol/port_claim.h"
#include "protocol/reply_reader.h"
#include "protocol/string_printf.h"

const char kPassCapLog[] = "UDP pass %d stopped at its %d ms limit; answers so far kept\n";
const char kConnectTimeoutLog[] = "TCP relay connect gave up after %d ms\n";
const char kReadLimitLog[] = "TCP relay read stopped at its %d ms limit; %d bytes kept\n";
const char kReceiveBufferLog[] = "SO_RCVBUF is %d bytes, less than the %d asked\n";
const char kNoInterfaceLog[] =
    "No network interface to search on: none is up with an IPv4 address and broadcast "
    "(loopback is not used)\n";
const char kNoChosenInterfaceLog[] = "None of the interfaces %s is up with an IPv4 address and broadcast\n";
const char kPortWaitLog[] = "UDP port %d is held by another search on this machine; waiting up to %d ms for it\n";
const char kPortFreeLog[] = "UDP port %d came free after %d ms\n";
const char kNoClaimLog[] = "Cannot tell whether another search holds UDP port %d (%s); searching anyway\n";
const char kNotSentOnLog[] = "Not sent on %s (%s)\n";
const char kDroppedLog[] = "%llu answers dropped: the reply sockets' receive buffers were full\n";
const char kReaderFullLog[] = "%llu answers dropped: %llu bytes of answers were already waiting to be read\n";

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

// The interfaces by index, for the answers' arrival interfaces: those the
// search went out of, then, by name only, whatever the system says.
class KnownInterfaces {
 public:
  explicit KnownInterfaces(const std::vector<NetInterface>& known) {
    for (const NetInterface& i : known) interfaces_[i.index] = i;
  }
  const NetInterface& Interface(unsigned index) {
    auto it = interfaces_.find(index);
    if (it != interfaces_.end()) return it->second;
    char name[IF_NAMESIZE] = {};
    NetInterface i;
    i.index = index;
    i.name = index != 0 && if_indextoname(index, name) != nullptr ? name : "";
    return interfaces_.emplace(index, i).first->second;
  }

 private:
  std::map<unsigned, NetInterface> interfaces_;
};

// The opener, with SO_REUSEPORT set before the bind when `share_port`.
int OpenReplySocket(int port, bool share_port, int* sock, sockaddr_in* addr, DebugLog& log) {
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
  if (share_port && setsockopt(s, SOL_SOCKET, SO_REUSEPORT, &on, sizeof(on)) < 0) {
    log.Append(StringPrintf("setsockopt(SO_REUSEPORT) error : %s\n", ErrorText(errno).c_str()));
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

// The reply sockets of a UDP search: kReplySockets sockets sharing port 6667
// (SO_REUSEPORT) with a program that hands each unicast datagram to one of
// them at random. A normal user's socket gets at most net.core.rmem_max of
// receive buffer (on a desktop about 416 KiB, a few hundred answers); spread
// over the group a burst has that many times the room, so no answer is lost
// while the reader is off the processor. Broadcast answers reach every socket
// of a group, so all but the first drop them. Each socket has the arrival
// interface (IP_PKTINFO), a receive time stamp (the reader restores the
// arrival order across sockets) and the drop counter. Empty, after logging,
// when even the first socket cannot be opened; a group that cannot be formed
// falls back to that one socket.
std::vector<int> OpenReplyGroup(const ExchangeLimits& limits, DebugLog& log) {
  std::vector<int> socks;
  sockaddr_in addr{};
  int first = -1;
  if (OpenReplySocket(kReplyPort, true, &first, &addr, log) != 0) return socks;
  socks.push_back(first);
  NullLog quiet;  // later members are extras: their failures change nothing
  for (int i = 1; i < kReplySockets; ++i) {
    int s = -1;
    if (OpenReplySocket(kReplyPort, true, &s, &addr, quiet) != 0) break;
    socks.push_back(s);
  }
  if (socks.size() > 1) {
    sock_filter pick[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_RANDOM)),
        BPF_STMT(BPF_ALU | BPF_MOD | BPF_K, static_cast<std::uint32_t>(socks.size())),
        BPF_STMT(BPF_RET | BPF_A, 0),
    };
    sock_fprog pick_program{static_cast<unsigned short>(std::size(pick)), pick};
    sock_filter unicast_only[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, static_cast<std::uint32_t>(SKF_AD_OFF + SKF_AD_PKTTYPE)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PACKET_HOST, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xFFFFFFFFu),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    sock_fprog unicast_program{static_cast<unsigned short>(std::size(unicast_only)), unicast_only};
    bool formed = setsockopt(first, SOL_SOCKET, SO_ATTACH_REUSEPORT_CBPF, &pick_program, sizeof(pick_program)) == 0;
    for (std::size_t i = 1; formed && i < socks.size(); ++i)
      formed = setsockopt(socks[i], SOL_SOCKET, SO_ATTACH_FILTER, &unicast_program, sizeof(unicast_program)) == 0;
    if (!formed) {
      // Without the program the group would spread answers by their source
      // and copy broadcasts: one socket is the sound choice.
      for (std::size_t i = 1; i < socks.size(); ++i) close(socks[i]);
      socks.resize(1);
      setsockopt(first, SOL_SOCKET, SO_DETACH_REUSEPORT_BPF, nullptr, 0);
    }
  }
  const int share = std::max(1, limits.receive_buffer / static_cast<int>(socks.size()));
  const int ask = limits.receive_buffer_cap > 0 ? std::min(share, limits.receive_buffer_cap) : share;
  int on = 1;
  for (int s : socks) {
    EnlargeReceiveBuffer(s, ask, log);
    setsockopt(s, IPPROTO_IP, IP_PKTINFO, &on, sizeof(on));
    setsockopt(s, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof(on));
    setsockopt(s, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof(on));
  }
  return socks;
}

}  // namespace

int DM_CreateUDPBroadcastSocket(int port, int* sock, sockaddr_in* addr, DebugLog& log) {
  return OpenReplySocket(port, false, sock, addr, log);
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

std::vector<std::string> SendBroadcastOn(const std::vector<NetInterface>& interfaces, int port,
                                         const char* text, DebugLog& log) {
  std::vector<std::string> sent_on;
  if (interfaces.empty()) return sent_on;
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) {
    log.Append(StringPrintf("socket(SOCK_DGRAM) failed : %s\n", ErrorText(errno).c_str()));
    return sent_on;
  }
  int on = 1;
  if (setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on)) < 0) {
    log.Append(StringPrintf("setsockopt(SO_BROADCAST) error : %s\n", ErrorText(errno).c_str()));
    close(s);
    return sent_on;
  }
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  std::size_t len = text ? strnlen(text, kPacketBufferSize) : 0;
  for (const NetInterface& i : interfaces) {
    bool went_out = false;
    for (const InterfaceAddress& a : AddressesOf(i)) {
      // The interface is chosen per datagram with IP_PKTINFO: the kernel
      // sends a limited broadcast straight out of ipi_ifindex without a
      // route, and unlike SO_BINDTODEVICE it needs no privilege, so a normal
      // user reaches networks without a default route (and one socket serves
      // them all). ipi_spec_dst makes one of the interface's own addresses
      // the source, so that devices answer to an address on their wire.
      ssize_t sent = SendThrough(s, text, len, to, i.index, a.address);
      if (sent < 0) {
        int err = errno;
        log.Append(StringPrintf("sendto() error : %s len=%d\n", ErrorText(err).c_str(), static_cast<int>(sent)));
        log.Append(StringPrintf(kNotSentOnLog, i.name.c_str(), DottedAddress(a.address).c_str()));
        continue;
      }
      went_out = true;
    }
    if (went_out) sent_on.push_back(i.name);
  }
  close(s);
  return sent_on;
}

ssize_t SendThrough(int sock, const void* data, std::size_t len, const sockaddr_in& to, unsigned ifindex,
                    std::uint32_t source) {
  iovec iov{const_cast<void*>(data), len};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr msg{};
  msg.msg_name = const_cast<sockaddr_in*>(&to);
  msg.msg_namelen = sizeof(to);
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  if (ifindex != 0 || source != 0) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof(control);
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(ifindex);
    info.ipi_spec_dst.s_addr = source;
    std::memcpy(CMSG_DATA(c), &info, sizeof(info));
  }
  ssize_t sent;
  while ((sent = sendmsg(sock, &msg, 0)) < 0 && errno == EINTR) {
  }
  return sent;
}

int EnlargeReceiveBuffer(int sock, int bytes, DebugLog& log) {
  if (setsockopt(sock, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof(bytes)) < 0) {
    setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof(bytes));
  }
  int got = 0;
  socklen_t len = sizeof(got);
  getsockopt(sock, SOL_SOCKET, SO_RCVBUF, &got, &len);
  // Once a run: for a normal user this is every search's lot, not news.
  static std::atomic<bool> noted{false};
  if (got < bytes && !noted.exchange(true)) log.Append(StringPrintf(kReceiveBufferLog, got, bytes));
  return got;
}

ExchangeEnd UdpSearchExchange(int flag, const SearchSettings& settings, DebugLog& log,
                              const AnswerSink& sink, const ExchangeLimits& limits) {
  ArrivalSink told;
  if (sink) {
    told = [&sink](const unsigned char* decoded, std::size_t size, std::size_t bound, const AnswerArrival& arrival) {
      sink(decoded, size, bound, arrival.interface);
    };
  }
  return UdpSearchExchange(flag, settings, log, told, limits);
}

ExchangeEnd UdpSearchExchange(int flag, const SearchSettings& settings, DebugLog& log,
                              const ArrivalSink& sink, const ExchangeLimits& limits) {
  // Read afresh at every search, so interfaces that came or went count.
  std::vector<NetInterface> interfaces;
  if (!settings.ip_relay) {
    interfaces = SelectInterfaces(BroadcastInterfaces(), settings.interfaces);
    if (interfaces.empty()) {
      log.Append(settings.interfaces.empty()
                     ? std::string(kNoInterfaceLog)
                     : StringPrintf(kNoChosenInterfaceLog, JoinNames(settings.interfaces).c_str()));
      return ExchangeEnd::kDone;
    }
  }

  // Declared before the sockets: given up after they are closed.
  PortClaim claim;
  PortClaim::Result claimed = claim.TryTake(kReplyPort);
  if (claimed == PortClaim::Result::kHeld) {
    log.Append(StringPrintf(kPortWaitLog, kReplyPort, limits.port_wait_ms));
    const Clock::time_point asked = Clock::now();
    claimed = claim.Take(kReplyPort, std::chrono::milliseconds(limits.port_wait_ms));
    if (claimed == PortClaim::Result::kHeld) return ExchangeEnd::kPortHeld;
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked);
    if (claimed == PortClaim::Result::kTaken)
      log.Append(StringPrintf(kPortFreeLog, kReplyPort, static_cast<int>(waited.count())));
  }
  if (claimed == PortClaim::Result::kFailed)
    log.Append(StringPrintf(kNoClaimLog, kReplyPort, ErrorText(errno).c_str()));

  std::vector<int> socks = OpenReplyGroup(limits, log);
  if (socks.empty()) {
    log.Append(StringPrintf("DM_CreateUDPBroadcastSocket(%d) failed!\n", kReplyPort));
    return ExchangeEnd::kDone;
  }

  auto buffers = std::make_unique<ExchangeBuffers>();
  std::size_t dirty = 0;
  KnownInterfaces known(interfaces);
  std::deque<ReplyReader::Batch> batches;
  {
    ReplyReader::Options reading;
    reading.max_held_bytes = limits.reader_max_held_bytes;
    ReplyReader reader(socks, reading);
    if (!reader.Running()) log.Append(StringPrintf("eventfd() error : %s\n", ErrorText(errno).c_str()));
    for (int pass = 1; pass <= 2 && reader.Running(); ++pass) {
      std::memset(buffers->request, 0, sizeof(buffers->request));
      if (BuildPacket(flag, buffers->request, sizeof(buffers->request), nullptr, log) == 0) {
        if (settings.ip_relay) {
          SendDatagram(kRequestPort, buffers->request, settings, log);
        } else {
          SendBroadcastOn(interfaces, kRequestPort, buffers->request, log);
        }
      }
      const Clock::time_point cap = Clock::now() + std::chrono::milliseconds(limits.pass_cap_ms);
      const auto quiet = std::chrono::milliseconds(limits.quiet_ms);
      Clock::time_point last = Clock::now();  // the pass waits a quiet gap for its first answer
      for (;;) {
        const bool capped = last + quiet >= cap;
        bool got = reader.Take(capped ? cap : last + quiet, &batches);
        if (!got && Clock::now() < cap && reader.Pending()) {
          // Answers wait that the reader has not handed on (it has not had
          // the processor): no quiet gap yet. Their own arrival times decide.
          got = reader.Take(Clock::now() + std::chrono::milliseconds(10), &batches);
          if (!got) continue;
        }
        if (!got) {
          if (capped) log.Append(StringPrintf(kPassCapLog, pass, limits.pass_cap_ms));
          break;
        }
        for (const ReplyReader::Batch& batch : batches) {
          if (batch.arrival > last) last = batch.arrival;
          for (const ReplyReader::Datagram& d : batch.datagrams) {
            DecodeAnswer(batch.bytes.data() + d.offset, d.length, buffers->decoded,
                         sizeof(buffers->decoded), &dirty);
            const NetInterface& arrived = known.Interface(d.ifindex);
            if (sink)
              sink(buffers->decoded, sizeof(buffers->decoded), d.length,
                   AnswerArrival{arrived.name, LocalAddressFor(arrived, d.destination)});
          }
        }
        batches.clear();
        if (Clock::now() >= cap) {  // answers that never pause do not hold the pass
          log.Append(StringPrintf(kPassCapLog, pass, limits.pass_cap_ms));
          break;
        }
      }
    }
    if (std::uint64_t dropped = reader.Dropped())
      log.Append(StringPrintf(kDroppedLog, static_cast<unsigned long long>(dropped)));
    if (std::uint64_t discarded = reader.Discarded())
      log.Append(StringPrintf(kReaderFullLog, static_cast<unsigned long long>(discarded),
                              static_cast<unsigned long long>(limits.reader_max_held_bytes)));
  }
  for (int s : socks) close(s);
  return ExchangeEnd::kDone;
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
  if (sink) sink(buffers->decoded, sizeof(buffers->decoded), total, "");
  close(s);
}

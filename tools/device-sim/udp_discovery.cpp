// UDP discovery service of the device simulator.
#include "udp_discovery.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "answers.h"
#include "protocol/transport.h"

UdpDiscovery::UdpDiscovery(DeviceSet& devices, SimLog& log, Options options)
    : devices_(devices), log_(log), options_(options), random_(options.seed) {}

UdpDiscovery::~UdpDiscovery() {
  if (sock_ >= 0) close(sock_);
}

bool UdpDiscovery::Open() {
  sock_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sock_ < 0) {
    std::fprintf(stderr, "device-sim: udp socket: %s\n", std::strerror(errno));
    return false;
  }
  int on = 1;
  setsockopt(sock_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  setsockopt(sock_, SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
  setsockopt(sock_, IPPROTO_IP, IP_PKTINFO, &on, sizeof(on));  // the request's interface
  int bytes = 4 * 1024 * 1024;
  if (setsockopt(sock_, SOL_SOCKET, SO_SNDBUFFORCE, &bytes, sizeof(bytes)) < 0)
    setsockopt(sock_, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof(bytes));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(options_.port));
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(sock_, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) < 0) {
    std::fprintf(stderr, "device-sim: udp bind 0.0.0.0:%d: %s\n", options_.port, std::strerror(errno));
    close(sock_);
    sock_ = -1;
    return false;
  }
  return true;
}

void UdpDiscovery::Serve(const StopSignal& stop) {
  std::vector<char> buffer(65536);
  while (!stop.Requested()) {
    SendDue();
    pollfd fds[2] = {{sock_, POLLIN, 0}, {stop.Fd(), POLLIN, 0}};
    int r = poll(fds, 2, MsToNextSend());
    if (r < 0 && errno != EINTR) break;
    if (fds[1].revents != 0) break;
    if ((fds[0].revents & POLLIN) == 0) continue;
    for (;;) {
      sockaddr_in from{};
      iovec iov{buffer.data(), buffer.size()};
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
      msghdr msg{};
      msg.msg_name = &from;
      msg.msg_namelen = sizeof(from);
      msg.msg_iov = &iov;
      msg.msg_iovlen = 1;
      msg.msg_control = control;
      msg.msg_controllen = sizeof(control);
      ssize_t n = recvmsg(sock_, &msg, MSG_DONTWAIT);
      if (n < 0) break;
      int ifindex = 0;
      for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
          in_pktinfo info;
          std::memcpy(&info, CMSG_DATA(c), sizeof(info));
          ifindex = info.ipi_ifindex;
        }
      }
      HandleDatagram(buffer.data(), static_cast<std::size_t>(n), from, ifindex);
    }
  }
  close(sock_);
  sock_ = -1;
}

void UdpDiscovery::HandleDatagram(const char* data, std::size_t len, const sockaddr_in& from,
                                  int ifindex) {
  std::string plain = DecodeRequest(data, len);
  int flag = RequestFlag(plain);
  std::string sender = AddressText(from);
  if (flag < 0) {
    log_.Linef("udp junk from %s bytes=%zu", sender.c_str(), len);
  } else if (flag == 0 || flag == 2) {
    log_.Linef("udp request flag=%02d from %s", flag, sender.c_str());
    ScheduleAnswer(from, ifindex);
  } else if (flag == 3) {
    log_.Linef("udp package flag=03 from %s", sender.c_str());
    log_.Line("control " + plain);
    // Hook point: the control-package handler applies the package here.
    if (control_handler_) control_handler_(plain, from);
  } else {
    log_.Linef("udp ignored flag=%02d from %s", flag, sender.c_str());
  }
}

std::shared_ptr<const UdpDiscovery::Answer> UdpDiscovery::CurrentAnswer() {
  std::vector<tComUnitInfo> devices = devices_.Snapshot();
  // Re-encode only when the devices changed (a control package may change them).
  if (cached_ && cached_->devices.size() == devices.size() &&
      std::memcmp(cached_->devices.data(), devices.data(), devices.size() * sizeof(tComUnitInfo)) == 0)
    return cached_;
  auto answer = std::make_shared<Answer>();
  answer->datagrams = EncodeAnswerDatagrams(devices, options_.per_datagram, options_.extra_texts);
  answer->device_datagrams = answer->datagrams.size();
  if (options_.garbage) {
    for (std::string& g : GarbageDatagrams()) answer->datagrams.push_back(std::move(g));
  }
  // Junk: fixed sizes of Base64 characters (they decode into random bytes),
  // then random bytes of random sizes; the same junk for every answer.
  std::mt19937 junk_random(options_.seed);
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (int size : options_.junk_sizes) {
    std::string junk(static_cast<std::size_t>(size), 'A');
    for (char& c : junk) c = kAlphabet[junk_random() % 64];
    answer->datagrams.push_back(std::move(junk));
  }
  for (int i = 0; i < options_.junk_random; ++i) {
    std::string junk(junk_random() % (kMaxDatagram + 1), '\0');
    for (char& c : junk) c = static_cast<char>(junk_random() & 0xFF);
    answer->datagrams.push_back(std::move(junk));
  }
  answer->devices = std::move(devices);
  cached_ = answer;
  return cached_;
}

void UdpDiscovery::ScheduleAnswer(const sockaddr_in& from, int ifindex) {
  sockaddr_in to = from;
  to.sin_port = htons(static_cast<std::uint16_t>(options_.reply_port));
  if (options_.answer_broadcast) {
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  } else {
    ifindex = 0;  // routed to the requester
  }
  std::shared_ptr<const Answer> answer = CurrentAnswer();
  Clock::time_point now = Clock::now();
  std::uniform_int_distribution<int> delay(0, options_.delay_ms);
  std::size_t sends = 0;
  for (std::size_t i = 0; i < answer->datagrams.size(); ++i) {
    bool device = i < answer->device_datagrams;
    Clock::time_point when =
        now + std::chrono::milliseconds(device && options_.delay_ms > 0 ? delay(random_) : 0);
    int copies = options_.answer_twice ? 2 : 1;
    for (int c = 0; c < copies; ++c) {
      pending_.push(Pending{when, order_++, to, ifindex, answer, i});
      ++sends;
    }
  }
  std::string dest = AddressText(to);
  log_.Linef("udp answer to %s devices=%zu datagrams=%zu", dest.c_str(), answer->devices.size(), sends);
  if (options_.flood_ms > 0 && !answer->datagrams.empty()) {
    floods_.push_back(Flood{to, ifindex, now, now + std::chrono::milliseconds(options_.flood_ms), answer, 0});
    log_.Linef("udp flood to %s for %d ms", dest.c_str(), options_.flood_ms);
  }
  SendDue();
}

void UdpDiscovery::Send(const std::string& datagram, const sockaddr_in& to, int ifindex) {
  // Out of that interface (with no route needed) when one is given.
  SendThrough(sock_, datagram.data(), datagram.size(), to, static_cast<unsigned>(ifindex));
}

void UdpDiscovery::SendDue() {
  Clock::time_point now = Clock::now();
  while (!pending_.empty() && pending_.top().when <= now) {
    const Pending& p = pending_.top();
    Send(p.answer->datagrams[p.index], p.to, p.ifindex);
    pending_.pop();
  }
  for (auto it = floods_.begin(); it != floods_.end();) {
    Flood& f = *it;
    while (f.next <= now && f.next < f.until) {
      for (int b = 0; b < options_.flood_burst; ++b) {
        Send(f.answer->datagrams[f.sent % f.answer->datagrams.size()], f.to, f.ifindex);
        ++f.sent;
      }
      f.next += std::chrono::milliseconds(options_.flood_interval_ms);
    }
    if (f.next >= f.until) {
      log_.Linef("udp flood to %s ended datagrams=%zu", AddressText(f.to).c_str(), f.sent);
      it = floods_.erase(it);
    } else {
      ++it;
    }
  }
}

int UdpDiscovery::MsToNextSend() const {
  bool any = false;
  Clock::time_point next{};
  if (!pending_.empty()) {
    next = pending_.top().when;
    any = true;
  }
  for (const Flood& f : floods_) {
    if (!any || f.next < next) next = f.next;
    any = true;
  }
  if (!any) return -1;
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
  return ms <= 0 ? 0 : static_cast<int>(ms) + 1;
}

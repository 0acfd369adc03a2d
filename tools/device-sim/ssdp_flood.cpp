// The SSDP flood: a sender of announcements and a server that never answers,
// both on one thread with a poll loop.
#include "ssdp_flood.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kGroup[] = "239.255.255.250";
constexpr int kSsdpPort = 1900;
// Announcements are sent in small batches this often.
constexpr auto kBatchEvery = std::chrono::milliseconds(5);

std::string Announcement(const std::string& address, int port, unsigned long n) {
  char udn[64];
  std::snprintf(udn, sizeof(udn), "uuid:f1000d00-0000-4000-8000-%012lx", n);
  return std::string("NOTIFY * HTTP/1.1\r\nHOST: ") + kGroup + ":" + std::to_string(kSsdpPort) +
         "\r\nCACHE-CONTROL: max-age=1800\r\nLOCATION: http://" + address + ":" + std::to_string(port) +
         "/flood-" + std::to_string(n) + ".xml\r\nSERVER: Linux/6.1 UPnP/1.0 device-sim/1.0\r\n"
         "NT: upnp:rootdevice\r\nNTS: ssdp:alive\r\nUSN: " + udn + "::upnp:rootdevice\r\n\r\n";
}

// Lets the server hold as many connections as the hard limit allows.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

int Fail(const char* what) {
  std::fprintf(stderr, "device-sim: ssdp flood: %s: %s\n", what, std::strerror(errno));
  return -1;
}

}  // namespace

int RunSsdpFlood(const SsdpFloodOptions& options, std::atomic<bool>& stop, SimLog& log) {
  in_addr host{};
  if (inet_pton(AF_INET, options.address.c_str(), &host) != 1) {
    std::fprintf(stderr, "device-sim: ssdp flood: no address (give --upnp-address)\n");
    return -1;
  }
  RaiseDescriptorLimit();
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr = host;
  socklen_t at_size = sizeof(at);
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof(at)) != 0 ||
      listen(listener, 1024) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&at), &at_size) != 0)
    return Fail("stalling server");
  const int port = ntohs(at.sin_port);

  const int sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  from.sin_addr = host;
  const unsigned char ttl = 2;
  if (sender < 0 || bind(sender, reinterpret_cast<sockaddr*>(&from), sizeof(from)) != 0 ||
      setsockopt(sender, IPPROTO_IP, IP_MULTICAST_IF, &host, sizeof(host)) != 0 ||
      setsockopt(sender, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof(ttl)) != 0)
    return Fail("announcing socket");
  sockaddr_in group{};
  group.sin_family = AF_INET;
  group.sin_port = htons(kSsdpPort);
  inet_pton(AF_INET, kGroup, &group.sin_addr);

  log.Linef("ssdp flood from %s rate=%d/s stall port %d", options.address.c_str(), options.rate, port);
  std::deque<int> held;
  std::size_t most_held = 0;
  unsigned long sent = 0;
  const Clock::time_point start = Clock::now();
  Clock::time_point next_batch = start;
  const int per_batch = options.rate <= 0 ? 0 : std::max(1, options.rate / 200);
  while (!stop.load()) {
    const Clock::time_point now = Clock::now();
    const bool announcing =
        per_batch > 0 && (options.duration_ms <= 0 || now - start < std::chrono::milliseconds(options.duration_ms));
    if (announcing && now >= next_batch) {
      for (int i = 0; i < per_batch; ++i, ++sent) {
        const std::string text = Announcement(options.address, port, sent);
        sendto(sender, text.data(), text.size(), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&group),
               sizeof(group));
      }
      next_batch += kBatchEvery;
      if (next_batch < now) next_batch = now + kBatchEvery;
    }
    // Take every waiting connection (its request stays unread in the
    // kernel's buffer), then wait until the next batch or a new connection.
    for (;;) {
      const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd < 0) break;
      held.push_back(fd);
      if (held.size() > static_cast<std::size_t>(options.held_limit)) {
        close(held.front());
        held.pop_front();
      }
      most_held = std::max(most_held, held.size());
    }
    pollfd wait{listener, POLLIN, 0};
    poll(&wait, 1, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(kBatchEvery).count()));
  }
  for (int fd : held) close(fd);
  close(listener);
  close(sender);
  log.Linef("ssdp flood sent %lu held %zu", sent, most_held);
  return 0;
}

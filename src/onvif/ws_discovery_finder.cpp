// The WS-Discovery search: UDP sockets per address, two rounds of Probes,
// the answers' intake, and the details requests, all in one poll() loop.
#include "onvif/ws_discovery_finder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>

#include "onvif/device_details.h"
#include "onvif/discovery_messages.h"
#include "onvif/probe_intake.h"
#include "protocol/interfaces.h"
#include "protocol/string_printf.h"

namespace {

using Clock = std::chrono::steady_clock;

// Receive buffer asked for each UDP socket (the system caps it).
constexpr int kReceiveBuffer = 1 << 20;

// One UDP socket of the search.
struct ProbeSocket {
  int fd = -1;
  NetInterface on;
  std::uint32_t address = 0;
  std::size_t account = 0;  // its entry in the account's sockets
};

// A device taken, until it is final.
struct Pending {
  TakenDevice taken;
};

// One details request under way.
struct Fetch {
  int fd = -1;
  std::size_t pending = 0;
  Clock::time_point deadline;
  bool connected = false;
  std::string out;
  std::size_t sent = 0;
  std::string in;
  ~Fetch() {
    if (fd >= 0) close(fd);
  }
};

class Search {
 public:
  Search(const OnvifSearchTiming& timing, std::vector<OnvifDevice>& devices, OnvifSearchAccount& account,
         const std::function<void(const OnvifDevice&)>& on_device)
      : timing_(timing), devices_(devices), account_(account), on_device_(on_device), intake_(&account) {}
  ~Search() { CloseSockets(); }

  void Open(const std::vector<std::string>& wanted);
  bool Any() const { return !sockets_.empty(); }
  void Run();

 private:
  void SendRound();
  void CloseSockets();
  void Receive(ProbeSocket& s);
  void Take(TakenDevice taken);
  void Final(std::size_t pending);
  void StartFetches();
  void StepFetch(Fetch& f, short events);
  void EndFetch(std::size_t index, const DeviceDetails* details, const std::string& failure);

  const OnvifSearchTiming& timing_;
  std::vector<OnvifDevice>& devices_;
  OnvifSearchAccount& account_;
  const std::function<void(const OnvifDevice&)>& on_device_;
  ProbeIntake intake_;
  std::vector<ProbeSocket> sockets_;
  std::vector<Pending> pending_;
  std::deque<std::size_t> waiting_;  // pending devices whose details wait for a free request
  std::vector<std::unique_ptr<Fetch>> fetches_;
  bool udp_open_ = false;
};

void Search::Open(const std::vector<std::string>& wanted) {
  for (const NetInterface& i : SelectInterfaces(BroadcastInterfaces(), wanted)) {
    for (const InterfaceAddress& a : AddressesOf(i)) {
      OnvifSocketAccount entry;
      entry.interface = i.name;
      entry.address = DottedAddress(a.address);
      const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      sockaddr_in at{};
      at.sin_family = AF_INET;
      at.sin_addr.s_addr = a.address;
      at.sin_port = htons(kOnvifProbePort);
      bool bound = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof(at)) == 0;
      if (!bound && fd >= 0 && errno == EADDRINUSE) {
        entry.port_taken = true;
        at.sin_port = 0;
        bound = bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof(at)) == 0;
      }
      ip_mreqn multicast{};
      multicast.imr_address.s_addr = a.address;
      multicast.imr_ifindex = static_cast<int>(i.index);
      const unsigned char ttl = 1;
      const int buffer = kReceiveBuffer;
      socklen_t at_size = sizeof(at);
      if (!bound || setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &multicast, sizeof(multicast)) != 0 ||
          setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof(ttl)) != 0 ||
          getsockname(fd, reinterpret_cast<sockaddr*>(&at), &at_size) != 0) {
        entry.error = std::strerror(errno);
        entry.port_taken = false;
        if (fd >= 0) close(fd);
        account_.sockets.push_back(std::move(entry));
        continue;
      }
      setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof(buffer));
      entry.port = ntohs(at.sin_port);
      ProbeSocket s;
      s.fd = fd;
      s.on = i;
      s.address = a.address;
      s.account = account_.sockets.size();
      account_.sockets.push_back(std::move(entry));
      sockets_.push_back(std::move(s));
    }
  }
  udp_open_ = !sockets_.empty();
}

void Search::SendRound() {
  sockaddr_in group{};
  group.sin_family = AF_INET;
  group.sin_port = htons(kOnvifDiscoveryPort);
  inet_pton(AF_INET, kOnvifGroup, &group.sin_addr);
  for (std::size_t n = 0; n < sockets_.size(); ++n) {
    for (ProbeType type : {ProbeType::kNetworkVideoTransmitter, ProbeType::kDevice}) {
      const std::string id = NewMessageId();
      const std::string probe = ProbeText(type, id);
      intake_.NoteSent(n, id);
      if (sendto(sockets_[n].fd, probe.data(), probe.size(), MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&group),
                 sizeof(group)) == static_cast<ssize_t>(probe.size()))
        ++account_.sockets[sockets_[n].account].probes;
    }
  }
}

void Search::CloseSockets() {
  for (ProbeSocket& s : sockets_) {
    if (s.fd >= 0) close(s.fd);
    s.fd = -1;
  }
  udp_open_ = false;
}

void Search::Receive(ProbeSocket& s) {
  static thread_local std::vector<char> buffer(kOnvifDatagramLimit + 1);
  for (;;) {
    sockaddr_in from{};
    socklen_t from_size = sizeof(from);
    const ssize_t n = recvfrom(s.fd, buffer.data(), buffer.size(), MSG_TRUNC, reinterpret_cast<sockaddr*>(&from),
                               &from_size);
    if (n < 0) return;  // drained
    ++account_.sockets[s.account].answers;
    const std::size_t size = std::min(static_cast<std::size_t>(n), buffer.size());
    for (TakenDevice& t : intake_.Take(static_cast<std::size_t>(&s - sockets_.data()),
                                       std::string_view(buffer.data(), size), from.sin_addr.s_addr,
                                       ntohs(from.sin_port), s.on))
      Take(std::move(t));
  }
}

void Search::Take(TakenDevice taken) {
  const bool details = taken.details.has_value();
  pending_.push_back(Pending{std::move(taken)});
  if (details) {
    waiting_.push_back(pending_.size() - 1);
    StartFetches();
  } else {
    ++account_.details_elsewhere;
    Final(pending_.size() - 1);
  }
}

void Search::Final(std::size_t pending) {
  devices_.push_back(std::move(pending_[pending].taken.device));
  ++account_.devices;
  if (on_device_) on_device_(devices_.back());
}

void Search::StartFetches() {
  while (!waiting_.empty() && fetches_.size() < static_cast<std::size_t>(kOnvifDetailsAtOnce)) {
    const std::size_t index = waiting_.front();
    waiting_.pop_front();
    const XaddrUrl& x = *pending_[index].taken.details;
    auto f = std::make_unique<Fetch>();
    f->pending = index;
    f->deadline = Clock::now() + timing_.details_timeout;
    f->out = DeviceInformationRequest(StringPrintf("%s:%d", x.host.c_str(), x.port), x.path);
    ++account_.details_asked;
    f->fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = x.address;
    to.sin_port = htons(static_cast<std::uint16_t>(x.port));
    if (f->fd < 0 ||
        (connect(f->fd, reinterpret_cast<sockaddr*>(&to), sizeof(to)) != 0 && errno != EINPROGRESS)) {
      const std::string why = std::strerror(errno);
      fetches_.push_back(std::move(f));
      EndFetch(fetches_.size() - 1, nullptr, why);
      continue;
    }
    fetches_.push_back(std::move(f));
  }
}

void Search::StepFetch(Fetch& f, short events) {
  const std::size_t index = static_cast<std::size_t>(
      std::find_if(fetches_.begin(), fetches_.end(), [&](const auto& p) { return p.get() == &f; }) - fetches_.begin());
  if (!f.connected) {
    int error = 0;
    socklen_t size = sizeof(error);
    if (getsockopt(f.fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
    if (error != 0) return EndFetch(index, nullptr, std::strerror(error));
    if ((events & (POLLOUT | POLLERR | POLLHUP)) == 0) return;
    f.connected = true;
  }
  while (f.sent < f.out.size()) {
    const ssize_t n = send(f.fd, f.out.data() + f.sent, f.out.size() - f.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      return EndFetch(index, nullptr, std::strerror(errno));
    }
    f.sent += static_cast<std::size_t>(n);
  }
  char buffer[8192];
  for (;;) {
    const std::size_t room = kOnvifDetailsLimit - f.in.size();
    const ssize_t n = recv(f.fd, buffer, std::min(sizeof(buffer), room + 1), MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (HttpResponseComplete(f.in)) {
          const DeviceDetails d = ReadDeviceDetails(f.in, false);
          return EndFetch(index, &d, "");
        }
        return;
      }
      return EndFetch(index, nullptr, std::strerror(errno));
    }
    if (n == 0) {
      const DeviceDetails d = ReadDeviceDetails(f.in, true);
      return EndFetch(index, &d, "");
    }
    if (static_cast<std::size_t>(n) > room) {
      return EndFetch(index, nullptr, StringPrintf("longer than %zu bytes", kOnvifDetailsLimit));
    }
    f.in.append(buffer, static_cast<std::size_t>(n));
  }
}

// Ends fetch `index`: with what the device answered, or with why nothing
// came (`details` null). The device is final then.
void Search::EndFetch(std::size_t index, const DeviceDetails* details, const std::string& failure) {
  const std::size_t pending = fetches_[index]->pending;
  OnvifDevice& d = pending_[pending].taken.device;
  if (details != nullptr && details->outcome == DetailsOutcome::kRead) {
    ++account_.details_read;
    d.manufacturer = details->manufacturer;
    d.model = details->model;
    d.firmware_version = details->firmware_version;
    d.serial_number = details->serial_number;
    d.hardware_id = details->hardware_id;
  } else if (details != nullptr && details->outcome == DetailsOutcome::kCredentials) {
    ++account_.details_credentials;
  } else if (details != nullptr && details->outcome == DetailsOutcome::kFault) {
    ++account_.details_fault;
  } else {
    ++account_.details_failed;
    const std::string why = details != nullptr
                                ? StringPrintf("%s (HTTP %d)", DetailsOutcomeWord(details->outcome), details->status)
                                : failure;
    account_.NoteDropped("details of " + QuotedOnvifText(d.endpoint) + " at " + d.from_address + ": " + why);
  }
  fetches_.erase(fetches_.begin() + static_cast<std::ptrdiff_t>(index));
  Final(pending);
}

void Search::Run() {
  const Clock::time_point first = Clock::now();
  SendRound();
  const Clock::time_point second = first + timing_.repeat_after;
  const Clock::time_point window_end = first + timing_.window;
  const Clock::time_point grace_end = window_end + timing_.grace;
  bool second_sent = false;
  std::vector<pollfd> fds;
  std::vector<Fetch*> polled;
  for (;;) {
    Clock::time_point now = Clock::now();
    if (!second_sent && now >= second) {
      SendRound();
      second_sent = true;
    }
    if (udp_open_ && now >= window_end) CloseSockets();
    // Requests past their time end as failed; their devices are final.
    for (std::size_t i = 0; i < fetches_.size();) {
      if (now >= fetches_[i]->deadline) EndFetch(i, nullptr, "no answer in time");
      else ++i;
    }
    StartFetches();
    if (!udp_open_ && fetches_.empty() && waiting_.empty()) break;
    if (!udp_open_ && now >= grace_end) break;

    Clock::time_point wake = udp_open_ ? window_end : grace_end;
    if (!second_sent) wake = std::min(wake, second);
    fds.clear();
    polled.clear();
    if (udp_open_)
      for (const ProbeSocket& s : sockets_) fds.push_back(pollfd{s.fd, POLLIN, 0});
    for (const std::unique_ptr<Fetch>& f : fetches_) {
      wake = std::min(wake, f->deadline);
      const bool sending = !f->connected || f->sent < f->out.size();
      fds.push_back(pollfd{f->fd, static_cast<short>(sending ? POLLOUT : POLLIN), 0});
      polled.push_back(f.get());
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    const int ready = poll(fds.data(), static_cast<nfds_t>(fds.size()), static_cast<int>(std::max<long long>(wait, 0)));
    if (ready <= 0) continue;
    std::size_t k = 0;
    if (udp_open_) {
      for (ProbeSocket& s : sockets_) {
        if (fds[k++].revents != 0) Receive(s);
      }
    }
    for (Fetch* f : polled) {
      const short events = fds[k++].revents;
      if (events != 0 && std::any_of(fetches_.begin(), fetches_.end(), [&](const auto& p) { return p.get() == f; }))
        StepFetch(*f, events);
    }
  }
  CloseSockets();
  // What is left is given up: each device final without its details.
  const std::size_t left = fetches_.size() + waiting_.size();
  account_.details_given_up += static_cast<int>(left);
  std::vector<std::size_t> given_up;
  for (const std::unique_ptr<Fetch>& f : fetches_) given_up.push_back(f->pending);
  for (std::size_t w : waiting_) given_up.push_back(w);
  fetches_.clear();
  waiting_.clear();
  std::sort(given_up.begin(), given_up.end());
  for (std::size_t p : given_up) Final(p);
}

}  // namespace

bool WsDiscoveryFinder::Find(Clock::time_point, std::vector<OnvifDevice>& devices, OnvifSearchAccount& account) {
  devices.clear();
  account = OnvifSearchAccount{};
  Search search(timing_, devices, account, on_device_);
  search.Open(interfaces_);
  if (!search.Any()) return false;
  search.Run();
  return true;
}

// The simulator's HTTP relay over POSIX sockets.
#include "http_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

constexpr int kPollStepMs = 50;
constexpr int kRequestTimeoutMs = 5000;
constexpr std::size_t kMaxRequestBytes = 8192;
constexpr int kDripIntervalMs = 200;
constexpr std::string_view kPathPrefix = "/device.get";
constexpr std::string_view kTypeKey = "DeviceType=";

using Clock = std::chrono::steady_clock;

void LogLine(std::ostream& log, const std::string& line) {
  log << line << '\n';
  log.flush();
}

std::string ErrnoText(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Closes the descriptor when it goes out of scope.
struct Fd {
  explicit Fd(int f) : fd(f) {}
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int fd;
};

std::string Row(const std::vector<std::string_view>& cells, std::size_t padding) {
  std::string row = "<tr>";
  for (std::string_view cell : cells) {
    row += "<td>";
    row += cell;
    row += "</td>";
  }
  if (padding > 0) row += "<td>" + std::string(padding, 'x') + "</td>";
  return row + "</tr>\r\n";
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Waits until fd is ready for events, or the time is up, or stop is set.
// Returns true when ready.
bool WaitFor(int fd, short events, int timeout_ms, const std::atomic<bool>& stop) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!stop.load()) {
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, kPollStepMs);
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
    if (Clock::now() >= end) return false;
  }
  return false;
}

// Sends all of data; false if the peer went away, stop was set, or the peer
// stopped reading for the request timeout.
bool SendAll(int fd, std::string_view data, const std::atomic<bool>& stop) {
  while (!data.empty()) {
    if (!WaitFor(fd, POLLOUT, kRequestTimeoutMs, stop)) return false;
    const ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// True if the peer has closed its side (or the socket failed).
bool PeerGone(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0) return false;
  char c;
  const ssize_t n = recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

// Sleeps for ms in short steps; false if stop was set or the peer went away.
bool Pause(int fd, int ms, const std::atomic<bool>& stop) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    if (stop.load() || PeerGone(fd)) return false;
    poll(nullptr, 0, kPollStepMs);
  }
  return !stop.load();
}

// Reads the request head; false on timeout, stop, oversize or hang-up.
bool ReadRequestHead(int fd, const std::atomic<bool>& stop, std::string* head) {
  char buf[1024];
  while (head->find("\r\n\r\n") == std::string::npos &&
         head->find("\n\n") == std::string::npos) {
    if (head->size() > kMaxRequestBytes) return false;
    if (!WaitFor(fd, POLLIN, kRequestTimeoutMs, stop)) return false;
    const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n == 0) return false;
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return false;
    }
    head->append(buf, static_cast<std::size_t>(n));
  }
  return true;
}

std::string ResponseHead(const char* status, std::size_t length, bool with_length) {
  std::string head = std::string("HTTP/1.1 ") + status + "\r\nContent-Type: text/html\r\n";
  if (with_length) head += "Content-Length: " + std::to_string(length) + "\r\n";
  return head + "Connection: close\r\n\r\n";
}

void Serve(int fd, const std::string& peer, DeviceSet& devices, const HttpRelayOptions& options,
           const std::atomic<bool>& stop, std::ostream& log) {
  std::string head;
  if (!ReadRequestHead(fd, stop, &head)) return;
  const std::string request_line = head.substr(0, head.find_first_of("\r\n"));
  const std::size_t sp1 = request_line.find(' ');
  const std::size_t sp2 = sp1 == std::string::npos ? std::string::npos : request_line.find(' ', sp1 + 1);
  const std::string method = request_line.substr(0, sp1);
  const std::string path = sp1 == std::string::npos
      ? std::string()
      : request_line.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
  LogLine(log, "http request " + path + " from " + peer);

  std::string device_type;
  if (method != "GET" || !DeviceTypeOfPath(path, &device_type)) {
    const std::string body = "<html><body>Not found</body></html>\r\n";
    SendAll(fd, ResponseHead("404 Not Found", body.size(), true) + body, stop);
    return;
  }
  if (options.delay_ms > 0 && !Pause(fd, options.delay_ms, stop)) return;
  if (!options.redirect.empty()) {
    LogLine(log, "http redirect to " + options.redirect);
    SendAll(fd,
            "HTTP/1.1 302 Found\r\nLocation: " + options.redirect +
                "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
            stop);
    return;
  }
  std::string body = HttpRelayPage(devices.Snapshot(), device_type, options);
  const bool stalls = options.stall_after >= 0;
  if (stalls) body.resize(std::min(body.size(), static_cast<std::size_t>(options.stall_after)));
  const bool open_ended = options.endless_body || stalls;
  if (!SendAll(fd, ResponseHead("200 OK", body.size(), !open_ended) + body, stop)) return;
  if (stalls) {
    while (Pause(fd, kDripIntervalMs, stop)) {
    }
    return;
  }
  while (options.endless_body && Pause(fd, kDripIntervalMs, stop) && SendAll(fd, "\r\n", stop)) {
  }
}

}  // namespace

std::string HttpRelayPage(const std::vector<tComUnitInfo>& devices, std::string_view device_type,
                          const HttpRelayOptions& options) {
  if (options.no_items) return "<html>\r\n<body>No available items</body>\r\n</html>\r\n";
  std::vector<const tComUnitInfo*> shown;
  for (const tComUnitInfo& d : devices) {
    if (device_type == "ALL" || FieldText(d.proj) == device_type) shown.push_back(&d);
  }
  std::string page = "<html>\r\n<body>\r\n<table>\r\n";
  page += Row({"Model", "Proj", "Name", "IP", "Port", "Netmask", "Mac"},
              shown.empty() ? options.padding_bytes : 0);
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const tComUnitInfo& d = *shown[i];
    page += Row({FieldText(d.model), FieldText(d.proj), FieldText(d.name), FieldText(d.ip),
                 FieldText(d.trigger_port), FieldText(d.netmask), FieldText(d.mac)},
                i + 1 == shown.size() ? options.padding_bytes : 0);
  }
  return page + "</table>\r\n</body>\r\n</html>\r\n";
}

bool DeviceTypeOfPath(std::string_view path, std::string* device_type) {
  if (path.substr(0, kPathPrefix.size()) != kPathPrefix) return false;
  path.remove_prefix(kPathPrefix.size());
  if (path.empty() || path[0] != '?') return false;
  path.remove_prefix(1);
  // Find DeviceType= at the start of a parameter.
  std::size_t at = 0;
  while (path.substr(at, kTypeKey.size()) != kTypeKey) {
    at = path.find('&', at);
    if (at == std::string_view::npos) return false;
    ++at;
  }
  std::string_view raw = path.substr(at + kTypeKey.size());
  raw = raw.substr(0, raw.find('&'));
  device_type->clear();
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '%' && i + 2 < raw.size() && HexValue(raw[i + 1]) >= 0 &&
        HexValue(raw[i + 2]) >= 0) {
      device_type->push_back(static_cast<char>(HexValue(raw[i + 1]) * 16 + HexValue(raw[i + 2])));
      i += 2;
    } else {
      device_type->push_back(raw[i]);
    }
  }
  return true;
}

int RunHttpRelay(DeviceSet& devices, const HttpRelayOptions& options, std::atomic<bool>& stop,
                 std::ostream& log) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(options.port));
  if (options.port < 0 || options.port > 65535 ||
      inet_pton(AF_INET, options.address.c_str(), &addr.sin_addr) != 1) {
    LogLine(log, "http relay: bad listen address " + options.address + ":" +
                     std::to_string(options.port));
    return -1;
  }
  Fd listener(socket(AF_INET, SOCK_STREAM, 0));
  if (listener.fd < 0) {
    LogLine(log, "http relay: " + ErrnoText("socket"));
    return -1;
  }
  const int one = 1;
  setsockopt(listener.fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(listener.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    LogLine(log, "http relay: " + ErrnoText("bind"));
    return -1;
  }
  if (listen(listener.fd, 16) != 0) {
    LogLine(log, "http relay: " + ErrnoText("listen"));
    return -1;
  }
  sockaddr_in bound{};
  socklen_t bound_len = sizeof bound;
  getsockname(listener.fd, reinterpret_cast<sockaddr*>(&bound), &bound_len);
  if (options.on_listening) options.on_listening(ntohs(bound.sin_port));

  while (!stop.load()) {
    pollfd p{listener.fd, POLLIN, 0};
    const int r = poll(&p, 1, 100);
    if (r <= 0) continue;
    sockaddr_in peer{};
    socklen_t peer_len = sizeof peer;
    Fd client(accept(listener.fd, reinterpret_cast<sockaddr*>(&peer), &peer_len));
    if (client.fd < 0) {
      if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED)
        LogLine(log, "http relay: " + ErrnoText("accept"));
      continue;
    }
    char peer_text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &peer.sin_addr, peer_text, sizeof peer_text);
    Serve(client.fd, peer_text, devices, options, stop, log);
  }
  return 0;
}

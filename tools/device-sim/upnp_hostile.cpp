// The hostile description server of the simulator's UPnP side.
#include "upnp_hostile.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include "upnp_host.h"

namespace {

constexpr int kSlowByteMs = 100;

SimUpnpDevice AxisDevice(const std::string& udn, const std::string& kind) {
  SimUpnpDevice d;
  d.udn = udn;
  d.manufacturer = "AXIS";
  d.friendly_name = "AXIS Hostile " + kind;
  d.model_description = "AXIS Network Camera (" + kind + ")";
  d.model_name = "AXIS H-" + kind;
  d.model_number = "H-" + kind;
  d.serial_number = "SN-" + kind;
  d.upc = "000000000000";
  d.presentation_url = "http://10.99.0.2/";
  return d;
}

// `head` padded to `length` bytes with characters, many of them above 127.
std::string LongText(std::string head, std::size_t length = 1000) {
  while (head.size() < length) head += head.size() % 2 ? "\xC3\x84" : "\xE2\x82\xAC-";
  // Never end in the middle of a UTF-8 sequence.
  while (head.size() > length) head.pop_back();
  while (!head.empty() && (static_cast<unsigned char>(head.back()) & 0xC0) == 0x80) head.pop_back();
  if (!head.empty() && (static_cast<unsigned char>(head.back()) & 0x80)) head.pop_back();
  return head;
}

// The description split where padding may go: before the device's closing tag.
std::pair<std::string, std::string> SplitBeforeDeviceEnd(const std::string& xml) {
  std::size_t at = xml.rfind("  </device>");
  return {xml.substr(0, at), xml.substr(at)};
}

bool SendAll(int fd, const char* data, std::size_t len, const std::atomic<bool>& stop, int wake) {
  while (len > 0) {
    pollfd fds[2] = {{fd, POLLOUT, 0}, {wake, POLLIN, 0}};
    if (poll(fds, 2, 5000) <= 0 || stop.load() || fds[1].revents) return false;
    ssize_t n = send(fd, data, len, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return false;
    }
    data += n;
    len -= static_cast<std::size_t>(n);
  }
  return true;
}

// Waits up to ms; false when stopped or the peer hung up.
bool Pause(int fd, int ms, const std::atomic<bool>& stop, int wake) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
  int r = poll(fds, 2, ms);
  if (stop.load() || (r > 0 && fds[1].revents)) return false;
  if (r > 0 && fds[0].revents) {
    char c;
    ssize_t n = recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return false;
  }
  return true;
}

std::string Head(std::size_t length, bool with_length) {
  std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=\"utf-8\"\r\n";
  if (with_length) head += "Content-Length: " + std::to_string(length) + "\r\n";
  return head + "Connection: close\r\n\r\n";
}

}  // namespace

std::string HostileDescriptionBody(const std::string& kind, const std::string& udn,
                                   std::size_t huge_bytes) {
  if (kind == "stall") return "";
  if (kind == "huge" || kind == "endless") {
    auto [head, tail] = SplitBeforeDeviceEnd(UpnpDescriptionXml(AxisDevice(udn, kind)));
    if (kind == "endless") return head + "    <x-padding>\n";
    std::string body = head + "    <x-padding>\n";
    const std::string closing = "    </x-padding>\n" + tail;
    std::string line(99, 'x');
    line += '\n';
    while (body.size() + closing.size() < huge_bytes) {
      std::size_t room = huge_bytes - closing.size() - body.size();
      body.append(line, 0, std::min(room, line.size()));
    }
    return body + closing;
  }
  if (kind == "malformed") {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\n"
           "  <device>\n"
           "    <deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>\n"
           "    <friendlyName>AXIS Broken &bogus; <<< &#0; &#xFFFFFFFF;</friendlyName>\n"
           "    <manufacturer>AXIS</manufactur>\n"
           "    <modelName attr=\"unclosed>AXIS \x01\x02\xFF\xFE bytes</modelName>\n"
           "    <UDN>" + udn + "</UDN>\n"
           "    <serviceList><service><serviceType>x</serviceType>\n"
           "    <deviceList><device><device><device>\n"
           "    <presentationURL>http://[::1:80/</presentationURL>\n"
           "  <devi";
  }
  if (kind == "entities") {
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE root [\n"
                      "  <!ENTITY lol0 \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
      xml += "  <!ENTITY lol" + std::to_string(i) + " \"";
      for (int j = 0; j < 10; ++j) xml += "&lol" + std::to_string(i - 1) + ";";
      xml += "\">\n";
    }
    xml += "]>\n";
    std::string doc = UpnpDescriptionXml(AxisDevice(udn, kind));
    doc = doc.substr(doc.find("<root"));
    // Every text the search reads expands to a billion characters.
    for (const char* tag : {"<friendlyName>", "<manufacturer>", "<modelName>", "<modelDescription>"}) {
      std::size_t at = doc.find(tag);
      if (at != std::string::npos) doc.insert(at + std::strlen(tag), "&lol9;");
    }
    return xml + doc;
  }
  if (kind == "long") {
    SimUpnpDevice d = AxisDevice(udn, kind);
    d.manufacturer = LongText("AXIS ");
    d.friendly_name = LongText("AXIS Long (");
    d.model_description = LongText("Model description ");
    d.model_name = LongText("AXIS L");
    d.model_number = LongText("L");
    d.serial_number = LongText("SN");
    d.upc = LongText("0");
    d.presentation_url = "http://10.99.0.2/" + std::string(980, 'p');
    return UpnpDescriptionXml(d);
  }
  // slow: the plain valid description, sent slowly.
  return UpnpDescriptionXml(AxisDevice(udn, kind));
}

HostileDescriptionServer::HostileDescriptionServer(std::vector<std::string> kinds,
                                                   std::size_t huge_bytes, std::ostream& log)
    : kinds_(std::move(kinds)), huge_bytes_(huge_bytes), log_(log) {}

HostileDescriptionServer::~HostileDescriptionServer() { Stop(); }

bool HostileDescriptionServer::Start(const std::string& address, std::string* error) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
    *error = "not an IPv4 address: " + address;
    return false;
  }
  if (pipe2(wake_, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  // One port per kind, so that a client's per-server connection limit never
  // lets one hostile description hold up another.
  std::mt19937_64 random(std::random_device{}());
  for (const std::string& kind : kinds_) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in bound = addr;
    socklen_t len = sizeof(bound);
    if (fd >= 0) listen_fds_.push_back(fd);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&bound), sizeof(bound)) != 0 || listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len) != 0) {
      *error = std::string("listen on ") + address + ": " + std::strerror(errno);
      return false;
    }
    char udn[64];
    std::snprintf(udn, sizeof(udn), "uuid:%08x-0bad-4bad-8bad-%012llx",
                  static_cast<unsigned>(random()), static_cast<unsigned long long>(random() >> 16));
    devices_.push_back({kind, udn,
                        "http://" + address + ":" + std::to_string(ntohs(bound.sin_port)) + "/hostile-" +
                            kind + ".xml"});
  }
  acceptor_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void HostileDescriptionServer::Stop() {
  if (stop_.exchange(true)) return;
  if (wake_[1] >= 0) {
    char c = 1;
    (void)!write(wake_[1], &c, 1);
  }
  if (acceptor_.joinable()) acceptor_.join();
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(threads_mutex_);
    threads.swap(threads_);
  }
  for (std::thread& t : threads) t.join();
  for (int fd : listen_fds_) close(fd);
  listen_fds_.clear();
  for (int& fd : wake_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void HostileDescriptionServer::Log(const std::string& line) {
  std::lock_guard<std::mutex> lock(log_mutex_);
  log_ << line << std::endl;
}

void HostileDescriptionServer::AcceptLoop() {
  std::vector<pollfd> fds;
  for (int fd : listen_fds_) fds.push_back({fd, POLLIN, 0});
  fds.push_back({wake_[0], POLLIN, 0});
  while (!stop_.load()) {
    if (poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
    if (fds.back().revents) break;
    for (std::size_t i = 0; i + 1 < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      sockaddr_in peer{};
      socklen_t len = sizeof(peer);
      int fd = accept4(fds[i].fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
      if (fd < 0) continue;
      char text[INET_ADDRSTRLEN] = "?";
      inet_ntop(AF_INET, &peer.sin_addr, text, sizeof(text));
      std::lock_guard<std::mutex> lock(threads_mutex_);
      threads_.emplace_back([this, fd, peer = std::string(text), i] { Serve(fd, peer, devices_[i]); });
    }
  }
}

void HostileDescriptionServer::Serve(int fd, std::string peer, const HostileUpnpDevice& device) {
  // The request head, within 5 s.
  std::string request;
  char buffer[2048];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
    if (!Pause(fd, 5000, stop_, wake_[0])) break;
    ssize_t n = recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      break;
    }
    request.append(buffer, static_cast<std::size_t>(n));
  }
  std::string path;
  std::size_t sp = request.find(' ');
  if (sp != std::string::npos) path = request.substr(sp + 1, request.find(' ', sp + 1) - sp - 1);
  if (path.empty() || device.location.size() < path.size() ||
      device.location.compare(device.location.size() - path.size(), path.size(), path) != 0) {
    static const char kNotFound[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    SendAll(fd, kNotFound, sizeof(kNotFound) - 1, stop_, wake_[0]);
    close(fd);
    return;
  }
  const std::string& kind = device.kind;
  Log("upnp hostile " + kind + " request from " + peer);
  std::size_t sent = 0;
  const std::string body = HostileDescriptionBody(kind, device.udn, huge_bytes_);
  if (kind == "stall") {
    while (Pause(fd, 100, stop_, wake_[0])) {
    }
  } else if (kind == "slow") {
    std::string all = Head(body.size(), true) + body;
    for (std::size_t i = 0; i < all.size(); ++i) {
      if (!SendAll(fd, all.data() + i, 1, stop_, wake_[0]) || !Pause(fd, kSlowByteMs, stop_, wake_[0]))
        break;
      ++sent;
    }
  } else if (kind == "endless") {
    std::string head = Head(0, false) + body;
    if (SendAll(fd, head.data(), head.size(), stop_, wake_[0])) {
      sent = head.size();
      std::string chunk;
      while (chunk.size() < 256 * 1024) chunk += "      <x>padding padding padding padding</x>\n";
      while (SendAll(fd, chunk.data(), chunk.size(), stop_, wake_[0])) sent += chunk.size();
    }
  } else {
    std::string all = Head(body.size(), true) + body;
    if (SendAll(fd, all.data(), all.size(), stop_, wake_[0])) sent = all.size();
    // Let the client read it all before the close.
    shutdown(fd, SHUT_WR);
    while (Pause(fd, 100, stop_, wake_[0])) {
      if (recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT) == 0) break;
    }
  }
  close(fd);
  Log("upnp hostile " + kind + " sent " + std::to_string(sent) + " bytes");
}

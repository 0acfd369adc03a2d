// The simulator's ONVIF responders: one thread, one poll() loop over the
// WS-Discovery socket, the two HTTP listeners, their connections and a timer
// queue (delayed answers and timed changes).
#include "onvif_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kGroup[] = "239.255.255.250";
constexpr int kDiscoveryPort = 3702;
constexpr std::size_t kRequestLimit = 65536;

std::string Endpoint(std::uint32_t host_order_address, int kind, int index) {
  char text[64];
  std::snprintf(text, sizeof(text), "urn:uuid:%08x-%04x-4000-8000-%012x", host_order_address, kind, index);
  return text;
}

std::string Mac(std::uint32_t address, int index) {
  char text[32];
  std::snprintf(text, sizeof(text), "02:4b:%02x:%02x:%02x:%02x", (address >> 8) & 0xFF, address & 0xFF,
                (index >> 8) & 0xFF, index & 0xFF);
  return text;
}

std::string AddressText(const sockaddr_in& a) {
  char text[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &a.sin_addr, text, sizeof(text));
  return std::string(text) + ":" + std::to_string(ntohs(a.sin_port));
}

}  // namespace

std::vector<OnvifSimResponder> PlanOnvifResponders(const OnvifHostOptions& o) {
  std::vector<OnvifSimResponder> plan;
  in_addr host{};
  inet_pton(AF_INET, o.address.c_str(), &host);
  const std::uint32_t address = ntohl(host.s_addr);
  const std::string base = "http://" + o.address + (o.http_port == 80 ? "" : ":" + std::to_string(o.http_port));
  for (int i = 0; i < o.cameras; ++i) {
    OnvifSimResponder r;
    OnvifSimCamera& c = r.camera;
    const int v = o.plain ? 0 : i % 6;
    c.endpoint = Endpoint(address, 0, i);
    c.types = v == 5 ? "tds:Device" : "dn:NetworkVideoTransmitter tds:Device";
    const std::string name = !o.plain && i % 3 == 1 ? "Entrée " + std::to_string(i + 1)
                                                    : "Kestra Cam " + std::to_string(i + 1);
    c.scopes = {"onvif://www.onvif.org/type/video_encoder", "onvif://www.onvif.org/Profile/Streaming",
                "onvif://www.onvif.org/name/" + PercentEncoded(name),
                "onvif://www.onvif.org/hardware/" + std::string(v == 5 ? "KR-16" : "KC-100"),
                "onvif://www.onvif.org/location/country/Sweden",
                "onvif://www.onvif.org/location/city/" + PercentEncoded("Göteborg"),
                "onvif://www.onvif.org/mac/" + Mac(address, i)};
    r.path = "/onvif/cam" + std::to_string(i + 1) + "/device_service";
    if (!o.plain && i % 5 == 2)
      c.xaddrs = {"http://cam-" + std::to_string(i + 1) + ".local" + r.path,
                  "http://[fe80::4b44:" + std::to_string(i + 1) + "]" + r.path};
    c.xaddrs.push_back(base + r.path);
    if (v == 3) {
      const char* prefixes[][3] = {{"s", "a", "wsd"}, {"env", "w", "dis"}};
      const auto& p = prefixes[(i / 6) % 2];
      c.soap_prefix = p[0];
      c.wsa_prefix = p[1];
      c.wsd_prefix = p[2];
    }
    c.model = v == 5 ? "KR-16" : "KC-100";
    c.serial = "KS" + std::to_string(100000 + i);
    c.firmware = "2." + std::to_string(i % 10);
    r.random_port = v == 1;
    r.twice = v == 2;
    r.delay_ms = v == 4 ? o.delay_ms : 0;
    r.any_probe = v == 5;
    r.credentials = !o.plain && i % 4 == 3;
    r.chunked = !o.plain && i % 2 == 1;
    if (i >= o.cameras - o.appear) r.appear_ms = o.appear_ms;
    if (i < o.bye) r.bye_ms = o.bye_ms;
    if (i >= o.bye && i < o.bye + o.move) r.move_ms = o.move_ms;
    plan.push_back(std::move(r));
  }
  for (int i = 0; i < o.computers; ++i) {
    OnvifSimResponder r;
    r.camera_like = false;
    r.any_probe = true;
    r.camera.endpoint = Endpoint(address, 1, i);
    r.camera.types = "wsdp:Device pub:Computer";
    r.camera.soap_prefix = "soap";
    r.camera.wsa_prefix = "wsa";
    r.camera.wsd_prefix = "wsd";
    plan.push_back(std::move(r));
  }
  for (std::size_t k = 0; k < o.hostile.size(); ++k) {
    const std::string& kind = o.hostile[k];
    OnvifSimResponder r;
    r.camera_like = kind == "elsewhere" || kind == "fault" || kind == "stall" || kind == "huge";
    r.hostile = kind;
    r.any_probe = true;
    OnvifSimCamera& c = r.camera;
    c.endpoint = Endpoint(address, 2, static_cast<int>(k));
    c.types = "dn:NetworkVideoTransmitter";
    r.path = "/onvif/" + kind + std::to_string(k) + "/device_service";
    c.scopes = {"onvif://www.onvif.org/name/" + kind};
    c.xaddrs = {base + r.path};
    if (kind == "no-xaddrs") c.xaddrs.clear();
    if (kind == "elsewhere") c.xaddrs = {"http://" + o.address.substr(0, o.address.rfind('.')) + ".250" + r.path};
    if (kind == "huge") {
      c.scopes.clear();
      c.scopes.push_back("onvif://www.onvif.org/name/" + std::string(2000, 'n'));
      for (int s = 0; s < 200; ++s) c.scopes.push_back("onvif://www.onvif.org/extra/" + std::to_string(s));
      for (int x = 0; x < 19; ++x) c.xaddrs.push_back("http://cam" + std::to_string(x) + ".local/");
    }
    r.fault = kind == "fault";
    r.stall = kind == "stall";
    plan.push_back(std::move(r));
  }
  return plan;
}

struct OnvifHost::State {
  std::vector<OnvifSimResponder> responders;
  std::vector<bool> present;
  int udp = -1;
  int http[2] = {-1, -1};
  in_addr host{};
  sockaddr_in group{};
  int message_number = 0;
  std::mt19937 random{std::random_device{}()};
  struct Timer {
    Clock::time_point at;
    std::function<void()> run;
  };
  std::vector<Timer> timers;
  struct Connection {
    int fd = -1;
    sockaddr_in from{};
    std::string in;
    std::string out;
    std::size_t sent = 0;
    bool answered = false;  // out is final (or it stalls)
  };
  std::vector<Connection> connections;

  void SendTo(int fd, const std::string& text, const sockaddr_in& to) {
    sendto(fd, text.data(), text.size(), MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
  }
  void Announce(std::size_t i, bool hello, SimLog& log) {
    const OnvifSimCamera& c = responders[i].camera;
    SendTo(udp, hello ? SimHello(c, ++message_number) : SimBye(c, ++message_number), group);
    log.Linef("onvif %s %s", hello ? "hello" : "bye", c.endpoint.c_str());
  }
  std::string AnswerText(const OnvifSimResponder& r, const std::string& relates_to) {
    const std::string& kind = r.hostile;
    std::string text = SimProbeMatches(r.camera, kind == "foreign" ? SimMessageId() : relates_to, ++message_number);
    if (kind == "truncated") text.resize(text.size() / 2);
    if (kind == "dtd") {
      const std::size_t envelope = text.find('<', 1);
      text = "<?xml version=\"1.0\"?>\n<!DOCTYPE bomb [<!ENTITY a \"aaaaaaaaaaaaaaaa\"><!ENTITY b "
             "\"&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">]>\n" +
             text.substr(envelope);
      const std::size_t address = text.find(r.camera.endpoint);
      text.replace(address, r.camera.endpoint.size(), "&c;");
    }
    return text;
  }
  void Answer(std::size_t i, const std::string& relates_to, const sockaddr_in& to, SimLog& log) {
    if (!present[i]) return;
    const OnvifSimResponder& r = responders[i];
    const std::string text = AnswerText(r, relates_to);
    if (r.random_port) {
      const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      sockaddr_in from{};
      from.sin_family = AF_INET;
      from.sin_addr = host;
      if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof(from)) == 0) SendTo(fd, text, to);
      if (fd >= 0) close(fd);
    } else {
      SendTo(udp, text, to);
    }
    log.Linef("onvif answer %s to %s", r.camera.endpoint.c_str(), AddressText(to).c_str());
  }
  void OnProbe(const std::string& datagram, const sockaddr_in& from, SimLog& log) {
    const std::optional<SimProbe> probe = ReadSimProbe(datagram);
    if (!probe) return;
    std::string types;
    for (const std::string& t : probe->types) types += (types.empty() ? "" : ",") + t;
    log.Linef("onvif probe from %s types=%s id=%s", AddressText(from).c_str(), types.c_str(),
              probe->message_id.c_str());
    const bool wants_camera =
        probe->types.empty() || std::any_of(probe->types.begin(), probe->types.end(), [](const std::string& t) {
          return t == "NetworkVideoTransmitter" || t == "Device";
        });
    for (std::size_t i = 0; i < responders.size(); ++i) {
      const OnvifSimResponder& r = responders[i];
      if (!present[i] || (!r.any_probe && !wants_camera)) continue;
      const int delay = r.delay_ms > 0 ? std::uniform_int_distribution<int>(0, r.delay_ms)(random) : 0;
      const std::string id = probe->message_id;
      const Clock::time_point at = Clock::now() + std::chrono::milliseconds(delay);
      if (delay == 0) Answer(i, id, from, log);
      else timers.push_back({at, [this, i, id, from, &log] { Answer(i, id, from, log); }});
      if (r.twice) timers.push_back({at + std::chrono::milliseconds(40), [this, i, id, from, &log] { Answer(i, id, from, log); }});
    }
  }
  // The response to a whole request, or "" to stall.
  std::string Respond(Connection& c, SimLog& log) {
    const std::size_t space = c.in.find(' ');
    const std::size_t end = c.in.find(' ', space + 1);
    const std::string path = space == std::string::npos ? "" : c.in.substr(space + 1, end - space - 1);
    const std::size_t headers_end = c.in.find("\r\n\r\n");
    const std::string head = c.in.substr(0, headers_end);
    std::string lower = head;
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const bool credentials = lower.find("\nauthorization:") != std::string::npos ||
                             c.in.find("Security") != std::string::npos || c.in.find("Password") != std::string::npos;
    for (const OnvifSimResponder& r : responders) {
      if (r.path.empty() || path != r.path) continue;
      if (r.stall) {
        log.Linef("onvif details %s from %s status=none credentials=%s", r.camera.endpoint.c_str(),
                  AddressText(c.from).c_str(), credentials ? "yes" : "no");
        return "";
      }
      int status = 200;
      std::string body;
      std::string extra;
      if (c.in.find("GetDeviceInformation") == std::string::npos) {
        status = 400;
        body = SimSoapFault();
      } else if (r.credentials) {
        status = 401;
        extra = "WWW-Authenticate: Digest realm=\"ONVIF\", qop=\"auth\", nonce=\"4b4453\"\r\n";
      } else if (r.fault) {
        status = 500;
        body = SimSoapFault();
      } else {
        body = SimDeviceInformation(r.camera);
      }
      log.Linef("onvif details %s from %s status=%d credentials=%s", r.camera.endpoint.c_str(),
                AddressText(c.from).c_str(), status, credentials ? "yes" : "no");
      const char* reason = status == 200 ? "OK" : status == 401 ? "Unauthorized" : status == 400 ? "Bad Request"
                                                                                                 : "Internal Server Error";
      std::string response = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                             "\r\nServer: device-sim\r\nContent-Type: application/soap+xml; charset=utf-8\r\n" + extra +
                             "Connection: close\r\n";
      if (r.chunked && !body.empty()) {
        response += "Transfer-Encoding: chunked\r\n\r\n";
        for (std::size_t k = 0; k < body.size(); k += 256) {
          const std::string part = body.substr(k, 256);
          char size[16];
          std::snprintf(size, sizeof(size), "%zx\r\n", part.size());
          response += size + part + "\r\n";
        }
        return response + "0\r\n\r\n";
      }
      return response + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }
    return "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  }
};

OnvifHost::OnvifHost(OnvifHostOptions options, SimLog& log) : options_(std::move(options)), log_(log), state_(new State) {}

OnvifHost::~OnvifHost() {
  if (state_->udp >= 0) close(state_->udp);
  for (int fd : state_->http)
    if (fd >= 0) close(fd);
  for (const State::Connection& c : state_->connections) close(c.fd);
  delete state_;
}

bool OnvifHost::Open() {
  State& s = *state_;
  if (inet_pton(AF_INET, options_.address.c_str(), &s.host) != 1) {
    std::fprintf(stderr, "device-sim: onvif: no address (give --onvif-address)\n");
    return false;
  }
  s.responders = PlanOnvifResponders(options_);
  for (const OnvifSimResponder& r : s.responders) s.present.push_back(r.appear_ms <= 0);
  s.udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const int on = 1;
  const unsigned char ttl = 1;
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(kDiscoveryPort);
  s.group.sin_family = AF_INET;
  s.group.sin_port = htons(kDiscoveryPort);
  inet_pton(AF_INET, kGroup, &s.group.sin_addr);
  ip_mreq membership{};
  membership.imr_multiaddr = s.group.sin_addr;
  membership.imr_interface = s.host;
  if (s.udp < 0 || setsockopt(s.udp, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0 ||
      bind(s.udp, reinterpret_cast<sockaddr*>(&any), sizeof(any)) != 0 ||
      setsockopt(s.udp, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof(membership)) != 0 ||
      setsockopt(s.udp, IPPROTO_IP, IP_MULTICAST_IF, &s.host, sizeof(s.host)) != 0 ||
      setsockopt(s.udp, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof(ttl)) != 0) {
    std::fprintf(stderr, "device-sim: onvif: WS-Discovery socket on %s: %s\n", options_.address.c_str(),
                 std::strerror(errno));
    return false;
  }
  for (int k = 0; k < 2; ++k) {
    s.http[k] = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr = s.host;
    at.sin_port = htons(static_cast<std::uint16_t>(options_.http_port + k));
    if (s.http[k] < 0 || setsockopt(s.http[k], SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0 ||
        bind(s.http[k], reinterpret_cast<sockaddr*>(&at), sizeof(at)) != 0 || listen(s.http[k], 256) != 0) {
      std::fprintf(stderr, "device-sim: onvif: HTTP port %d on %s: %s\n", options_.http_port + k,
                   options_.address.c_str(), std::strerror(errno));
      return false;
    }
  }
  log_.Linef("onvif ready %zu responders", s.responders.size());
  return true;
}

void OnvifHost::Serve(const StopSignal& stop) {
  State& s = *state_;
  const Clock::time_point start = Clock::now();
  for (std::size_t i = 0; i < s.responders.size(); ++i) {
    OnvifSimResponder& r = s.responders[i];
    if (s.present[i]) s.Announce(i, true, log_);
    if (r.appear_ms > 0)
      s.timers.push_back({start + std::chrono::milliseconds(r.appear_ms), [&s, i, this] {
                            s.present[i] = true;
                            s.Announce(i, true, log_);
                          }});
    if (r.bye_ms >= 0)
      s.timers.push_back({start + std::chrono::milliseconds(r.bye_ms), [&s, i, this] {
                            if (s.present[i]) s.Announce(i, false, log_);
                            s.present[i] = false;
                          }});
    if (r.move_ms >= 0)
      s.timers.push_back({start + std::chrono::milliseconds(r.move_ms), [&s, i, this] {
                            OnvifSimCamera& c = s.responders[i].camera;
                            c.xaddrs = {"http://" + options_.address + ":" + std::to_string(options_.http_port + 1) +
                                        s.responders[i].path};
                            ++c.metadata_version;
                            log_.Linef("onvif move %s -> %s", c.endpoint.c_str(), c.xaddrs[0].c_str());
                            if (s.present[i]) s.Announce(i, true, log_);
                          }});
  }
  std::vector<char> buffer(65536);
  std::vector<pollfd> fds;
  while (!stop.Requested()) {
    const Clock::time_point now = Clock::now();
    // Run the timers that are due (they may add more).
    std::vector<State::Timer> due;
    for (auto t = s.timers.begin(); t != s.timers.end();) {
      if (t->at <= now) {
        due.push_back(std::move(*t));
        t = s.timers.erase(t);
      } else {
        ++t;
      }
    }
    for (State::Timer& t : due) t.run();
    int wait_ms = 200;
    for (const State::Timer& t : s.timers)
      wait_ms = std::min<int>(wait_ms, static_cast<int>(std::max<long long>(
                                           0, std::chrono::ceil<std::chrono::milliseconds>(t.at - Clock::now()).count())));
    fds.clear();
    fds.push_back({stop.Fd(), POLLIN, 0});
    fds.push_back({s.udp, POLLIN, 0});
    fds.push_back({s.http[0], POLLIN, 0});
    fds.push_back({s.http[1], POLLIN, 0});
    for (const State::Connection& c : s.connections)
      fds.push_back({c.fd, static_cast<short>(c.answered ? (c.sent < c.out.size() ? POLLOUT : POLLIN) : POLLIN), 0});
    if (poll(fds.data(), static_cast<nfds_t>(fds.size()), wait_ms) <= 0) continue;
    if (fds[1].revents & POLLIN) {
      for (;;) {
        sockaddr_in from{};
        socklen_t size = sizeof(from);
        const ssize_t n = recvfrom(s.udp, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &size);
        if (n < 0) break;
        s.OnProbe(std::string(buffer.data(), static_cast<std::size_t>(n)), from, log_);
      }
    }
    for (int k = 0; k < 2; ++k) {
      if ((fds[2 + k].revents & POLLIN) == 0) continue;
      for (;;) {
        State::Connection c;
        socklen_t size = sizeof(c.from);
        c.fd = accept4(s.http[k], reinterpret_cast<sockaddr*>(&c.from), &size, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (c.fd < 0) break;
        s.connections.push_back(std::move(c));
      }
    }
    const std::size_t polled = fds.size() - 4;
    for (std::size_t k = 0; k < polled && k < s.connections.size(); ++k) {
      State::Connection& c = s.connections[k];
      const short events = fds[4 + k].revents;
      if (events == 0) continue;
      bool done = false;
      if (!c.answered) {
        const ssize_t n = recv(c.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n <= 0) {
          done = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        } else {
          c.in.append(buffer.data(), static_cast<std::size_t>(n));
          const std::size_t head = c.in.find("\r\n\r\n");
          std::size_t length = 0;
          const std::size_t at = c.in.find("Content-Length:");
          if (at != std::string::npos && at < head) length = std::strtoul(c.in.c_str() + at + 15, nullptr, 10);
          if (head != std::string::npos && c.in.size() >= head + 4 + length) {
            c.out = s.Respond(c, log_);
            c.answered = true;
          } else if (c.in.size() > kRequestLimit) {
            done = true;
          }
        }
      } else if (c.sent < c.out.size()) {
        const ssize_t n = send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) c.sent += static_cast<std::size_t>(n);
        done = (n < 0 && errno != EAGAIN) || c.sent >= c.out.size();
      } else if (!c.out.empty() || (events & (POLLHUP | POLLERR))) {
        done = true;
      } else {
        // A stalled answer: read and drop whatever comes until the peer goes.
        done = recv(c.fd, buffer.data(), buffer.size(), MSG_DONTWAIT) == 0;
      }
      if (done) {
        close(c.fd);
        c.fd = -1;
      }
    }
    s.connections.erase(std::remove_if(s.connections.begin(), s.connections.end(),
                                       [](const State::Connection& c) { return c.fd < 0; }),
                        s.connections.end());
  }
  for (std::size_t i = 0; i < s.responders.size(); ++i)
    if (s.present[i]) s.Announce(i, false, log_);
}

// The simulator's SSDP answers and announcements.
#include "upnp_ssdp.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr char kGroup[] = "239.255.255.250";
constexpr int kPort = 1900;
constexpr char kServer[] = "Linux/6.1 UPnP/1.0 device-sim/1.0";
// Devices should not wait longer than this, whatever MX asks (UDA 1.1).
constexpr int kLongestMx = 5;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

std::string HttpDate() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[64];
  std::strftime(text, sizeof(text), "%a, %d %b %Y %H:%M:%S GMT", &tm);
  return text;
}

std::string CacheControl(bool cache_control) {
  return cache_control ? "CACHE-CONTROL: max-age=1800\r\n" : "";
}

}  // namespace

std::optional<SsdpSearch> ParseSsdpSearch(std::string_view datagram) {
  std::size_t end = datagram.find('\n');
  if (end == std::string_view::npos || TrimBlanks(datagram.substr(0, end)) != "M-SEARCH * HTTP/1.1")
    return std::nullopt;
  SsdpSearch search;
  bool discover = false;
  bool mx_read = false;
  while (end != std::string_view::npos) {
    std::size_t start = end + 1;
    end = datagram.find('\n', start);
    std::string_view line = datagram.substr(start, end == std::string_view::npos ? end : end - start);
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = Lower(TrimBlanks(line.substr(0, colon)));
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (name == "man") discover = value == "\"ssdp:discover\"";
    if (name == "st") search.st = std::string(value);
    if (name == "mx") {
      const std::string digits(value);
      char* rest = nullptr;
      long mx = std::strtol(digits.c_str(), &rest, 10);
      mx_read = !digits.empty() && *rest == '\0' && mx >= 1 && mx <= 3600;
      search.mx = mx_read ? static_cast<int>(mx) : 0;
    }
  }
  if (!discover || search.st.empty() || !mx_read) return std::nullopt;
  return search;
}

bool SsdpAnswers(const SsdpDevice& device, const std::string& st) {
  return st == "ssdp:all" || st == "upnp:rootdevice" || st == device.udn;
}

std::string SsdpAnswer(const SsdpDevice& device, const std::string& st, bool cache_control) {
  const bool own_name = st == device.udn;
  const std::string target = own_name ? st : "upnp:rootdevice";
  return "HTTP/1.1 200 OK\r\n" + CacheControl(cache_control) + "DATE: " + HttpDate() +
         "\r\nEXT:\r\nLOCATION: " + device.location + "\r\nSERVER: " + kServer + "\r\nST: " + target +
         "\r\nUSN: " + device.udn + (own_name ? "" : "::upnp:rootdevice") + "\r\n\r\n";
}

std::string SsdpNotify(const SsdpDevice& device, const std::string& nts, bool cache_control) {
  std::string text = std::string("NOTIFY * HTTP/1.1\r\nHOST: ") + kGroup + ":" + std::to_string(kPort) + "\r\n";
  if (nts == "ssdp:alive")
    text += CacheControl(cache_control) + "LOCATION: " + device.location + "\r\nSERVER: " + kServer + "\r\n";
  return text + "NT: upnp:rootdevice\r\nNTS: " + nts + "\r\nUSN: " + device.udn + "::upnp:rootdevice\r\n\r\n";
}

struct SsdpResponder::Answer {
  SsdpResponder* responder;
  GSource* timer;
  std::size_t device;
  std::string st;
  sockaddr_in to;
};

struct SsdpResponder::Change {
  SsdpResponder* responder;
  std::size_t device;
};

SsdpResponder::SsdpResponder(std::vector<SsdpDevice> devices, SsdpOptions options, std::ostream& log)
    : devices_(std::move(devices)), options_(options), log_(log), random_(std::random_device{}()) {
  for (const SsdpDevice& d : devices_) present_.push_back(d.appear_ms <= 0);
}

SsdpResponder::~SsdpResponder() {
  // Destroying a waiting answer's timer frees it (FreeAnswer).
  std::set<GSource*> waiting;
  waiting.swap(answers_);
  for (GSource* timer : waiting) g_source_destroy(timer);
  for (GSource* timer : changes_) {
    g_source_destroy(timer);
    g_source_unref(timer);
  }
  if (notifier_) g_source_destroy(notifier_);
  if (reader_) g_source_destroy(reader_);
  if (fd_ >= 0) Announce("ssdp:byebye");
  if (socket_) g_object_unref(socket_);  // closes fd_
  else if (fd_ >= 0) close(fd_);
}

bool SsdpResponder::Start(const std::string& host_ip, std::string* error) {
  in_addr host{};
  if (inet_pton(AF_INET, host_ip.c_str(), &host) != 1) {
    *error = "not an IPv4 address: " + host_ip;
    return false;
  }
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int on = 1;
  unsigned char ttl = 2;
  sockaddr_in any{};
  any.sin_family = AF_INET;
  any.sin_port = htons(kPort);
  group_.sin_family = AF_INET;
  group_.sin_port = htons(kPort);
  inet_pton(AF_INET, kGroup, &group_.sin_addr);
  ip_mreq membership{};
  membership.imr_multiaddr = group_.sin_addr;
  membership.imr_interface = host;
  if (fd_ < 0 || setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0 ||
      setsockopt(fd_, SOL_SOCKET, SO_REUSEPORT, &on, sizeof(on)) != 0 ||
      bind(fd_, reinterpret_cast<sockaddr*>(&any), sizeof(any)) != 0 ||
      setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof(membership)) != 0 ||
      setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &host, sizeof(host)) != 0 ||
      setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof(ttl)) != 0) {
    *error = std::string("SSDP socket on ") + host_ip + ": " + std::strerror(errno);
    return false;
  }
  GError* gerror = nullptr;
  socket_ = g_socket_new_from_fd(fd_, &gerror);
  if (socket_ == nullptr) {
    *error = std::string("SSDP socket: ") + (gerror ? gerror->message : "unknown");
    g_clear_error(&gerror);
    return false;
  }
  reader_ = g_socket_create_source(socket_, G_IO_IN, nullptr);
  g_source_set_callback(reader_, G_SOURCE_FUNC(OnReadable), this, nullptr);
  AttachTimer(reader_);
  Announce("ssdp:alive");
  ScheduleChanges();
  if (options_.notify_only) {
    notifier_ = g_timeout_source_new(kSsdpNotifyIntervalMs);
    g_source_set_callback(notifier_, OnNotifyDue, this, nullptr);
    AttachTimer(notifier_);
  }
  return true;
}

void SsdpResponder::AttachTimer(GSource* timer) {
  g_source_attach(timer, g_main_context_get_thread_default());
  g_source_unref(timer);  // the main context holds it until it is destroyed
}

void SsdpResponder::ScheduleChanges() {
  for (std::size_t i = 0; i < devices_.size(); ++i) {
    const std::pair<int, GSourceFunc> due[] = {{devices_[i].appear_ms, OnAppearDue},
                                               {devices_[i].byebye_ms, OnByebyeDue}};
    for (const auto& [ms, callback] : due) {
      if (ms <= 0 && callback == OnAppearDue) continue;  // present from the start
      if (ms < 0) continue;                               // never leaves
      GSource* timer = g_timeout_source_new(static_cast<guint>(ms));
      g_source_set_callback(timer, callback, new Change{this, i}, [](gpointer c) { delete static_cast<Change*>(c); });
      g_source_attach(timer, g_main_context_get_thread_default());
      changes_.push_back(timer);  // the responder keeps its reference
    }
  }
}

gboolean SsdpResponder::OnAppearDue(gpointer data) {
  auto* change = static_cast<Change*>(data);
  SsdpResponder* self = change->responder;
  const SsdpDevice& device = self->devices_[change->device];
  self->present_[change->device] = true;
  self->SendTo(SsdpNotify(device, "ssdp:alive", self->options_.cache_control), self->group_);
  self->log_ << "upnp alive " << device.udn << std::endl;
  return G_SOURCE_REMOVE;
}

gboolean SsdpResponder::OnByebyeDue(gpointer data) {
  auto* change = static_cast<Change*>(data);
  SsdpResponder* self = change->responder;
  const SsdpDevice& device = self->devices_[change->device];
  if (self->present_[change->device])
    self->SendTo(SsdpNotify(device, "ssdp:byebye", self->options_.cache_control), self->group_);
  self->present_[change->device] = false;
  self->log_ << "upnp byebye " << device.udn << std::endl;
  return G_SOURCE_REMOVE;
}

gboolean SsdpResponder::OnReadable(GSocket*, GIOCondition, gpointer self) {
  static_cast<SsdpResponder*>(self)->Receive();
  return G_SOURCE_CONTINUE;
}

void SsdpResponder::Receive() {
  char buffer[2048];
  for (;;) {
    sockaddr_in from{};
    socklen_t from_len = sizeof(from);
    ssize_t n = recvfrom(fd_, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&from), &from_len);
    if (n < 0) return;  // drained (EAGAIN) or failed: wait for the next datagram
    std::optional<SsdpSearch> search = ParseSsdpSearch(std::string_view(buffer, static_cast<std::size_t>(n)));
    if (!search) continue;
    char address[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &from.sin_addr, address, sizeof(address));
    log_ << "upnp search from " << address << ":" << ntohs(from.sin_port) << " st=" << search->st
         << " mx=" << search->mx << std::endl;
    if (options_.notify_only) continue;
    const int longest_ms = std::min(search->mx, kLongestMx) * 1000;
    // Devices on a network answer in no fixed order.
    std::vector<std::size_t> order(devices_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), random_);
    for (std::size_t i : order) {
      if (!present_[i] || !SsdpAnswers(devices_[i], search->st)) continue;
      if (!options_.mx_honour) {
        SendTo(SsdpAnswer(devices_[i], search->st, options_.cache_control), from);
        continue;
      }
      const int delay_ms = std::uniform_int_distribution<int>(0, longest_ms - 1)(random_);
      auto* answer = new Answer{this, g_timeout_source_new(static_cast<guint>(delay_ms)), i, search->st, from};
      g_source_set_callback(answer->timer, OnAnswerDue, answer, FreeAnswer);
      answers_.insert(answer->timer);
      AttachTimer(answer->timer);
    }
  }
}

gboolean SsdpResponder::OnAnswerDue(gpointer data) {
  auto* answer = static_cast<Answer*>(data);
  SsdpResponder* self = answer->responder;
  self->answers_.erase(answer->timer);
  if (!self->present_[answer->device]) return G_SOURCE_REMOVE;  // it left meanwhile
  self->SendTo(SsdpAnswer(self->devices_[answer->device], answer->st, self->options_.cache_control),
               answer->to);
  return G_SOURCE_REMOVE;
}

void SsdpResponder::FreeAnswer(gpointer data) { delete static_cast<Answer*>(data); }

gboolean SsdpResponder::OnNotifyDue(gpointer self) {
  static_cast<SsdpResponder*>(self)->Announce("ssdp:alive");
  return G_SOURCE_CONTINUE;
}

void SsdpResponder::SendTo(const std::string& text, const sockaddr_in& to) {
  sendto(fd_, text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof(to));
}

void SsdpResponder::Announce(const std::string& nts) {
  for (std::size_t i = 0; i < devices_.size(); ++i)
    if (present_[i]) SendTo(SsdpNotify(devices_[i], nts, options_.cache_control), group_);
}

// The SSDP listener: NOTIFY parsing, the group socket and its thread.
#include "upnp/ssdp_listener.h"

#include <libgupnp/gupnp.h>

#include <arpa/inet.h>
#include <glib-unix.h>
#include <glib.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <vector>

#include "upnp/description_fetch.h"

namespace {

constexpr char kGroup[] = "239.255.255.250";
constexpr int kSsdpPort = 1900;
// Interfaces that came up are joined this often.
constexpr guint kJoinEverySeconds = 5;
// Datagrams read in one go before the thread's other work gets a turn.
constexpr int kDatagramsPerWake = 64;
// Recent alive announcements whose interface is remembered for a fetch.
constexpr std::size_t kRememberedInterfaces = 1024;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<SsdpNotice> ParseSsdpNotify(std::string_view datagram) {
  std::size_t end = datagram.find('\n');
  if (end == std::string_view::npos || Trimmed(datagram.substr(0, end)) != "NOTIFY * HTTP/1.1") return std::nullopt;
  SsdpNotice notice;
  std::string nts, usn;
  while (end != std::string_view::npos) {
    const std::size_t start = end + 1;
    end = datagram.find('\n', start);
    std::string_view line = datagram.substr(start, end == std::string_view::npos ? end : end - start);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = Lower(Trimmed(line.substr(0, colon)));
    const std::string value(Trimmed(line.substr(colon + 1)));
    if (name == "nts") nts = value;
    else if (name == "nt") notice.nt = value;
    else if (name == "usn") usn = value;
    else if (name == "location") notice.location = value;
  }
  notice.udn = usn.substr(0, usn.find("::"));
  if (notice.udn.rfind("uuid:", 0) != 0 || notice.udn.size() == 5) return std::nullopt;
  if (nts == "ssdp:alive") notice.alive = true;
  else if (nts != "ssdp:byebye") return std::nullopt;
  if (notice.alive && notice.location.empty()) return std::nullopt;
  if (!notice.alive) notice.location.clear();
  return notice;
}

bool LocationOnSender(std::string_view location, std::string_view sender) {
  constexpr std::string_view kScheme = "http://";
  if (location.substr(0, kScheme.size()) != kScheme) return false;
  for (const char c : location)
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) return false;
  // The authority ends at the path, the query or the fragment. Its port, if
  // any, is digits only: "10.0.0.5:80@203.0.113.7" names the host after the
  // "@", the part before it being a user name and password.
  const std::string_view rest = location.substr(kScheme.size());
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  const std::size_t colon = authority.find(':');
  const std::string_view host = authority.substr(0, colon);
  const std::string_view port = colon == std::string_view::npos ? std::string_view() : authority.substr(colon + 1);
  return !host.empty() && host == sender && port.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<SsdpNotice> ReadSsdpNotice(std::string_view datagram, std::string_view sender) {
  if (datagram.size() > kSsdpDatagramLimit) return std::nullopt;
  std::optional<SsdpNotice> notice = ParseSsdpNotify(datagram);
  if (notice && notice->alive && (notice->nt != "upnp:rootdevice" || !LocationOnSender(notice->location, sender)))
    return std::nullopt;
  return notice;
}

// The socket, its thread and its main context.
struct SsdpListener::Thread {
  const Handlers* handlers = nullptr;
  int fd = -1;
  GMainContext* context = nullptr;
  GMainLoop* loop = nullptr;
  std::thread thread;
  std::set<unsigned> joined;  // interface indices
  std::map<std::string, std::string> interfaces;  // UDN -> the interface its last alive came in on
  std::unique_ptr<DescriptionFetches> fetches;    // on the thread, while it runs

  ~Thread() {
    if (thread.joinable()) {
      g_main_context_invoke(context, Quit, loop);
      thread.join();
    }
    if (loop) g_main_loop_unref(loop);
    if (context) g_main_context_unref(context);
    if (fd >= 0) close(fd);
  }

  static gboolean Quit(gpointer loop) {
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_REMOVE;
  }

  // Joins the group on every interface that is up and can multicast (the
  // loopback too) and has not been joined yet.
  void JoinNew() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return;
    for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
      if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET || a->ifa_name == nullptr) continue;
      if ((a->ifa_flags & IFF_UP) == 0 || (a->ifa_flags & (IFF_MULTICAST | IFF_LOOPBACK)) == 0) continue;
      const unsigned index = if_nametoindex(a->ifa_name);
      if (index == 0 || joined.count(index)) continue;
      ip_mreqn membership{};
      inet_pton(AF_INET, kGroup, &membership.imr_multiaddr);
      membership.imr_ifindex = static_cast<int>(index);
      if (setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof(membership)) == 0 || errno == EADDRINUSE)
        joined.insert(index);
    }
    freeifaddrs(list);
  }

  static gboolean OnJoinDue(gpointer self) {
    static_cast<Thread*>(self)->JoinNew();
    return G_SOURCE_CONTINUE;
  }

  static gboolean OnReadable(gint, GIOCondition, gpointer self) {
    static_cast<Thread*>(self)->Receive();
    return G_SOURCE_CONTINUE;
  }

  void Receive() {
    char buffer[kSsdpDatagramLimit];
    for (int n = 0; n < kDatagramsPerWake; ++n) {
      sockaddr_in from{};
      iovec iov{buffer, sizeof(buffer)};
      alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
      msghdr msg{};
      msg.msg_name = &from;
      msg.msg_namelen = sizeof(from);
      msg.msg_iov = &iov;
      msg.msg_iovlen = 1;
      msg.msg_control = control;
      msg.msg_controllen = sizeof(control);
      const ssize_t size = recvmsg(fd, &msg, MSG_DONTWAIT);
      if (size < 0) return;  // drained (or failed: the next datagram wakes it again)
      if ((msg.msg_flags & MSG_TRUNC) != 0) continue;
      char sender[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &from.sin_addr, sender, sizeof(sender));
      std::optional<SsdpNotice> notice =
          ReadSsdpNotice(std::string_view(buffer, static_cast<std::size_t>(size)), sender);
      if (!notice) continue;
      if (!notice->alive) {
        if (handlers->byebye) handlers->byebye(notice->udn, sender);
        continue;
      }
      if (interfaces.size() >= kRememberedInterfaces) interfaces.clear();
      interfaces[notice->udn] = ArrivalInterface(msg);
      if (handlers->alive) handlers->alive(notice->udn, notice->location);
    }
  }

  static std::string ArrivalInterface(msghdr& msg) {
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
      in_pktinfo info;
      std::memcpy(&info, CMSG_DATA(c), sizeof(info));
      char name[IF_NAMESIZE] = {};
      if (if_indextoname(static_cast<unsigned>(info.ipi_ifindex), name) != nullptr) return name;
    }
    return "";
  }

  // A fetch asked for from another thread, run on this one.
  struct Request {
    Thread* thread;
    std::string udn, location;
  };

  static gboolean StartFetch(gpointer data) {
    auto* request = static_cast<Request*>(data);
    Thread* self = request->thread;
    if (self->fetches && self->fetches->Running() < kAnnouncedFetchLimit) {
      auto it = self->interfaces.find(request->udn);
      const std::string interface = it == self->interfaces.end() ? "" : it->second;
      std::string why;
      self->fetches->Start(request->udn, request->location, interface, nullptr,
                           std::chrono::seconds(kAnnouncedFetchSeconds),
                           [self](std::optional<UpnpDeviceProperties> device, const std::string&) {
                             if (device && self->handlers->described) self->handlers->described(*device);
                           },
                           &why);
    }
    return G_SOURCE_REMOVE;
  }

  void Run() {
    g_main_context_push_thread_default(context);
    fetches = std::make_unique<DescriptionFetches>();
    GSource* reader = g_unix_fd_source_new(fd, G_IO_IN);
    g_source_set_callback(reader, G_SOURCE_FUNC(OnReadable), this, nullptr);
    g_source_attach(reader, context);
    GSource* joiner = g_timeout_source_new_seconds(kJoinEverySeconds);
    g_source_set_callback(joiner, OnJoinDue, this, nullptr);
    g_source_attach(joiner, context);
    g_main_loop_run(loop);
    fetches.reset();  // what still runs is given up
    g_source_destroy(joiner);
    g_source_unref(joiner);
    g_source_destroy(reader);
    g_source_unref(reader);
    g_main_context_pop_thread_default(context);
  }
};

SsdpListener::SsdpListener(Handlers handlers) : handlers_(std::move(handlers)) {}

SsdpListener::~SsdpListener() = default;

bool SsdpListener::Start(std::string* error) {
  if (thread_) return true;
  auto t = std::make_unique<Thread>();
  t->handlers = &handlers_;
  t->fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int on = 1;
  sockaddr_in group{};
  group.sin_family = AF_INET;
  group.sin_port = htons(kSsdpPort);
  inet_pton(AF_INET, kGroup, &group.sin_addr);
  if (t->fd < 0 || setsockopt(t->fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0 ||
      setsockopt(t->fd, SOL_SOCKET, SO_REUSEPORT, &on, sizeof(on)) != 0 ||
      setsockopt(t->fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof(on)) != 0 ||
      bind(t->fd, reinterpret_cast<const sockaddr*>(&group), sizeof(group)) != 0) {
    *error = std::string("SSDP socket on ") + kGroup + ":" + std::to_string(kSsdpPort) + ": " + std::strerror(errno);
    return false;
  }
  t->JoinNew();
  t->context = g_main_context_new();
  t->loop = g_main_loop_new(t->context, FALSE);
  Thread* raw = t.get();
  t->thread = std::thread([raw] { raw->Run(); });
  thread_ = std::move(t);
  return true;
}

void SsdpListener::Fetch(const std::string& udn, const std::string& location) {
  if (!thread_) return;
  g_main_context_invoke_full(thread_->context, G_PRIORITY_DEFAULT, Thread::StartFetch,
                             new Thread::Request{thread_.get(), udn, location},
                             [](gpointer request) { delete static_cast<Thread::Request*>(request); });
}

// The GUPnP root-device search: a GUPnP context per IPv4 address under the
// calling thread's own main context, each sending its M-SEARCH requests from
// the fixed port when it is free, an SSDP browser per context, every announced
// description fetched and read as it arrives, a time window for the
// announcements and a grace for the fetches still running; and the account
// of what it did.
#define G_LOG_DOMAIN "upnp-finder"

#include "upnp/gupnp_finder.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <libgupnp/gupnp.h>
#include <libsoup/soup.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "upnp/description_fetch.h"
#include "upnp/library_log.h"
#include "upnp/ssdp_listener.h"
#include "upnp/upnp_description.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kRootDeviceTarget[] = "upnp:rootdevice";

struct FindState;

// One context's network: an IPv4 address of an interface, and its account.
struct Network {
  FindState* state = nullptr;
  GUPnPContext* context = nullptr;  // a reference
  std::string interface;            // the interface's name, without an alias label
  std::string address;
  std::size_t account = 0;          // its entry in the account's interfaces
  GSSDPResourceBrowser* browser = nullptr;  // a reference, once searching
  Clock::time_point activated;              // when the browser became active
  GSource* repeat = nullptr;                // the second M-SEARCH; a reference
};

struct FindState {
  UpnpSearchTiming timing{};
  Clock::time_point started;
  GMainContext* context = nullptr;
  GMainLoop* loop = nullptr;
  std::unique_ptr<DescriptionFetches> fetches;
  std::optional<Clock::time_point> first_search;
  bool window_open = true;
  bool ended = false;           // no description is taken any more
  std::set<std::string> asked;  // unique device names whose description was asked for
  // Fetches running for replies to the search's own M-SEARCH requests, and
  // for announcements; each kind within its limit.
  std::size_t reply_fetches = 0;
  std::size_t announced_fetches = 0;
  std::vector<UpnpDeviceProperties>* devices = nullptr;  // in the order read
  const std::function<void(const UpnpDeviceProperties&)>* on_device = nullptr;
  std::vector<std::unique_ptr<Network>> networks;
  UpnpSearchAccount* account = nullptr;

  Clock::time_point WindowEnd() const { return first_search.value_or(started) + timing.window; }
};

// How the search heard of a root device.
enum class Heard { kReply, kAnnouncement };

// The unique device name of an SSDP unique service name
// ("uuid:x::upnp:rootdevice"); empty when it is not a device's.
std::string UdnOfUsn(const char* usn) {
  std::string s = usn ? usn : "";
  s = s.substr(0, s.find("::"));
  return s.rfind("uuid:", 0) == 0 ? s : "";
}

// Notes in the account why the description at `location` was not read.
void Refuse(FindState* state, const std::string& location, const std::string& why) {
  state->account->NoteRefusedDescription(QuotedDeviceText(location) + ": " + why);
}

std::size_t& RunningFor(FindState* state, Heard heard) {
  return heard == Heard::kReply ? state->reply_fetches : state->announced_fetches;
}

// Takes the device a fetch read; once the window has closed and no fetch
// for a reply runs, the search ends (fetches for announcements do not hold
// it open: they are given up when it ends).
void Fetched(FindState* state, Heard heard, std::optional<UpnpDeviceProperties> device) {
  --RunningFor(state, heard);
  if (device && !state->ended) {
    try {
      state->devices->push_back(std::move(*device));
      if (*state->on_device) (*state->on_device)(state->devices->back());
    } catch (...) {
      // No exception crosses GLib: a device that could not be kept is left out.
    }
  }
  if (!state->window_open && state->reply_fetches == 0) g_main_loop_quit(state->loop);
}

// Asks for the description of the root device `udn` at `location`, once per
// search, while the window is open and the fetches of its kind are within
// their limit; beyond it the device is dropped (and counted), so that a
// later answer of it may still ask.
void TakeDevice(FindState* state, const Network& network, Heard heard, const std::string& udn,
                const char* location) {
  if (!state->window_open || udn.empty() || location == nullptr || state->asked.count(udn)) return;
  std::size_t& running = RunningFor(state, heard);
  if (running >= (heard == Heard::kReply ? kUpnpSearchFetchLimit : kUpnpAnnouncedFetchLimit)) {
    ++state->account->descriptions_dropped;
    return;
  }
  state->asked.insert(udn);
  ++state->account->descriptions_asked;
  ++running;
  std::string why;
  const std::string url = location;
  const bool started = state->fetches->Start(
      udn, url, network.interface, network.context, std::chrono::milliseconds(0),
      [state, url, heard](std::optional<UpnpDeviceProperties> device, const std::string& reason) {
        if (!device && !reason.empty() && !state->ended) Refuse(state, url, reason);
        Fetched(state, heard, std::move(device));
      },
      &why);
  if (!started) {
    --running;
    Refuse(state, url, why);
  }
}

// Every SSDP message a context receives, with its sender (the browser's own
// signal hides the sender): a reply carries ST and no MAN, a request MAN, an
// announcement NT and NTS. Replies (to the port the M-SEARCH left from) are
// counted, and a root device's reply leads to its description; a root
// device's ssdp:alive does only when its LOCATION is on the host that sent
// it, so that an announcement cannot send the search to any other host.
void OnMessage(GSSDPClient*, const char* from, guint, int, SoupMessageHeaders* headers, gpointer data) {
  auto* network = static_cast<Network*>(data);
  FindState* state = network->state;
  if (headers == nullptr) return;
  const auto header = [headers](const char* name) { return soup_message_headers_get_one(headers, name); };
  const char* st = header("ST");
  if (st != nullptr && header("MAN") == nullptr) {
    ++state->account->interfaces[network->account].replies;
    if (std::strcmp(st, kRootDeviceTarget) == 0)
      TakeDevice(state, *network, Heard::kReply, UdnOfUsn(header("USN")), header("LOCATION"));
    return;
  }
  const char* nt = header("NT");
  const char* nts = header("NTS");
  if (!state->window_open || nt == nullptr || nts == nullptr || std::strcmp(nt, kRootDeviceTarget) != 0 ||
      std::strcmp(nts, "ssdp:alive") != 0)
    return;
  const char* location = header("LOCATION");
  if (location == nullptr || from == nullptr || !LocationOnSender(location, from)) {
    ++state->account->announcements_elsewhere;
    return;
  }
  TakeDevice(state, *network, Heard::kAnnouncement, UdnOfUsn(header("USN")), location);
}

// GSSDP 1.6's browser sends its M-SEARCH when it is made active, then again
// every 500 ms while it stays active, three in all.
constexpr auto kGssdpRepeatEvery = std::chrono::milliseconds(500);
constexpr int kGssdpRequests = 3;

// The M-SEARCH requests a browser sent while it was active for `active`.
int RequestsSent(Clock::duration active) {
  const auto repeats = active / kGssdpRepeatEvery;
  return repeats + 1 >= kGssdpRequests ? kGssdpRequests : static_cast<int>(repeats) + 1;
}

// A browser of `context` for root devices.
GSSDPResourceBrowser* NewBrowser(FindState* state, GUPnPContext* context) {
  GSSDPResourceBrowser* browser = gssdp_resource_browser_new(GSSDP_CLIENT(context), kRootDeviceTarget);
  gssdp_resource_browser_set_mx(browser, static_cast<gushort>(state->timing.mx_seconds));
  return browser;
}

// The second M-SEARCH: a browser that sends its first request and stops; the
// answers reach the network's own browser, which listens on the same socket.
gboolean RepeatSearch(gpointer data) {
  auto* network = static_cast<Network*>(data);
  GSSDPResourceBrowser* once = NewBrowser(network->state, network->context);
  gssdp_resource_browser_set_active(once, TRUE);
  gssdp_resource_browser_set_active(once, FALSE);
  g_object_unref(once);
  ++network->state->account->interfaces[network->account].msearches;
  return G_SOURCE_REMOVE;
}

// Starts the search on one network: its browser, and the second M-SEARCH.
void StartSearching(FindState* state, Network* network) {
  network->browser = NewBrowser(state, network->context);
  gssdp_resource_browser_set_active(network->browser, TRUE);
  network->activated = Clock::now();
  if (!state->first_search) state->first_search = network->activated;
  if (state->timing.repeat_after.count() > 0) {
    network->repeat = g_timeout_source_new(static_cast<guint>(state->timing.repeat_after.count()));
    g_source_set_callback(network->repeat, RepeatSearch, network, nullptr);
    g_source_attach(network->repeat, state->context);
  }
}

// Ends the search on one network: no more requests, and its account of them.
void StopSearching(Network* network) {
  if (network->repeat != nullptr) {
    g_source_destroy(network->repeat);
    g_source_unref(network->repeat);
  }
  if (network->browser == nullptr) return;
  gssdp_resource_browser_set_active(network->browser, FALSE);
  network->state->account->interfaces[network->account].msearches += RequestsSent(Clock::now() - network->activated);
  g_object_unref(network->browser);
}

// A GUPnP context for `address` of the interface labelled `label`, whose
// M-SEARCH requests (and idle HTTP server) use `port` (0: a random one).
GUPnPContext* NewContext(const std::string& label, const std::string& address, int port, std::string* error) {
  GInetAddress* inet = g_inet_address_new_from_string(address.c_str());
  GError* failure = nullptr;
  auto* context = static_cast<GUPnPContext*>(
      g_initable_new(GUPNP_TYPE_CONTEXT, nullptr, &failure, "interface", label.c_str(), "address", inet,
                     "address-family", G_SOCKET_FAMILY_IPV4, "uda-version", GSSDP_UDA_VERSION_1_0, "port",
                     static_cast<guint>(port), nullptr));
  g_object_unref(inet);
  if (context == nullptr) {
    *error = failure ? failure->message : "no GUPnP context";
    g_clear_error(&failure);
  }
  return context;
}

// Opens the networks to search on, each with its account entry: the fixed
// M-SEARCH port where it is free, else a random port.
void OpenNetworks(FindState* state) {
  for (const UpnpSearchAddress& a : UpnpSearchAddresses()) {
    UpnpInterfaceAccount account;
    account.interface = a.interface;
    account.address = a.address;
    std::string error;
    GUPnPContext* context = nullptr;
    if (UdpPortFree(a.address, kUpnpMsearchPort))
      context = NewContext(a.label, a.address, kUpnpMsearchPort, &error);
    if (context == nullptr) {
      account.port_taken = true;
      context = NewContext(a.label, a.address, 0, &error);
    }
    if (context == nullptr) {
      account.port_taken = false;
      account.error = error;
      state->account->interfaces.push_back(std::move(account));
      continue;
    }
    account.msearch_port = gssdp_client_get_port(GSSDP_CLIENT(context));
    auto network = std::make_unique<Network>();
    network->state = state;
    network->context = context;
    network->interface = a.interface;
    network->address = a.address;
    network->account = state->account->interfaces.size();
    state->account->interfaces.push_back(std::move(account));
    g_signal_connect(context, "message-received", G_CALLBACK(OnMessage), network.get());
    state->networks.push_back(std::move(network));
  }
}

gboolean QuitLoop(gpointer data) {
  g_main_loop_quit(static_cast<GMainLoop*>(data));
  return G_SOURCE_REMOVE;
}

// Runs the loop until `until` (or an earlier quit).
void RunUntil(FindState& state, Clock::time_point until) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
  if (left.count() <= 0) return;
  GSource* timer = g_timeout_source_new(static_cast<guint>(left.count()));
  g_source_set_callback(timer, QuitLoop, state.loop, nullptr);
  g_source_attach(timer, state.context);
  g_main_loop_run(state.loop);
  g_source_destroy(timer);
  g_source_unref(timer);
}

// Dispatches what is ready until `done` holds or `bound` has passed.
template <typename Done>
void Drain(GMainContext* context, Done done, std::chrono::milliseconds bound) {
  const Clock::time_point until = Clock::now() + bound;
  while (!done() && Clock::now() < until) {
    if (!g_main_context_iteration(context, FALSE)) g_usleep(1000);
  }
}

}  // namespace

bool IsUpnpSearchInterface(unsigned flags) {
  return (flags & IFF_UP) != 0 && (flags & (IFF_MULTICAST | IFF_LOOPBACK)) != 0 &&
         (flags & IFF_POINTOPOINT) == 0;
}

std::vector<UpnpSearchAddress> UpnpSearchAddresses() {
  std::vector<UpnpSearchAddress> found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return found;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET || a->ifa_name == nullptr) continue;
    if (!IsUpnpSearchInterface(a->ifa_flags)) continue;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof(text));
    UpnpSearchAddress address;
    address.label = a->ifa_name;
    address.interface = address.label.substr(0, address.label.find(':'));
    address.address = text;
    found.push_back(std::move(address));
  }
  freeifaddrs(list);
  return found;
}

bool UdpPortFree(const std::string& address, int port) {
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &at.sin_addr) != 1) return false;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof(at)) == 0;
  close(fd);
  return bound;
}

bool GupnpFinder::FindRootDevices(Clock::time_point started, std::vector<UpnpDeviceProperties>& devices,
                                  UpnpSearchAccount& account) {
  devices.clear();
  account = UpnpSearchAccount{};
  RouteLibraryMessages();
  FindState state;
  state.timing = timing_;
  state.started = started;
  state.account = &account;
  state.context = g_main_context_new();
  g_main_context_push_thread_default(state.context);
  state.loop = g_main_loop_new(state.context, FALSE);
  state.fetches = std::make_unique<DescriptionFetches>();
  state.devices = &devices;
  state.on_device = &on_device_;

  OpenNetworks(&state);
  bool searched = !state.networks.empty();
  if (searched) {
    for (const std::unique_ptr<Network>& network : state.networks) StartSearching(&state, network.get());
    // The window's end moves once the first M-SEARCH has gone out.
    while (Clock::now() < state.WindowEnd()) RunUntil(state, state.WindowEnd());
    state.window_open = false;
    if (state.reply_fetches > 0) RunUntil(state, state.WindowEnd() + timing_.grace);
  }
  state.ended = true;
  account.descriptions_unfinished = static_cast<int>(state.fetches->Running());
  account.descriptions_read = static_cast<int>(devices.size());

  // Release everything on this thread: the fetches still running are
  // cancelled and their callbacks awaited (the fetches' destructor waits for
  // any left), then pending disposals run.
  for (const std::unique_ptr<Network>& network : state.networks) StopSearching(network.get());
  state.fetches->CancelAll();
  Drain(state.context, [&] { return state.fetches->Running() == 0; }, std::chrono::milliseconds(2000));
  state.fetches.reset();
  for (const std::unique_ptr<Network>& network : state.networks) {
    g_signal_handlers_disconnect_by_data(network->context, network.get());
    g_object_unref(network->context);
  }
  for (int i = 0; i < 100 && g_main_context_iteration(state.context, FALSE); ++i) {
  }
  g_main_loop_unref(state.loop);
  g_main_context_pop_thread_default(state.context);
  g_main_context_unref(state.context);
  return searched;
}

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

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "upnp/library_log.h"
#include "upnp/upnp_description.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kRootDeviceTarget[] = "upnp:rootdevice";
constexpr gsize kReadChunk = 65536;

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

// One description being fetched. Exactly one asynchronous operation runs for
// it at a time, and its callback always comes (cancelled at the latest when
// the search ends); EndFetch then frees it.
struct Fetch {
  FindState* state = nullptr;
  GUPnPContext* context = nullptr;  // a reference: the network it was announced on
  std::string interface;            // that network's interface
  std::string udn;
  std::string location;
  GCancellable* cancellable = nullptr;
  SoupMessage* message = nullptr;
  GInputStream* stream = nullptr;
  std::string body;
};

struct FindState {
  UpnpSearchTiming timing{};
  Clock::time_point started;
  GMainContext* context = nullptr;
  GMainLoop* loop = nullptr;
  SoupSession* session = nullptr;
  std::optional<Clock::time_point> first_search;
  bool window_open = true;
  bool ended = false;           // no description is taken any more
  std::set<std::string> asked;  // unique device names whose description was asked for
  std::set<Fetch*> fetches;
  // One reference each, in the order read, with the interface each was heard on.
  std::vector<std::pair<GUPnPDeviceProxy*, std::string>> devices;
  std::vector<std::unique_ptr<Network>> networks;
  UpnpSearchAccount* account = nullptr;

  Clock::time_point WindowEnd() const { return first_search.value_or(started) + timing.window; }
};

// The unique device name of an SSDP unique service name
// ("uuid:x::upnp:rootdevice"); empty when it is not a device's.
std::string UdnOfUsn(const char* usn) {
  std::string s = usn ? usn : "";
  s = s.substr(0, s.find("::"));
  return s.rfind("uuid:", 0) == 0 ? s : "";
}

// Notes in the account why the description at `location` was not read.
void Refuse(FindState* state, const std::string& location, const std::string& why) {
  state->account->descriptions_refused.push_back(QuotedDeviceText(location) + ": " + why);
}

// Reads the device the description names, as a GUPnP device proxy.
void TakeDescription(Fetch* fetch) {
  FindState* state = fetch->state;
  xmlDoc* doc = ParseDescription(fetch->body, fetch->location);
  if (doc == nullptr) {
    Refuse(state, fetch->location, "not XML");
    return;
  }
  xmlNode* element = FindDescribedDevice(doc, fetch->udn);
  GUri* base = element ? DescriptionUrlBase(doc, fetch->location) : nullptr;
  if (element == nullptr || base == nullptr) {
    Refuse(state, fetch->location, "it describes no device " + QuotedDeviceText(fetch->udn));
    xmlFreeDoc(doc);
    if (base) g_uri_unref(base);
    return;
  }
  GUPnPXMLDoc* document = gupnp_xml_doc_new(doc);  // owns doc from here on
  auto* proxy = static_cast<GUPnPDeviceProxy*>(g_object_new(
      GUPNP_TYPE_DEVICE_PROXY, "resource-factory", gupnp_resource_factory_get_default(), "context",
      fetch->context, "location", fetch->location.c_str(), "udn", fetch->udn.c_str(), "url-base",
      base, "document", document, "element", element, nullptr));
  g_object_unref(document);
  g_uri_unref(base);
  state->devices.emplace_back(proxy, fetch->interface);
}

void EndFetch(Fetch* fetch, bool complete) {
  FindState* state = fetch->state;
  if (complete && !state->ended) TakeDescription(fetch);
  g_cancellable_cancel(fetch->cancellable);  // a connection still reading is closed
  if (fetch->stream) g_object_unref(fetch->stream);
  g_object_unref(fetch->message);
  g_object_unref(fetch->cancellable);
  g_object_unref(fetch->context);
  state->fetches.erase(fetch);
  delete fetch;
  if (!state->window_open && state->fetches.empty()) g_main_loop_quit(state->loop);
}

// Ends a fetch that failed; a failure the search's end caused is not told.
void FailFetch(Fetch* fetch, GError* error, const std::string& why) {
  if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
    Refuse(fetch->state, fetch->location, error ? error->message : why);
  g_clear_error(&error);
  EndFetch(fetch, false);
}

void ReadMore(Fetch* fetch);

void OnRead(GObject* source, GAsyncResult* result, gpointer data) {
  auto* fetch = static_cast<Fetch*>(data);
  GError* error = nullptr;
  GBytes* bytes = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, &error);
  if (bytes == nullptr) return FailFetch(fetch, error, "");
  gsize size = 0;
  const char* chunk = static_cast<const char*>(g_bytes_get_data(bytes, &size));
  fetch->body.append(chunk ? chunk : "", size);
  g_bytes_unref(bytes);
  if (size == 0) return EndFetch(fetch, true);
  if (static_cast<long long>(fetch->body.size()) > kUpnpDescriptionLimit)
    return FailFetch(fetch, nullptr, "longer than " + std::to_string(kUpnpDescriptionLimit) + " bytes");
  ReadMore(fetch);
}

void ReadMore(Fetch* fetch) {
  g_input_stream_read_bytes_async(fetch->stream, kReadChunk, G_PRIORITY_DEFAULT, fetch->cancellable,
                                  OnRead, fetch);
}

void OnSent(GObject* source, GAsyncResult* result, gpointer data) {
  auto* fetch = static_cast<Fetch*>(data);
  GError* error = nullptr;
  fetch->stream = soup_session_send_finish(SOUP_SESSION(source), result, &error);
  if (fetch->stream == nullptr) return FailFetch(fetch, error, "");
  const guint status = soup_message_get_status(fetch->message);
  if (!SOUP_STATUS_IS_SUCCESSFUL(status))
    return FailFetch(fetch, nullptr, "HTTP status " + std::to_string(status));
  SoupMessageHeaders* headers = soup_message_get_response_headers(fetch->message);
  if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH &&
      soup_message_headers_get_content_length(headers) > kUpnpDescriptionLimit)
    return FailFetch(fetch, nullptr, "longer than " + std::to_string(kUpnpDescriptionLimit) + " bytes");
  ReadMore(fetch);
}

void StartFetch(FindState* state, const Network& network, const std::string& udn,
                const std::string& location) {
  ++state->account->descriptions_asked;
  SoupMessage* message = soup_message_new(SOUP_METHOD_GET, location.c_str());
  if (message == nullptr) {
    Refuse(state, location, "not a usable URL");
    return;
  }
  auto* fetch = new Fetch;
  fetch->state = state;
  fetch->context = GUPNP_CONTEXT(g_object_ref(network.context));
  fetch->interface = network.interface;
  fetch->udn = udn;
  fetch->location = location;
  fetch->cancellable = g_cancellable_new();
  fetch->message = message;
  state->fetches.insert(fetch);
  soup_session_send_async(state->session, message, G_PRIORITY_DEFAULT, fetch->cancellable, OnSent,
                          fetch);
}

void OnResourceAvailable(GSSDPResourceBrowser*, const char* usn, GList* locations, gpointer data) {
  auto* network = static_cast<Network*>(data);
  FindState* state = network->state;
  if (!state->window_open || locations == nullptr || locations->data == nullptr) return;
  const std::string udn = UdnOfUsn(usn);
  if (udn.empty() || !state->asked.insert(udn).second) return;
  StartFetch(state, *network, udn, static_cast<const char*>(locations->data));
}

// Counts the SSDP replies (unicast, to the port the M-SEARCH left from): a
// reply carries ST and no MAN; a request carries MAN, an announcement NT.
void OnMessage(GSSDPClient*, const char*, guint, int, SoupMessageHeaders* headers, gpointer data) {
  auto* network = static_cast<Network*>(data);
  if (headers != nullptr && soup_message_headers_get_one(headers, "ST") != nullptr &&
      soup_message_headers_get_one(headers, "MAN") == nullptr)
    ++network->state->account->interfaces[network->account].replies;
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
  g_signal_connect(network->browser, "resource-available", G_CALLBACK(OnResourceAvailable), network);
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
  g_signal_handlers_disconnect_by_data(network->browser, network);
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

// An owned GLib string as UTF-8 text; null gives an empty text.
std::string Take(char* text) {
  std::string s = text ? text : "";
  g_free(text);
  return s;
}

std::string Copy(const char* text) { return text ? text : ""; }

int CountAndFree(GList* list) {
  int n = static_cast<int>(g_list_length(list));
  g_list_free_full(list, g_object_unref);
  return n;
}

UpnpDeviceProperties ReadRootDevice(GUPnPDeviceInfo* info, const std::string& interface) {
  UpnpDeviceProperties p;
  p.interface = interface;
  p.children = CountAndFree(gupnp_device_info_list_devices(info));
  p.description = Take(gupnp_device_info_get_model_description(info));
  p.friendly_name = Take(gupnp_device_info_get_friendly_name(info));
  p.has_children = *p.children > 0;
  p.icon_url = Take(gupnp_device_info_get_icon_url(info, "image/gif", 8, 32, 32, FALSE,
                                                   nullptr, nullptr, nullptr, nullptr));
  p.is_root_device = true;  // the search asks for root devices only
  p.manufacturer_name = Take(gupnp_device_info_get_manufacturer(info));
  p.manufacturer_url = Take(gupnp_device_info_get_manufacturer_url(info));
  p.model_name = Take(gupnp_device_info_get_model_name(info));
  p.model_number = Take(gupnp_device_info_get_model_number(info));
  p.model_url = Take(gupnp_device_info_get_model_url(info));
  p.parent_device.present = false;  // a root device has nothing above it
  p.presentation_url = Take(gupnp_device_info_get_presentation_url(info));
  p.root_device.present = false;
  p.serial_number = Take(gupnp_device_info_get_serial_number(info));
  p.services = CountAndFree(gupnp_device_info_list_services(info));
  p.type = Copy(gupnp_device_info_get_device_type(info));
  p.unique_device_name = Copy(gupnp_device_info_get_udn(info));
  p.upc = Take(gupnp_device_info_get_upc(info));
  return p;
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
  state.session = soup_session_new_with_options("max-conns", kUpnpFetchConnections, "max-conns-per-host",
                                                kUpnpFetchConnectionsPerServer, "user-agent",
                                                "KestraDeviceSearch UPnP/1.0", nullptr);

  OpenNetworks(&state);
  bool searched = !state.networks.empty();
  if (searched) {
    for (const std::unique_ptr<Network>& network : state.networks) StartSearching(&state, network.get());
    // The window's end moves once the first M-SEARCH has gone out.
    while (Clock::now() < state.WindowEnd()) RunUntil(state, state.WindowEnd());
    state.window_open = false;
    if (!state.fetches.empty()) RunUntil(state, state.WindowEnd() + timing_.grace);
  }
  state.ended = true;
  account.descriptions_unfinished = static_cast<int>(state.fetches.size());

  try {
    for (const auto& [proxy, interface] : state.devices)
      devices.push_back(ReadRootDevice(GUPNP_DEVICE_INFO(proxy), interface));
  } catch (...) {
    devices.clear();
    searched = false;
  }
  account.descriptions_read = static_cast<int>(devices.size());

  // Release everything on this thread: the fetches still running are
  // cancelled and their callbacks awaited, then pending disposals run.
  for (const std::unique_ptr<Network>& network : state.networks) StopSearching(network.get());
  for (Fetch* fetch : state.fetches) g_cancellable_cancel(fetch->cancellable);
  Drain(state.context, [&] { return state.fetches.empty(); }, std::chrono::milliseconds(2000));
  for (const auto& device : state.devices) g_object_unref(device.first);
  for (const std::unique_ptr<Network>& network : state.networks) {
    g_signal_handlers_disconnect_by_data(network->context, network.get());
    g_object_unref(network->context);
  }
  g_object_unref(state.session);
  for (int i = 0; i < 100 && g_main_context_iteration(state.context, FALSE); ++i) {
  }
  g_main_loop_unref(state.loop);
  g_main_context_pop_thread_default(state.context);
  g_main_context_unref(state.context);
  return searched;
}

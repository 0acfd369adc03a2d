// The GUPnP root-device search: a context manager for IPv4 under the calling
// thread's own main context, one control point per network context, a time
// window for the answers, then one read of every root device found.
#include "upnp/gupnp_finder.h"

#include <libgupnp/gupnp.h>
#include <libsoup/soup.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <map>
#include <set>
#include <string>

#include "upnp/library_log.h"

namespace {

using Clock = std::chrono::steady_clock;

// One description being fetched: the socket of its own connection (a
// reference, once connected) and whether it was cut off.
struct Fetch {
  GSocket* socket = nullptr;
  std::string url;
};

struct FindState {
  GMainLoop* loop = nullptr;
  std::vector<GUPnPControlPoint*> control_points;  // one reference each
  std::vector<SoupSession*> sessions;              // one reference each, watched
  std::map<SoupMessage*, Fetch> fetches;           // queued description fetches
  std::set<std::string> cut_urls;                  // descriptions cut off at the limit
  std::vector<GUPnPDeviceProxy*> devices;          // one reference each, in order found
  std::set<std::string> udns;                      // of `devices`
  std::set<std::string> pending;  // announced, description not yet arrived
  std::map<std::string, std::string> udn_of_location;  // first location of each announcement
  bool window_open = true;
};

// The unique device name of an SSDP unique service name ("uuid:x::upnp:rootdevice").
std::string UdnOfUsn(const char* usn) {
  std::string s = usn ? usn : "";
  std::size_t at = s.find("::");
  return at == std::string::npos ? s : s.substr(0, at);
}

void OnResourceAvailable(GSSDPResourceBrowser*, const char* usn, GList* locations, gpointer data) {
  auto* state = static_cast<FindState*>(data);
  if (!state->window_open) return;  // too late to start waiting for it
  std::string udn = UdnOfUsn(usn);
  if (!state->udns.count(udn)) state->pending.insert(udn);
  if (locations && locations->data)
    state->udn_of_location[static_cast<const char*>(locations->data)] = udn;
}

// Stops a fetch from receiving more: the connection is shut down, so the
// read ends at once, and the device it describes is not taken.
void CutFetch(FindState* state, Fetch& fetch) {
  if (fetch.socket) g_socket_shutdown(fetch.socket, TRUE, TRUE, nullptr);
  state->cut_urls.insert(fetch.url);
  // Its device will not come: stop waiting for it.
  auto it = state->udn_of_location.find(fetch.url);
  if (it != state->udn_of_location.end()) state->pending.erase(it->second);
  if (!state->window_open && state->pending.empty()) g_main_loop_quit(state->loop);
}

long long BytesReceived(GSocket* socket) {
  tcp_info info{};
  socklen_t len = sizeof(info);
  if (getsockopt(g_socket_get_fd(socket), IPPROTO_TCP, TCP_INFO, &info, &len) != 0) return 0;
  return static_cast<long long>(info.tcpi_bytes_received);
}

void OnNetworkEvent(SoupMessage* message, GSocketClientEvent event, GIOStream* connection,
                    gpointer data) {
  auto* state = static_cast<FindState*>(data);
  auto it = state->fetches.find(message);
  if (it == state->fetches.end() || it->second.socket || event != G_SOCKET_CLIENT_CONNECTED ||
      !G_IS_SOCKET_CONNECTION(connection))
    return;
  it->second.socket =
      G_SOCKET(g_object_ref(g_socket_connection_get_socket(G_SOCKET_CONNECTION(connection))));
}

void OnGotHeaders(SoupMessage* message, gpointer data) {
  auto* state = static_cast<FindState*>(data);
  auto it = state->fetches.find(message);
  if (it == state->fetches.end()) return;
  SoupMessageHeaders* headers = soup_message_get_response_headers(message);
  if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH &&
      soup_message_headers_get_content_length(headers) > kUpnpDescriptionLimit)
    CutFetch(state, it->second);
}

// Every description fetch gets a connection of its own (so that the bytes
// its socket received are its own) and is watched until it leaves the queue.
void OnRequestQueued(SoupSession*, SoupMessage* message, gpointer data) {
  auto* state = static_cast<FindState*>(data);
  soup_message_add_flags(message, SOUP_MESSAGE_NEW_CONNECTION);
  soup_message_headers_replace(soup_message_get_request_headers(message), "Connection", "close");
  char* url = g_uri_to_string(soup_message_get_uri(message));
  state->fetches[message] = Fetch{nullptr, url ? url : ""};
  g_free(url);
  g_signal_connect(message, "network-event", G_CALLBACK(OnNetworkEvent), state);
  g_signal_connect(message, "got-headers", G_CALLBACK(OnGotHeaders), state);
}

void ForgetFetch(FindState* state, std::map<SoupMessage*, Fetch>::iterator it) {
  g_signal_handlers_disconnect_by_data(it->first, state);
  if (it->second.socket) g_object_unref(it->second.socket);
  state->fetches.erase(it);
}

void OnRequestUnqueued(SoupSession*, SoupMessage* message, gpointer data) {
  auto* state = static_cast<FindState*>(data);
  auto it = state->fetches.find(message);
  if (it != state->fetches.end()) ForgetFetch(state, it);
}

// Checks every 10 ms how much each fetch has received.
gboolean WatchFetches(gpointer data) {
  auto* state = static_cast<FindState*>(data);
  for (auto& [message, fetch] : state->fetches) {
    if (fetch.socket && !state->cut_urls.count(fetch.url) &&
        BytesReceived(fetch.socket) > kUpnpDescriptionLimit)
      CutFetch(state, fetch);
  }
  return G_SOURCE_CONTINUE;
}

void OnDeviceProxyAvailable(GUPnPControlPoint*, GUPnPDeviceProxy* proxy, gpointer data) {
  auto* state = static_cast<FindState*>(data);
  const char* location = gupnp_device_info_get_location(GUPNP_DEVICE_INFO(proxy));
  if (location && state->cut_urls.count(location)) return;  // built from a cut-off description
  const char* raw_udn = gupnp_device_info_get_udn(GUPNP_DEVICE_INFO(proxy));
  std::string udn = raw_udn ? raw_udn : "";
  // After the window only the descriptions it was already waiting for count.
  if (!state->window_open && !state->pending.count(udn)) return;
  state->pending.erase(udn);
  if (state->udns.insert(udn).second)
    state->devices.push_back(static_cast<GUPnPDeviceProxy*>(g_object_ref(proxy)));
  if (!state->window_open && state->pending.empty()) g_main_loop_quit(state->loop);
}

void OnContextAvailable(GUPnPContextManager* manager, GUPnPContext* context, gpointer data) {
  auto* state = static_cast<FindState*>(data);
  GUPnPControlPoint* cp = gupnp_control_point_new(context, "upnp:rootdevice");
  if (!cp) return;
  SoupSession* session = gupnp_context_get_session(context);
  if (session) {
    state->sessions.push_back(SOUP_SESSION(g_object_ref(session)));
    g_signal_connect(session, "request-queued", G_CALLBACK(OnRequestQueued), state);
    g_signal_connect(session, "request-unqueued", G_CALLBACK(OnRequestUnqueued), state);
  }
  gssdp_resource_browser_set_mx(GSSDP_RESOURCE_BROWSER(cp), kUpnpSearchMxSeconds);
  g_signal_connect(cp, "resource-available", G_CALLBACK(OnResourceAvailable), state);
  g_signal_connect(cp, "device-proxy-available", G_CALLBACK(OnDeviceProxyAvailable), state);
  gupnp_context_manager_manage_control_point(manager, cp);
  gssdp_resource_browser_set_active(GSSDP_RESOURCE_BROWSER(cp), TRUE);
  state->control_points.push_back(cp);
}

gboolean QuitLoop(gpointer data) {
  g_main_loop_quit(static_cast<GMainLoop*>(data));
  return G_SOURCE_REMOVE;
}

// Runs the loop until `until` (or an earlier quit).
void RunUntil(GMainContext* context, GMainLoop* loop, Clock::time_point until) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
  if (left.count() <= 0) return;
  GSource* timer = g_timeout_source_new(static_cast<guint>(left.count()));
  g_source_set_callback(timer, QuitLoop, loop, nullptr);
  g_source_attach(timer, context);
  g_main_loop_run(loop);
  g_source_destroy(timer);
  g_source_unref(timer);
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

UpnpDeviceProperties ReadRootDevice(GUPnPDeviceInfo* info) {
  UpnpDeviceProperties p;
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

bool GupnpFinder::FindRootDevices(Clock::time_point started,
                                  std::vector<UpnpDeviceProperties>& devices) {
  devices.clear();
  RouteLibraryMessages();
  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  FindState state;
  state.loop = g_main_loop_new(context, FALSE);

  GUPnPContextManager* manager =
      gupnp_context_manager_create_full(GSSDP_UDA_VERSION_1_0, G_SOCKET_FAMILY_IPV4, 0);
  bool searched = manager != nullptr;
  if (manager) {
    g_signal_connect(manager, "context-available", G_CALLBACK(OnContextAvailable), &state);
    GSource* watch = g_timeout_source_new(10);
    g_source_set_callback(watch, WatchFetches, &state, nullptr);
    g_source_attach(watch, context);
    const Clock::time_point window_end = started + kUpnpSearchWindow;
    RunUntil(context, state.loop, window_end);
    state.window_open = false;
    if (!state.pending.empty()) RunUntil(context, state.loop, window_end + kUpnpDescriptionGrace);
    g_signal_handlers_disconnect_by_data(manager, &state);
    // Fetches still running are cut off now, so that no more arrives while
    // everything is released.
    for (auto& [message, fetch] : state.fetches) CutFetch(&state, fetch);
    g_source_destroy(watch);
    g_source_unref(watch);
  }

  try {
    for (GUPnPDeviceProxy* proxy : state.devices)
      devices.push_back(ReadRootDevice(GUPNP_DEVICE_INFO(proxy)));
  } catch (...) {
    devices.clear();
    searched = false;
  }

  // Release everything on this thread, then let pending disposals run.
  for (GUPnPDeviceProxy* proxy : state.devices) g_object_unref(proxy);
  for (GUPnPControlPoint* cp : state.control_points) {
    g_signal_handlers_disconnect_by_data(cp, &state);
    gssdp_resource_browser_set_active(GSSDP_RESOURCE_BROWSER(cp), FALSE);
    g_object_unref(cp);
  }
  if (manager) g_object_unref(manager);
  for (int i = 0; i < 100 && g_main_context_iteration(context, FALSE); ++i) {
  }
  // The sessions outlive their control points here; stop watching them.
  while (!state.fetches.empty()) ForgetFetch(&state, state.fetches.begin());
  for (SoupSession* session : state.sessions) {
    g_signal_handlers_disconnect_by_data(session, &state);
    g_object_unref(session);
  }
  for (int i = 0; i < 100 && g_main_context_iteration(context, FALSE); ++i) {
  }
  g_main_loop_unref(state.loop);
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  return searched;
}

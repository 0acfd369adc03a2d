// The GUPnP root-device search: a context manager for IPv4 under the calling
// thread's own main context, an SSDP browser per network context, every
// announced description fetched and read as it arrives, a time window for the
// announcements and a grace for the fetches still running.
#define G_LOG_DOMAIN "upnp-finder"

#include "upnp/gupnp_finder.h"

#include <libgupnp/gupnp.h>
#include <libsoup/soup.h>

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

// One description being fetched. Exactly one asynchronous operation runs for
// it at a time, and its callback always comes (cancelled at the latest when
// the search ends); EndFetch then frees it.
struct Fetch {
  FindState* state = nullptr;
  GUPnPContext* context = nullptr;  // a reference: the network it was announced on
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
  std::vector<GSSDPResourceBrowser*> browsers;  // one reference each
  std::vector<GSource*> repeats;                // the second M-SEARCH of each network
  std::optional<Clock::time_point> first_search;
  bool window_open = true;
  bool ended = false;           // no description is taken any more
  std::set<std::string> asked;  // unique device names whose description was asked for
  std::set<Fetch*> fetches;
  std::vector<GUPnPDeviceProxy*> devices;  // one reference each, in the order read

  Clock::time_point WindowEnd() const { return first_search.value_or(started) + timing.window; }
};

// The unique device name of an SSDP unique service name
// ("uuid:x::upnp:rootdevice"); empty when it is not a device's.
std::string UdnOfUsn(const char* usn) {
  std::string s = usn ? usn : "";
  s = s.substr(0, s.find("::"));
  return s.rfind("uuid:", 0) == 0 ? s : "";
}

// Reads the device the description names, as a GUPnP device proxy.
void TakeDescription(Fetch* fetch) {
  FindState* state = fetch->state;
  xmlDoc* doc = ParseDescription(fetch->body, fetch->location);
  if (doc == nullptr) {
    g_message("description %s not taken: not XML", fetch->location.c_str());
    return;
  }
  xmlNode* element = FindDescribedDevice(doc, fetch->udn);
  GUri* base = element ? DescriptionUrlBase(doc, fetch->location) : nullptr;
  if (element == nullptr || base == nullptr) {
    g_message("description %s not taken: it describes no device %s", fetch->location.c_str(),
              fetch->udn.c_str());
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
  state->devices.push_back(proxy);
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
    g_message("description %s not taken: %s", fetch->location.c_str(),
              error ? error->message : why.c_str());
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

void StartFetch(FindState* state, GUPnPContext* context, const std::string& udn,
                const std::string& location) {
  SoupMessage* message = soup_message_new(SOUP_METHOD_GET, location.c_str());
  if (message == nullptr) {
    g_message("description %s not taken: not a usable URL", location.c_str());
    return;
  }
  auto* fetch = new Fetch;
  fetch->state = state;
  fetch->context = GUPNP_CONTEXT(g_object_ref(context));
  fetch->udn = udn;
  fetch->location = location;
  fetch->cancellable = g_cancellable_new();
  fetch->message = message;
  state->fetches.insert(fetch);
  soup_session_send_async(state->session, message, G_PRIORITY_DEFAULT, fetch->cancellable, OnSent,
                          fetch);
}

void OnResourceAvailable(GSSDPResourceBrowser* browser, const char* usn, GList* locations,
                         gpointer data) {
  auto* state = static_cast<FindState*>(data);
  if (!state->window_open || locations == nullptr || locations->data == nullptr) return;
  const std::string udn = UdnOfUsn(usn);
  if (udn.empty() || !state->asked.insert(udn).second) return;
  StartFetch(state, GUPNP_CONTEXT(gssdp_resource_browser_get_client(browser)), udn,
             static_cast<const char*>(locations->data));
}

// A browser of `context` for root devices; active, it sends its M-SEARCH at once.
GSSDPResourceBrowser* NewBrowser(FindState* state, GUPnPContext* context) {
  GSSDPResourceBrowser* browser = gssdp_resource_browser_new(GSSDP_CLIENT(context), kRootDeviceTarget);
  gssdp_resource_browser_set_mx(browser, static_cast<gushort>(state->timing.mx_seconds));
  return browser;
}

struct Repeat {
  FindState* state;
  GUPnPContext* context;  // a reference
};

// The second M-SEARCH: a browser that sends its first request and stops; the
// answers reach the network's own browser, which listens on the same socket.
gboolean RepeatSearch(gpointer data) {
  auto* repeat = static_cast<Repeat*>(data);
  GSSDPResourceBrowser* once = NewBrowser(repeat->state, repeat->context);
  gssdp_resource_browser_set_active(once, TRUE);
  gssdp_resource_browser_set_active(once, FALSE);
  g_object_unref(once);
  return G_SOURCE_REMOVE;
}

void FreeRepeat(gpointer data) {
  auto* repeat = static_cast<Repeat*>(data);
  g_object_unref(repeat->context);
  delete repeat;
}

void OnContextAvailable(GUPnPContextManager*, GUPnPContext* context, gpointer data) {
  auto* state = static_cast<FindState*>(data);
  if (!state->window_open) return;
  GSSDPResourceBrowser* browser = NewBrowser(state, context);
  g_signal_connect(browser, "resource-available", G_CALLBACK(OnResourceAvailable), state);
  gssdp_resource_browser_set_active(browser, TRUE);
  state->browsers.push_back(browser);
  if (!state->first_search) state->first_search = Clock::now();
  if (state->timing.repeat_after.count() > 0) {
    GSource* timer = g_timeout_source_new(static_cast<guint>(state->timing.repeat_after.count()));
    g_source_set_callback(timer, RepeatSearch,
                          new Repeat{state, GUPNP_CONTEXT(g_object_ref(context))}, FreeRepeat);
    g_source_attach(timer, state->context);
    state->repeats.push_back(timer);
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
  FindState state;
  state.timing = timing_;
  state.started = started;
  state.context = g_main_context_new();
  g_main_context_push_thread_default(state.context);
  state.loop = g_main_loop_new(state.context, FALSE);
  state.session = soup_session_new_with_options("max-conns", kUpnpFetchConnections, "max-conns-per-host",
                                                kUpnpFetchConnectionsPerServer, "user-agent",
                                                "KestraDeviceSearch UPnP/1.0", nullptr);

  GUPnPContextManager* manager =
      gupnp_context_manager_create_full(GSSDP_UDA_VERSION_1_0, G_SOCKET_FAMILY_IPV4, 0);
  bool searched = manager != nullptr;
  if (manager) {
    g_signal_connect(manager, "context-available", G_CALLBACK(OnContextAvailable), &state);
    // The window's end moves once the first M-SEARCH has gone out.
    while (Clock::now() < state.WindowEnd()) RunUntil(state, state.WindowEnd());
    state.window_open = false;
    if (!state.fetches.empty()) RunUntil(state, state.WindowEnd() + timing_.grace);
    g_signal_handlers_disconnect_by_data(manager, &state);
  }
  state.ended = true;
  if (!state.fetches.empty())
    g_message("descriptions still unfinished when the search ended: %zu", state.fetches.size());

  try {
    for (GUPnPDeviceProxy* proxy : state.devices)
      devices.push_back(ReadRootDevice(GUPNP_DEVICE_INFO(proxy)));
  } catch (...) {
    devices.clear();
    searched = false;
  }

  // Release everything on this thread: the fetches still running are
  // cancelled and their callbacks awaited, then pending disposals run.
  for (GSource* repeat : state.repeats) {
    g_source_destroy(repeat);
    g_source_unref(repeat);
  }
  for (GSSDPResourceBrowser* browser : state.browsers) {
    g_signal_handlers_disconnect_by_data(browser, &state);
    gssdp_resource_browser_set_active(browser, FALSE);
    g_object_unref(browser);
  }
  for (Fetch* fetch : state.fetches) g_cancellable_cancel(fetch->cancellable);
  Drain(state.context, [&] { return state.fetches.empty(); }, std::chrono::milliseconds(2000));
  for (GUPnPDeviceProxy* proxy : state.devices) g_object_unref(proxy);
  if (manager) g_object_unref(manager);
  g_object_unref(state.session);
  for (int i = 0; i < 100 && g_main_context_iteration(state.context, FALSE); ++i) {
  }
  g_main_loop_unref(state.loop);
  g_main_context_pop_thread_default(state.context);
  g_main_context_unref(state.context);
  return searched;
}

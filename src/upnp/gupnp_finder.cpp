// The GUPnP root-device search: a context manager for IPv4 under the calling
// thread's own main context, one control point per network context, a time
// window for the answers, then one read of every root device found.
#include "upnp/gupnp_finder.h"

#include <libgupnp/gupnp.h>

#include <set>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

struct FindState {
  GMainLoop* loop = nullptr;
  std::vector<GUPnPControlPoint*> control_points;  // one reference each
  std::vector<GUPnPDeviceProxy*> devices;          // one reference each, in order found
  std::set<std::string> udns;                      // of `devices`
  std::set<std::string> pending;  // announced, description not yet arrived
  bool window_open = true;
};

// The unique device name of an SSDP unique service name ("uuid:x::upnp:rootdevice").
std::string UdnOfUsn(const char* usn) {
  std::string s = usn ? usn : "";
  std::size_t at = s.find("::");
  return at == std::string::npos ? s : s.substr(0, at);
}

void OnResourceAvailable(GSSDPResourceBrowser*, const char* usn, GList*, gpointer data) {
  auto* state = static_cast<FindState*>(data);
  if (!state->window_open) return;  // too late to start waiting for it
  std::string udn = UdnOfUsn(usn);
  if (!state->udns.count(udn)) state->pending.insert(udn);
}

void OnDeviceProxyAvailable(GUPnPControlPoint*, GUPnPDeviceProxy* proxy, gpointer data) {
  auto* state = static_cast<FindState*>(data);
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
  GMainContext* context = g_main_context_new();
  g_main_context_push_thread_default(context);
  FindState state;
  state.loop = g_main_loop_new(context, FALSE);

  GUPnPContextManager* manager =
      gupnp_context_manager_create_full(GSSDP_UDA_VERSION_1_0, G_SOCKET_FAMILY_IPV4, 0);
  bool searched = manager != nullptr;
  if (manager) {
    g_signal_connect(manager, "context-available", G_CALLBACK(OnContextAvailable), &state);
    const Clock::time_point window_end = started + kUpnpSearchWindow;
    RunUntil(context, state.loop, window_end);
    state.window_open = false;
    if (!state.pending.empty()) RunUntil(context, state.loop, window_end + kUpnpDescriptionGrace);
    g_signal_handlers_disconnect_by_data(manager, &state);
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
  g_main_loop_unref(state.loop);
  g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  return searched;
}

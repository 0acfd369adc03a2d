// Description fetches: one libsoup request each, read in chunks up to the
// limit, then the described root device read through GUPnP.
#define G_LOG_DOMAIN "upnp-finder"

#include "upnp/description_fetch.h"

#include <atomic>

#include "upnp/upnp_account.h"
#include "upnp/upnp_description.h"

namespace {

constexpr gsize kReadChunk = 65536;

std::atomic<int> detached_ever{0};

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
  p.is_root_device = true;  // only root devices are asked for
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

// The IPv4 address `message` was answered from; "" when not known.
std::string PeerAddress(SoupMessage* message) {
  GSocketAddress* remote = soup_message_get_remote_address(message);
  if (remote == nullptr || !G_IS_INET_SOCKET_ADDRESS(remote)) return "";
  GInetAddress* address = g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(remote));
  if (g_inet_address_get_family(address) != G_SOCKET_FAMILY_IPV4) return "";
  return Take(g_inet_address_to_string(address));
}

}  // namespace

// One description being fetched. Exactly one asynchronous operation runs for
// it at a time, and its callback always comes (cancelled at the latest when
// the fetches end); End then frees it. A fetch whose owner went first (owner
// null) only frees itself.
struct DescriptionFetches::Fetch {
  DescriptionFetches* owner = nullptr;  // null once detached
  GUPnPContext* context = nullptr;  // a reference, or null
  std::string interface;
  std::string udn;
  std::string location;
  GCancellable* cancellable = nullptr;
  SoupMessage* message = nullptr;
  GInputStream* stream = nullptr;
  GSource* deadline = nullptr;  // a reference, or null
  bool timed_out = false;
  std::string peer;  // the IPv4 address the description comes from, once connected
  std::string body;
  Done done;

  // Reads the device the description names. nullopt with *why when it cannot.
  std::optional<UpnpDeviceProperties> Read(std::string* why) const {
    xmlDoc* doc = ParseDescription(body, location);
    if (doc == nullptr) {
      *why = "not XML";
      return std::nullopt;
    }
    xmlNode* element = FindDescribedDevice(doc, udn);
    GUri* base = element ? DescriptionUrlBase(doc, location) : nullptr;
    if (element == nullptr || base == nullptr) {
      *why = "it describes no device " + QuotedDeviceText(udn);
      xmlFreeDoc(doc);
      if (base) g_uri_unref(base);
      return std::nullopt;
    }
    GUPnPXMLDoc* document = gupnp_xml_doc_new(doc);  // owns doc from here on
    auto* proxy = static_cast<GUPnPDeviceProxy*>(g_object_new(
        GUPNP_TYPE_DEVICE_PROXY, "resource-factory", gupnp_resource_factory_get_default(), "context", context,
        "location", location.c_str(), "udn", udn.c_str(), "url-base", base, "document", document, "element",
        element, nullptr));
    g_object_unref(document);
    g_uri_unref(base);
    std::optional<UpnpDeviceProperties> device;
    try {
      device = ReadRootDevice(GUPNP_DEVICE_INFO(proxy), interface);
      device->description_address = peer;
    } catch (...) {
      *why = "it could not be read";
    }
    g_object_unref(proxy);
    return device;
  }

  // Frees the fetch, then tells how it ended (unless its owner is closing).
  void End(std::optional<UpnpDeviceProperties> device, std::string why) {
    g_cancellable_cancel(cancellable);  // a connection still reading is closed
    if (deadline) {
      g_source_destroy(deadline);
      g_source_unref(deadline);
    }
    if (stream) g_object_unref(stream);
    g_object_unref(message);
    g_object_unref(cancellable);
    if (context) g_object_unref(context);
    DescriptionFetches* fetches = owner;
    Done tell = std::move(done);
    if (fetches != nullptr) fetches->fetches_.erase(this);  // null: detached, the owner is gone
    delete this;
    if (fetches != nullptr && !fetches->closing_ && tell) tell(std::move(device), why);
  }

  void Complete() {
    std::string why;
    std::optional<UpnpDeviceProperties> device = Read(&why);
    End(std::move(device), why);
  }

  // Ends a fetch that failed; a cancellation says no reason, unless it was
  // the deadline's.
  void Fail(GError* error, const std::string& why) {
    std::string reason = error ? error->message : why;
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) reason = timed_out ? "no answer in time" : "";
    g_clear_error(&error);
    End(std::nullopt, reason);
  }

  static std::string TooLong() { return "longer than " + std::to_string(kUpnpDescriptionLimit) + " bytes"; }

  void ReadMore() {
    g_input_stream_read_bytes_async(stream, kReadChunk, G_PRIORITY_DEFAULT, cancellable, OnRead, this);
  }

  static void OnRead(GObject* source, GAsyncResult* result, gpointer data) {
    auto* fetch = static_cast<Fetch*>(data);
    GError* error = nullptr;
    GBytes* bytes = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, &error);
    if (bytes == nullptr) return fetch->Fail(error, "");
    gsize size = 0;
    const char* chunk = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    fetch->body.append(chunk ? chunk : "", size);
    g_bytes_unref(bytes);
    if (size == 0) return fetch->Complete();
    if (static_cast<long long>(fetch->body.size()) > kUpnpDescriptionLimit) return fetch->Fail(nullptr, TooLong());
    fetch->ReadMore();
  }

  static void OnSent(GObject* source, GAsyncResult* result, gpointer data) {
    auto* fetch = static_cast<Fetch*>(data);
    GError* error = nullptr;
    fetch->stream = soup_session_send_finish(SOUP_SESSION(source), result, &error);
    if (fetch->stream == nullptr) return fetch->Fail(error, "");
    fetch->peer = PeerAddress(fetch->message);
    const guint status = soup_message_get_status(fetch->message);
    if (!SOUP_STATUS_IS_SUCCESSFUL(status)) return fetch->Fail(nullptr, "HTTP status " + std::to_string(status));
    SoupMessageHeaders* headers = soup_message_get_response_headers(fetch->message);
    if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH &&
        soup_message_headers_get_content_length(headers) > kUpnpDescriptionLimit)
      return fetch->Fail(nullptr, TooLong());
    fetch->ReadMore();
  }

  static gboolean OnDeadline(gpointer data) {
    auto* fetch = static_cast<Fetch*>(data);
    fetch->timed_out = true;
    g_cancellable_cancel(fetch->cancellable);
    return G_SOURCE_REMOVE;
  }
};

DescriptionFetches::DescriptionFetches()
    : context_(g_main_context_ref_thread_default()),
      session_(soup_session_new_with_options("max-conns", kUpnpFetchConnections, "max-conns-per-host",
                                             kUpnpFetchConnectionsPerServer, "user-agent",
                                             "KestraDeviceSearch UPnP/1.0", nullptr)) {}

DescriptionFetches::~DescriptionFetches() {
  closing_ = true;
  CancelAll();
  soup_session_abort(session_);
  const gint64 until =
      g_get_monotonic_time() + std::chrono::duration_cast<std::chrono::microseconds>(kCloseBound).count();
  while (!fetches_.empty() && g_get_monotonic_time() < until)
    if (!g_main_context_iteration(context_, FALSE)) g_usleep(1000);
  // Never seen; but a callback that comes after this must find no owner.
  for (Fetch* fetch : fetches_) fetch->owner = nullptr;
  detached_ever += static_cast<int>(fetches_.size());
  g_object_unref(session_);
  g_main_context_unref(context_);
}

int DescriptionFetches::DetachedEver() { return detached_ever.load(); }

bool DescriptionFetches::Start(const std::string& udn, const std::string& location, const std::string& interface,
                               GUPnPContext* context, std::chrono::milliseconds deadline, Done done,
                               std::string* why) {
  SoupMessage* message = soup_message_new(SOUP_METHOD_GET, location.c_str());
  if (message == nullptr) {
    *why = "not a usable URL";
    return false;
  }
  auto* fetch = new Fetch;
  fetch->owner = this;
  fetch->context = context ? GUPNP_CONTEXT(g_object_ref(context)) : nullptr;
  fetch->interface = interface;
  fetch->udn = udn;
  fetch->location = location;
  fetch->cancellable = g_cancellable_new();
  fetch->message = message;
  fetch->done = std::move(done);
  if (deadline.count() > 0) {
    fetch->deadline = g_timeout_source_new(static_cast<guint>(deadline.count()));
    g_source_set_callback(fetch->deadline, Fetch::OnDeadline, fetch, nullptr);
    g_source_attach(fetch->deadline, context_);
  }
  fetches_.insert(fetch);
  soup_session_send_async(session_, message, G_PRIORITY_DEFAULT, fetch->cancellable, Fetch::OnSent, fetch);
  return true;
}

void DescriptionFetches::CancelAll() {
  for (Fetch* fetch : fetches_) g_cancellable_cancel(fetch->cancellable);
}

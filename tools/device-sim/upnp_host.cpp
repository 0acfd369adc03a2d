// GUPnP root devices for the simulator: device plan, description documents,
// and the serving loop.
#include "upnp_host.h"

#include "upnp_hostile.h"
#include "upnp_ssdp.h"

#include <glib/gstdio.h>
#include <libgupnp/gupnp.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

namespace {

const int kCounts[] = {0, 1, 3};

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string NewUdn() {
  gchar* uuid = g_uuid_string_random();
  std::string udn = std::string("uuid:") + uuid;
  g_free(uuid);
  return udn;
}

std::string Url(const std::string& ip, const char* port, const char* path) {
  return std::string("http://") + ip + port + path;
}

// One element with a text; pretty: the text on a line of its own, between
// blanks.
void Element(std::ostringstream& x, const std::string& indent, const char* name, const std::string& v,
             bool pretty) {
  if (pretty) {
    x << indent << '<' << name << ">\n" << indent << "    " << Escape(v) << "  \n"
      << indent << "</" << name << ">\n";
  } else {
    x << indent << '<' << name << '>' << Escape(v) << "</" << name << ">\n";
  }
}

void Icon(std::ostringstream& x, const std::string& indent, const char* mime, int size, int depth,
          const char* url, bool pretty) {
  x << indent << "<icon>\n";
  Element(x, indent + "  ", "mimetype", mime, pretty);
  Element(x, indent + "  ", "width", std::to_string(size), pretty);
  Element(x, indent + "  ", "height", std::to_string(size), pretty);
  Element(x, indent + "  ", "depth", std::to_string(depth), pretty);
  Element(x, indent + "  ", "url", url, pretty);
  x << indent << "</icon>\n";
}

void ServiceList(std::ostringstream& x, const std::string& indent, int count, bool pretty) {
  if (count == 0) return;
  x << indent << "<serviceList>\n";
  for (int s = 0; s < count; ++s) {
    const std::string id = std::to_string(s + 1);
    const std::string in = indent + "    ";
    x << indent << "  <service>\n";
    Element(x, in, "serviceType", "urn:schemas-upnp-org:service:Sim" + id + ":1", pretty);
    Element(x, in, "serviceId", "urn:upnp-org:serviceId:Sim" + id, pretty);
    Element(x, in, "SCPDURL", "/scpd" + id + ".xml", pretty);
    Element(x, in, "controlURL", "/control" + id, pretty);
    Element(x, in, "eventSubURL", "/event" + id, pretty);
    x << indent << "  </service>\n";
  }
  x << indent << "</serviceList>\n";
}

// The smallest well-formed images: a GIF and a PNG of one pixel.
const unsigned char kGif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00,
                              0x00, 0x00, 0x00, 0x00, 0xff, 0xff, 0xff, 0x21, 0xf9, 0x04, 0x01, 0x00,
                              0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
                              0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
const unsigned char kPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f, 0x15, 0xc4,
    0x89, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x60, 0x00, 0x02, 0x00,
    0x00, 0x05, 0x00, 0x01, 0x7a, 0x5e, 0xab, 0x3f, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44,
    0xae, 0x42, 0x60, 0x82};

// A service description with one state variable and no actions.
std::string Scpd() {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<scpd xmlns=\"urn:schemas-upnp-org:service-1-0\">\n"
         "  <specVersion><major>1</major><minor>0</minor></specVersion>\n"
         "  <actionList/>\n"
         "  <serviceStateTable>\n"
         "    <stateVariable sendEvents=\"no\"><name>Status</name><dataType>string</dataType></stateVariable>\n"
         "  </serviceStateTable>\n"
         "</scpd>\n";
}

}  // namespace

std::vector<SimUpnpDevice> PlanUpnpDevices(const UpnpHostOptions& o, const std::string& ip) {
  static const char* const kAxisMakers[] = {"AXIS", "AXIS Communications AB", "Cameras by AXIS",
                                            "AXIS and Vivotek Alliance"};
  // The maker's devices write its name in capitals as well.
  static const char* const kVivotekMakers[] = {"VIVOTEK INC.", "Vivotek Inc.",
                                               "Made by Vivotek Corporation", "Vivotek"};
  // Neither AXIS (as written) nor Vivotek.
  static const char* const kOtherMakers[] = {"Axis Communications", "Praxis Imaging", "axis",
                                             "Vivid Tech", "Generic Media Works"};
  std::vector<SimUpnpDevice> devices;
  for (int i = 0; i < o.axis; ++i) {
    SimUpnpDevice d;
    d.manufacturer = kAxisMakers[i % 4];
    d.friendly_name = i % 2 == 0 ? "AXIS P1346 (" + ip + ")" : "AXIS M1054 Network Camera";
    d.model_description = "AXIS Network Camera " + std::to_string(i + 1);
    d.model_name = i % 2 == 0 ? "AXIS P1346" : "AXIS M1054";
    const char* const ports[] = {":8080", "", ":81"};
    const char* const paths[] = {"/", "/index.html", ""};  // the third has no path
    d.presentation_url = Url(ip, ports[i % 3], paths[i % 3]);
    d.model_number = i % 2 == 0 ? "P1346" : "M1054";
    d.embedded_udns.resize(kCounts[i % 3]);
    d.services = kCounts[(i + 1) % 3];
    devices.push_back(d);
  }
  for (int i = 0; i < o.vivotek; ++i) {
    SimUpnpDevice d;
    d.manufacturer = kVivotekMakers[i % 4];
    d.friendly_name = i % 2 == 0 ? "Vivotek IP8332 (Lobby " + std::to_string(i + 1) + ")"
                                 : "Vivotek FD8134";  // no "("
    d.model_description = "Vivotek Network Camera";
    d.model_name = i % 2 == 0 ? "IP8332" : "FD8134";
    const char* const ports[] = {"", ":8081", ""};
    const char* const paths[] = {"/", "/setup.html", ""};
    d.presentation_url = Url(ip, ports[i % 3], paths[i % 3]);
    d.model_number = d.model_name;
    d.embedded_udns.resize(kCounts[(i + 2) % 3]);
    d.services = kCounts[i % 3];
    devices.push_back(d);
  }
  for (int i = 0; i < o.other; ++i) {
    SimUpnpDevice d;
    d.manufacturer = kOtherMakers[i % 5];
    d.friendly_name = "Media Box (" + std::to_string(i + 1) + ")";
    d.model_description = "Media server";
    d.model_name = "MB-" + std::to_string(i + 1);
    d.presentation_url = Url(ip, "", "/");
    d.model_number = d.model_name;
    d.embedded_udns.resize(kCounts[i % 3]);
    d.services = kCounts[(i + 1) % 3];
    devices.push_back(d);
  }
  int serial = 1000;
  for (SimUpnpDevice& d : devices) {
    d.udn = NewUdn();
    for (std::string& udn : d.embedded_udns) udn = NewUdn();
    d.serial_number = "SN" + std::to_string(++serial);
    d.upc = "0" + std::to_string(700000000000LL + serial);
  }
  return devices;
}

std::string UpnpDescriptionXml(const SimUpnpDevice& d, bool pretty) {
  std::ostringstream x;
  const std::string in = "    ";
  x << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    << "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\n"
    << "  <specVersion><major>1</major><minor>0</minor></specVersion>\n"
    << "  <device>\n";
  Element(x, in, "deviceType", "urn:schemas-upnp-org:device:Basic:1", pretty);
  Element(x, in, "friendlyName", d.friendly_name, pretty);
  Element(x, in, "manufacturer", d.manufacturer, pretty);
  Element(x, in, "manufacturerURL", "http://www.example.com/", pretty);
  Element(x, in, "modelDescription", d.model_description, pretty);
  Element(x, in, "modelName", d.model_name, pretty);
  Element(x, in, "modelNumber", d.model_number, pretty);
  Element(x, in, "modelURL", "http://www.example.com/" + d.model_number, pretty);
  Element(x, in, "serialNumber", d.serial_number, pretty);
  Element(x, in, "UDN", d.udn, pretty);
  Element(x, in, "UPC", d.upc, pretty);
  x << in << "<iconList>\n";
  Icon(x, in + "  ", "image/png", 48, 24, "/icon48.png", pretty);
  Icon(x, in + "  ", "image/gif", 32, 8, "/icon32.gif", pretty);
  x << in << "</iconList>\n";
  ServiceList(x, in, d.services, pretty);
  if (!d.embedded_udns.empty()) {
    x << in << "<deviceList>\n";
    for (std::size_t e = 0; e < d.embedded_udns.size(); ++e) {
      const std::string n = std::to_string(e + 1);
      const std::string inner = in + "    ";
      x << in << "  <device>\n";
      Element(x, inner, "deviceType", "urn:schemas-upnp-org:device:Basic:1", pretty);
      Element(x, inner, "friendlyName", d.friendly_name + " channel " + n, pretty);
      Element(x, inner, "manufacturer", d.manufacturer, pretty);
      Element(x, inner, "modelName", d.model_name + "-CH" + n, pretty);
      Element(x, inner, "UDN", d.embedded_udns[e], pretty);
      ServiceList(x, inner, 1, pretty);
      x << in << "  </device>\n";
    }
    x << in << "</deviceList>\n";
  }
  Element(x, in, "presentationURL", d.presentation_url, pretty);
  x << "  </device>\n</root>\n";
  return x.str();
}

std::vector<UpnpServedFile> UpnpServedFiles() {
  std::vector<UpnpServedFile> files = {
      {"/icon32.gif", std::string(reinterpret_cast<const char*>(kGif), sizeof(kGif))},
      {"/icon48.png", std::string(reinterpret_cast<const char*>(kPng), sizeof(kPng))}};
  for (int s = 1; s <= 3; ++s) files.push_back({"/scpd" + std::to_string(s) + ".xml", Scpd()});
  return files;
}

namespace {

gboolean CheckStop(gpointer data) {
  auto* pair = static_cast<std::pair<std::atomic<bool>*, GMainLoop*>*>(data);
  if (pair->first->load()) g_main_loop_quit(pair->second);
  return G_SOURCE_CONTINUE;
}

std::string Copy(const char* text) { return text ? text : ""; }

void Drain(GMainContext* context) {
  for (int i = 0; i < 200 && g_main_context_iteration(context, FALSE); ++i) {
  }
}

}  // namespace

int RunUpnpHost(const UpnpHostOptions& o, std::atomic<bool>& stop, std::ostream& log) {
  if (o.interface.empty() && o.address.empty()) {
    log << "upnp error: give an interface or an address to serve on" << std::endl;
    return -1;
  }
  if (o.axis < 0 || o.vivotek < 0 || o.other < 0 || o.silent < 0 || o.port > 65535) {
    log << "upnp error: device counts must not be negative, the port at most 65535" << std::endl;
    return -1;
  }
  GInetAddress* address = nullptr;
  if (!o.address.empty()) {
    address = g_inet_address_new_from_string(o.address.c_str());
    if (!address || g_inet_address_get_family(address) != G_SOCKET_FAMILY_IPV4) {
      log << "upnp error: not an IPv4 address: " << o.address << std::endl;
      if (address) g_object_unref(address);
      return -1;
    }
  }

  GMainContext* main_context = g_main_context_new();
  g_main_context_push_thread_default(main_context);
  int result = 0;
  GError* error = nullptr;
  GUPnPContext* context =
      gupnp_context_new_full(o.interface.empty() ? nullptr : o.interface.c_str(), address,
                             static_cast<guint16>(o.port), GSSDP_UDA_VERSION_1_0, &error);
  if (address) g_object_unref(address);
  gchar* dir = nullptr;
  std::unique_ptr<HostileDescriptionServer> hostile;
  std::unique_ptr<SsdpResponder> ssdp;
  std::vector<std::string> files;

  if (!context) {
    log << "upnp error: cannot serve on " << o.interface << " " << o.address << ": "
        << (error ? error->message : "unknown") << std::endl;
    g_clear_error(&error);
    result = -1;
  } else {
    const std::string host_ip = Copy(gssdp_client_get_host_ip(GSSDP_CLIENT(context)));
    const std::string server =
        "http://" + host_ip + ":" + std::to_string(gupnp_context_get_port(context));
    std::vector<SsdpDevice> announced;
    dir = g_dir_make_tmp("kds-upnp-XXXXXX", &error);
    if (!dir) {
      log << "upnp error: no temporary folder: " << error->message << std::endl;
      g_clear_error(&error);
      result = -1;
    } else {
      // Every file in the folder is served at "/<name>".
      std::vector<SimUpnpDevice> plan = PlanUpnpDevices(o, host_ip);
      for (std::size_t i = 0; i < plan.size(); ++i) {
        std::string name = "device" + std::to_string(i + 1) + ".xml";
        files.push_back(std::string(dir) + "/" + name);
        std::ofstream(files.back()) << UpnpDescriptionXml(plan[i], o.pretty);
        announced.push_back({plan[i].udn, server + "/" + name});
        if (static_cast<int>(i) < o.byebye) announced.back().byebye_ms = o.byebye_ms;
        if (i + static_cast<std::size_t>(o.appear) >= plan.size()) announced.back().appear_ms = std::max(o.appear_ms, 1);
        log << "upnp device " << i + 1 << ": " << plan[i].manufacturer << " | "
            << plan[i].friendly_name << " | " << plan[i].presentation_url << std::endl;
      }
      for (const UpnpServedFile& f : UpnpServedFiles()) {
        files.push_back(std::string(dir) + f.path);
        std::ofstream(files.back(), std::ios::binary) << f.content;
      }
      for (const std::string& f : files) {
        if (!g_file_test(f.c_str(), G_FILE_TEST_IS_REGULAR)) {
          log << "upnp error: not written: " << f << std::endl;
          result = -1;
        }
      }
      gupnp_context_host_path(context, dir, "");
    }
    for (int i = 0; result == 0 && i < o.silent; ++i) {
      announced.push_back({NewUdn(), server + "/missing-" + std::to_string(i + 1) + ".xml"});
      log << "upnp silent device " << i + 1 << ": " << announced.back().location << std::endl;
    }
    if (result == 0 && !o.hostile.empty()) {
      hostile = std::make_unique<HostileDescriptionServer>(o.hostile, o.huge_bytes, log);
      std::string why;
      if (!hostile->Start(host_ip, &why)) {
        log << "upnp error: hostile descriptions: " << why << std::endl;
        result = -1;
      } else {
        for (const HostileUpnpDevice& d : hostile->Devices()) {
          announced.push_back({d.udn, d.location});
          log << "upnp hostile device " << d.kind << ": " << d.udn << " " << d.location
              << std::endl;
        }
      }
    }
    const std::size_t device_count = announced.size();
    if (result == 0) {
      SsdpOptions ssdp_options;
      ssdp_options.mx_honour = o.mx_honour;
      ssdp_options.cache_control = o.cache_control;
      ssdp_options.notify_only = o.notify_only;
      ssdp = std::make_unique<SsdpResponder>(std::move(announced), ssdp_options, log);
      std::string why;
      if (!ssdp->Start(host_ip, &why)) {
        log << "upnp error: " << why << std::endl;
        result = -1;
      }
    }
    if (result == 0) {
      log << "upnp ready " << device_count << " devices" << std::endl;
      GMainLoop* loop = g_main_loop_new(main_context, FALSE);
      std::pair<std::atomic<bool>*, GMainLoop*> watch(&stop, loop);
      GSource* timer = g_timeout_source_new(50);
      g_source_set_callback(timer, CheckStop, &watch, nullptr);
      g_source_attach(timer, main_context);
      if (!stop.load()) g_main_loop_run(loop);
      g_source_destroy(timer);
      g_source_unref(timer);
      g_main_loop_unref(loop);
    }
  }

  ssdp.reset();  // says bye-bye
  Drain(main_context);
  hostile.reset();
  if (context) {
    if (dir) gupnp_context_unhost_path(context, "");
    g_object_unref(context);
  }
  Drain(main_context);
  for (const std::string& f : files) g_remove(f.c_str());
  if (dir) {
    g_rmdir(dir);
    g_free(dir);
  }
  g_main_context_pop_thread_default(main_context);
  g_main_context_unref(main_context);
  return result;
}

// GUPnP root devices for the simulator: device plan, description documents,
// and the serving loop.
#include "upnp_host.h"

#include "upnp_hostile.h"

#include <glib/gstdio.h>
#include <libgupnp/gupnp.h>

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

void Element(std::ostringstream& x, const char* indent, const char* name, const std::string& v) {
  x << indent << '<' << name << '>' << Escape(v) << "</" << name << ">\n";
}

void ServiceList(std::ostringstream& x, const char* indent, int count) {
  if (count == 0) return;
  x << indent << "<serviceList>\n";
  for (int s = 0; s < count; ++s) {
    std::string id = std::to_string(s + 1);
    x << indent << "  <service>\n"
      << indent << "    <serviceType>urn:schemas-upnp-org:service:Sim" << id << ":1</serviceType>\n"
      << indent << "    <serviceId>urn:upnp-org:serviceId:Sim" << id << "</serviceId>\n"
      << indent << "    <SCPDURL>/scpd" << id << ".xml</SCPDURL>\n"
      << indent << "    <controlURL>/control" << id << "</controlURL>\n"
      << indent << "    <eventSubURL>/event" << id << "</eventSubURL>\n"
      << indent << "  </service>\n";
  }
  x << indent << "</serviceList>\n";
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
    d.embedded_devices = kCounts[i % 3];
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
    d.embedded_devices = kCounts[(i + 2) % 3];
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
    d.embedded_devices = kCounts[i % 3];
    d.services = kCounts[(i + 1) % 3];
    devices.push_back(d);
  }
  int serial = 1000;
  for (SimUpnpDevice& d : devices) {
    d.udn = NewUdn();
    d.serial_number = "SN" + std::to_string(++serial);
    d.upc = "0" + std::to_string(700000000000LL + serial);
  }
  return devices;
}

std::string UpnpDescriptionXml(const SimUpnpDevice& d) {
  std::ostringstream x;
  x << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    << "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\n"
    << "  <specVersion><major>1</major><minor>0</minor></specVersion>\n"
    << "  <device>\n";
  Element(x, "    ", "deviceType", "urn:schemas-upnp-org:device:Basic:1");
  Element(x, "    ", "friendlyName", d.friendly_name);
  Element(x, "    ", "manufacturer", d.manufacturer);
  Element(x, "    ", "manufacturerURL", "http://www.example.com/");
  Element(x, "    ", "modelDescription", d.model_description);
  Element(x, "    ", "modelName", d.model_name);
  Element(x, "    ", "modelNumber", d.model_number);
  Element(x, "    ", "modelURL", "http://www.example.com/" + d.model_number);
  Element(x, "    ", "serialNumber", d.serial_number);
  Element(x, "    ", "UDN", d.udn);
  Element(x, "    ", "UPC", d.upc);
  x << "    <iconList>\n"
    << "      <icon><mimetype>image/png</mimetype><width>48</width><height>48</height>"
       "<depth>24</depth><url>/icon48.png</url></icon>\n"
    << "      <icon><mimetype>image/gif</mimetype><width>32</width><height>32</height>"
       "<depth>8</depth><url>/icon32.gif</url></icon>\n"
    << "    </iconList>\n";
  ServiceList(x, "    ", d.services);
  if (d.embedded_devices > 0) {
    x << "    <deviceList>\n";
    for (int e = 0; e < d.embedded_devices; ++e) {
      std::string n = std::to_string(e + 1);
      x << "      <device>\n";
      Element(x, "        ", "deviceType", "urn:schemas-upnp-org:device:Basic:1");
      Element(x, "        ", "friendlyName", d.friendly_name + " channel " + n);
      Element(x, "        ", "manufacturer", d.manufacturer);
      Element(x, "        ", "modelName", d.model_name + "-CH" + n);
      // Embedded devices need their own names: the root's with a suffix.
      Element(x, "        ", "UDN", d.udn + "-ch" + n);
      ServiceList(x, "        ", 1);
      x << "      </device>\n";
    }
    x << "    </deviceList>\n";
  }
  Element(x, "    ", "presentationURL", d.presentation_url);
  x << "  </device>\n</root>\n";
  return x.str();
}

namespace {

gboolean CheckStop(gpointer data) {
  auto* pair = static_cast<std::pair<std::atomic<bool>*, GMainLoop*>*>(data);
  if (pair->first->load()) g_main_loop_quit(pair->second);
  return G_SOURCE_CONTINUE;
}

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
  std::vector<GUPnPRootDevice*> roots;
  GSSDPResourceGroup* silent_group = nullptr;
  GSSDPResourceGroup* hostile_group = nullptr;
  std::unique_ptr<HostileDescriptionServer> hostile;
  std::vector<std::string> files;

  if (!context) {
    log << "upnp error: cannot serve on " << o.interface << " " << o.address << ": "
        << (error ? error->message : "unknown") << std::endl;
    g_clear_error(&error);
    result = -1;
  } else {
    const char* host_ip = gssdp_client_get_host_ip(GSSDP_CLIENT(context));
    dir = g_dir_make_tmp("kds-upnp-XXXXXX", &error);
    if (!dir) {
      log << "upnp error: no temporary folder: " << error->message << std::endl;
      g_clear_error(&error);
      result = -1;
    }
    std::vector<SimUpnpDevice> plan = dir ? PlanUpnpDevices(o, host_ip ? host_ip : "") :
                                            std::vector<SimUpnpDevice>{};
    for (std::size_t i = 0; i < plan.size() && result == 0; ++i) {
      std::string name = "device" + std::to_string(i + 1) + ".xml";
      std::string path = std::string(dir) + "/" + name;
      std::ofstream(path) << UpnpDescriptionXml(plan[i]);
      files.push_back(path);
      GUPnPRootDevice* root = gupnp_root_device_new(context, name.c_str(), dir, &error);
      if (!root) {
        log << "upnp error: device " << i + 1 << ": " << (error ? error->message : "unknown")
            << std::endl;
        g_clear_error(&error);
        result = -1;
        break;
      }
      gupnp_root_device_set_available(root, TRUE);
      roots.push_back(root);
      log << "upnp device " << i + 1 << ": " << plan[i].manufacturer << " | "
          << plan[i].friendly_name << " | " << plan[i].presentation_url << std::endl;
    }
    if (result == 0 && o.silent > 0) {
      silent_group = gssdp_resource_group_new(GSSDP_CLIENT(context));
      for (int i = 0; i < o.silent; ++i) {
        std::string udn = NewUdn();
        std::string location = "http://" + std::string(host_ip ? host_ip : "") + ":" +
                               std::to_string(gupnp_context_get_port(context)) + "/missing-" +
                               std::to_string(i + 1) + ".xml";
        gssdp_resource_group_add_resource_simple(silent_group, "upnp:rootdevice",
                                                 (udn + "::upnp:rootdevice").c_str(),
                                                 location.c_str());
        log << "upnp silent device " << i + 1 << ": " << location << std::endl;
      }
      gssdp_resource_group_set_available(silent_group, TRUE);
    }
    if (result == 0 && !o.hostile.empty()) {
      hostile = std::make_unique<HostileDescriptionServer>(o.hostile, o.huge_bytes, log);
      std::string why;
      if (!hostile->Start(host_ip ? host_ip : "", &why)) {
        log << "upnp error: hostile descriptions: " << why << std::endl;
        result = -1;
      } else {
        hostile_group = gssdp_resource_group_new(GSSDP_CLIENT(context));
        for (const HostileUpnpDevice& d : hostile->Devices()) {
          gssdp_resource_group_add_resource_simple(hostile_group, "upnp:rootdevice",
                                                   (d.udn + "::upnp:rootdevice").c_str(),
                                                   d.location.c_str());
          log << "upnp hostile device " << d.kind << ": " << d.udn << " " << d.location
              << std::endl;
        }
        gssdp_resource_group_set_available(hostile_group, TRUE);
      }
    }
    if (result == 0) {
      log << "upnp ready "
          << roots.size() + static_cast<std::size_t>(o.silent) + o.hostile.size() << " devices"
          << std::endl;
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

  for (GUPnPRootDevice* root : roots) gupnp_root_device_set_available(root, FALSE);
  if (silent_group) gssdp_resource_group_set_available(silent_group, FALSE);
  if (hostile_group) gssdp_resource_group_set_available(hostile_group, FALSE);
  Drain(main_context);
  if (silent_group) g_object_unref(silent_group);
  if (hostile_group) g_object_unref(hostile_group);
  hostile.reset();
  for (GUPnPRootDevice* root : roots) g_object_unref(root);
  if (context) g_object_unref(context);
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

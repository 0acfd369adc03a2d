// The simulator's UPnP side: root devices of several makers, described by
// generated description documents served over HTTP with GUPnP (with the
// icons and service descriptions they name), and announced over SSDP by the
// simulator's own responder (upnp_ssdp.h), so that the UPnP search has
// something to find.
#pragma once

#include <atomic>
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

struct UpnpHostOptions {
  int axis = 0;     // --upnp-axis N: devices whose maker name holds "AXIS"
  int vivotek = 0;  // --upnp-vivotek N: devices whose maker name holds "Vivotek"
  int other = 0;    // --upnp-other N: devices of other makers (and other spellings)
  // --upnp-silent N: root devices that answer the search but whose description
  // is never served (its address answers 404), to test the search's bounds.
  int silent = 0;
  // --upnp-hostile K,..: one more root device per kind, whose description a
  // hostile server serves (see upnp_hostile.h); huge_bytes sizes "huge".
  std::vector<std::string> hostile;
  std::size_t huge_bytes = 20000000;
  // Where to serve: a network interface (e.g. "vdev"), an IPv4 address, or
  // both. One of them is required; the host never picks one by itself.
  std::string interface;
  std::string address;
  unsigned port = 0;  // HTTP port for the descriptions; 0: any free port
  // How the devices answer searches (see SsdpOptions): --upnp-mx-honour,
  // --upnp-no-cache-control, --upnp-notify-only.
  bool mx_honour = true;
  bool cache_control = true;
  bool notify_only = false;
  // --upnp-pretty: descriptions put blanks and line breaks around every text,
  // as pretty-printing devices do.
  bool pretty = false;
  // --upnp-appear N: the last N planned devices answer no search until
  // appear_ms (from the start), then announce themselves; --upnp-byebye N:
  // the first N say bye-bye at byebye_ms and answer no more.
  int appear = 0, appear_ms = 0;
  int byebye = 0, byebye_ms = 0;
};

// One simulated root device.
struct SimUpnpDevice {
  std::string udn;
  std::string manufacturer;
  std::string friendly_name;
  std::string model_description;
  std::string model_name;
  std::string model_number;
  std::string serial_number;
  std::string upc;
  std::string presentation_url;  // may lack a port, or a path
  std::vector<std::string> embedded_udns;  // one per embedded device: 0, 1 or 3
  int services = 0;              // 0, 1 or 3
};

// The devices the host serves for `o` at `host_ip`: first the AXIS, then the
// Vivotek, then the other devices, their texts varied by index (maker
// spellings, friendly names with and without "(", presentation URLs with and
// without a port and without a path, 0, 1 or 3 embedded devices and services).
std::vector<SimUpnpDevice> PlanUpnpDevices(const UpnpHostOptions& o, const std::string& host_ip);

// The description document of one device (UTF-8 XML); with `pretty`, every
// text stands between blanks and line breaks.
std::string UpnpDescriptionXml(const SimUpnpDevice& device, bool pretty = false);

// The files every description names besides itself (icons and service
// descriptions), by their path on the server ("/icon32.gif") and content.
struct UpnpServedFile {
  std::string path;
  std::string content;
};
std::vector<UpnpServedFile> UpnpServedFiles();

// Serves and announces the planned devices until `stop` is set, then says
// bye-bye and removes its files. Logs "upnp ready <n> devices" (n counts the
// silent and hostile ones too) once they are available, the SSDP responder's
// lines, and one line per problem. Returns 0, or -1 when it could not start
// (bad options, no such interface or address, files not written). Runs a
// GLib main context of its own on the calling thread.
int RunUpnpHost(const UpnpHostOptions& o, std::atomic<bool>& stop, std::ostream& log);

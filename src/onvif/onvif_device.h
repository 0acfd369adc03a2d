// One ONVIF device as a WS-Discovery search finds it (a camera, a video
// server or a recorder), the WS-Discovery group it is searched on, and the
// bounds every reader of a device's messages keeps.
//
// Plain values: no thread of their own, copied freely.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The WS-Discovery multicast group and port: Probes go there, and devices
// announce themselves (Hello, Bye) there.
constexpr char kOnvifGroup[] = "239.255.255.250";
constexpr int kOnvifDiscoveryPort = 3702;
// The UDP port the search sends its Probes from, so that a host firewall can
// let the answers (sent back to it) in. When it is taken on an address
// (another search running), a random port is used there, and the account
// says so.
constexpr int kOnvifProbePort = 6669;

// The bounds of what one device, one message and one search may bring.
// Anything beyond is cut (or left out) and counted in the search's account.
constexpr std::size_t kOnvifDatagramLimit = 65536;  // bytes of one datagram
constexpr std::size_t kOnvifScopeLimit = 64;        // scopes of one device
constexpr std::size_t kOnvifXaddrLimit = 8;         // XAddrs of one device
constexpr std::size_t kOnvifTypeLimit = 64;         // types of one device
constexpr std::size_t kOnvifTextLimit = 1024;       // bytes of any one text
constexpr std::size_t kOnvifMatchLimit = 256;       // ProbeMatch elements of one message
constexpr std::size_t kOnvifDeviceLimit = 4096;     // devices of one search

struct OnvifDevice {
  // Its endpoint reference address, the device's identity: "urn:uuid:...".
  std::string endpoint;
  // Its types as it wrote them ("dn:NetworkVideoTransmitter", "tds:Device").
  std::vector<std::string> types;
  // Its scopes and transport addresses (XAddrs) as it sent them, every one
  // of them (IPv6 ones included), within the bounds above.
  std::vector<std::string> scopes;
  std::vector<std::string> xaddrs;
  std::string metadata_version;

  // What GetDeviceInformation said, when it was asked and answered; empty
  // otherwise.
  std::string manufacturer, model, firmware_version, serial_number, hardware_id;

  // What its onvif://www.onvif.org/ scopes say (onvif_scopes.h): UTF-8.
  std::string name, hardware, mac, location;

  // The address it is reached at (onvif_address.h) and its web page.
  std::string ip;   // "10.99.0.2"
  int port = 80;
  std::string web_page;  // "http://10.99.0.2:80/"

  // The interface its answer came in on, and where the answer came from
  // ("10.99.0.2:3702").
  std::string interface;
  std::string from_address;
};

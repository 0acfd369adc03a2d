// The UPnP root-device finder over GUPnP: a search on IPv4 on every usable
// network interface, bounded in time.
#pragma once

#include <chrono>

#include "upnp/upnp_finder.h"

// The MX value of the M-SEARCH requests: devices answer within this time.
constexpr int kUpnpSearchMxSeconds = 2;
// Root devices whose descriptions arrive within this time from the start of
// the search are taken.
constexpr std::chrono::milliseconds kUpnpSearchWindow{3000};
// A description still being fetched when the window closes gets at most this
// much longer.
constexpr std::chrono::milliseconds kUpnpDescriptionGrace{1000};
// At most about this many bytes of one description are read: a longer one
// (or one that never ends) is cut off there and its device is not taken.
// Real descriptions are a few kilobytes.
constexpr long long kUpnpDescriptionLimit = 1048576;

// Every GLib and GUPnP object is created, used and released inside
// FindRootDevices, on the calling thread, under a main context of its own.
// A root device that answers on several interfaces is reported once (the
// first time its unique device name arrives). Every description is fetched
// on a connection of its own whose received bytes are watched, so that a
// description past kUpnpDescriptionLimit is cut off at once. The libraries'
// messages go to the library log (library_log.h).
class GupnpFinder : public UpnpFinder {
 public:
  bool FindRootDevices(std::chrono::steady_clock::time_point started,
                       std::vector<UpnpDeviceProperties>& devices) override;
};

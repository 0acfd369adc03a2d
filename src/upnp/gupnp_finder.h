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

// Every GLib and GUPnP object is created, used and released inside
// FindRootDevices, on the calling thread, under a main context of its own.
// A root device that answers on several interfaces is reported once (the
// first time its unique device name arrives).
class GupnpFinder : public UpnpFinder {
 public:
  bool FindRootDevices(std::chrono::steady_clock::time_point started,
                       std::vector<UpnpDeviceProperties>& devices) override;
};

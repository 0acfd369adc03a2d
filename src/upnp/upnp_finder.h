// The device finder behind the UPnP engine: one blocking search for UPnP root
// devices. The GUPnP finder searches the network; tests give their own.
#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "upnp/device_information.h"
#include "upnp/upnp_account.h"

class UpnpFinder {
 public:
  virtual ~UpnpFinder() = default;
  // Searches for "upnp:rootdevice" and fills `devices` with the root devices
  // found, in the order they were found, each read completely and with the
  // interface it answered on, and `account` with the network's part of the
  // search's account (the devices' part is the engine's). `started` is when
  // the search was asked for; a finder bounds its search time from it.
  // Returns false when no search could be made (devices then empty). Called
  // on the engine's worker thread, one call at a time.
  virtual bool FindRootDevices(std::chrono::steady_clock::time_point started,
                               std::vector<UpnpDeviceProperties>& devices, UpnpSearchAccount& account) = 0;

  // Called on the searching thread with each device as soon as it is read,
  // before FindRootDevices returns it. REQUIRES: no search under way.
  void SetOnDevice(std::function<void(const UpnpDeviceProperties&)> on_device) { on_device_ = std::move(on_device); }

 protected:
  std::function<void(const UpnpDeviceProperties&)> on_device_;
};

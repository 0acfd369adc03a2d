// The device finder behind the ONVIF search: one blocking WS-Discovery
// search for ONVIF devices. The WS-Discovery finder (ws_discovery_finder.h)
// searches the network; tests give their own.
#pragma once

#include <chrono>
#include <functional>
#include <utility>
#include <vector>

#include "onvif/onvif_account.h"
#include "onvif/onvif_device.h"

class OnvifFinder {
 public:
  virtual ~OnvifFinder() = default;
  // Searches and fills `devices` with the ONVIF devices found, each once, in
  // the order they became final (their answer taken and their details read
  // or given up), and `account` with what the search did. `started` is when
  // the search was asked for. Returns false when no search could be made (no
  // interface, no socket; devices then empty). Blocks for the search's
  // window and grace; called on a worker thread, one call at a time.
  virtual bool Find(std::chrono::steady_clock::time_point started, std::vector<OnvifDevice>& devices,
                    OnvifSearchAccount& account) = 0;

  // Called on the searching thread with each device as soon as it is final,
  // before Find returns it, so that a writer can print it at once.
  // REQUIRES: no search under way.
  void SetOnDevice(std::function<void(const OnvifDevice&)> on_device) { on_device_ = std::move(on_device); }

 protected:
  std::function<void(const OnvifDevice&)> on_device_;
};

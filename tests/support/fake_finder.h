// A device finder for tests: hands over a given list of devices, and can hold
// the worker inside the search until the test lets it go.
#pragma once

#include <atomic>
#include <memory>
#include <stdexcept>

#include "upnp/search_event.h"
#include "upnp/upnp_finder.h"

// Outlives the engine that owns the finder, so a test can see what the worker
// did after the engine is gone.
struct FakeFinderState {
  std::vector<UpnpDeviceProperties> devices;
  UpnpSearchAccount account;  // the network's part, handed over as it is
  bool succeed = true;
  bool fail_by_throwing = false;
  // Each call sets `entered`, then waits for `release` unless `hold` is false.
  bool hold = false;
  std::unique_ptr<SearchEvent> entered = std::make_unique<SearchEvent>("entered");
  std::unique_ptr<SearchEvent> release = std::make_unique<SearchEvent>("release");
  std::atomic<int> calls{0};
  std::atomic<bool> returned{false};
};

class FakeFinder : public UpnpFinder {
 public:
  explicit FakeFinder(std::shared_ptr<FakeFinderState> state) : state_(std::move(state)) {}
  bool FindRootDevices(std::chrono::steady_clock::time_point, std::vector<UpnpDeviceProperties>& devices,
                       UpnpSearchAccount& account) override {
    ++state_->calls;
    state_->returned = false;
    state_->entered->Set();
    if (state_->hold) state_->release->Wait();
    state_->returned = true;
    if (state_->fail_by_throwing) throw std::runtime_error("finder failed");
    devices = state_->devices;
    account = state_->account;
    return state_->succeed;
  }

 private:
  std::shared_ptr<FakeFinderState> state_;
};

// A root device with the given manufacturer, friendly name, description and
// presentation URL; everything else read successfully and empty.
inline UpnpDeviceProperties FakeDevice(const std::string& manufacturer,
                                       const std::string& friendly_name = "Device",
                                       const std::string& description = "",
                                       const std::string& presentation_url = "") {
  UpnpDeviceProperties p;
  p.children = 0;
  p.services = 0;
  p.has_children = false;
  p.is_root_device = true;
  p.manufacturer_name = manufacturer;
  p.friendly_name = friendly_name;
  p.description = description;
  p.presentation_url = presentation_url;
  return p;
}

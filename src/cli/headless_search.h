// One search without a window, as `search` and `setup` run it: the very same
// driver, exchanges, intake and UPnP phase as the window's, on the core
// application's event loop, and where each record came from.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "lists/row_writer.h"

class StandaloneSearch;

// One search without a window, run on the core application's event loop
// with the same driver, exchanges, intake and UPnP phase as the window.
class HeadlessSearch {
 public:
  HeadlessSearch(const SearchSettings& settings, bool with_upnp, DebugLog& log);
  ~HeadlessSearch();
  // Runs the search to its end (a QCoreApplication must exist).
  void Run();
  // Called when the exchange is over, before any UPnP merge, with the
  // exchange's records in the table.
  void SetOnExchangeDone(std::function<void()> done) { on_exchange_done_ = std::move(done); }
  // Called with each UPnP device the search keeps as soon as it is read,
  // before its merge (StandaloneSearch::SetOnUpnpDevice).
  void SetOnUpnpDevice(std::function<void(const DeviceInformationContainer&)> on_device) {
    on_upnp_device_ = std::move(on_device);
  }

  const DeviceTable& Table() const;
  // Where the records came from; the UPnP records are known once Run() has
  // returned.
  RecordOrigins Origins() const;
  // Whether the search was a broadcast that heard no answer at all
  // (firewall_hint.h), once Run() has returned.
  bool HeardNothing() const;
  // Whether it searched nothing because another search on this machine held
  // UDP port 6667 (SearchDriver::PortHeld); known in the exchange-done
  // callback and once Run() has returned.
  bool PortHeld() const;

 private:
  const SearchSettings& settings_;
  std::unique_ptr<StandaloneSearch> search_;
  bool ended_ = false;
  std::function<void()> on_exchange_done_;
  std::function<void(const DeviceInformationContainer&)> on_upnp_device_;
};

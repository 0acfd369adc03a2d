// One search apart from any window: a device table of its own, exchanges
// made for that table, a UPnP phase when asked for, and no button or label
// to set. The command line runs its searches this way; the window checks a
// re-addressing plan this way, beside its own grid.
#pragma once

#include <QObject>
#include <cstddef>
#include <functional>
#include <memory>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "protocol/search_controls.h"
#include "search/engine_upnp_phase.h"
#include "search/network_exchanges.h"
#include "search/search_driver.h"

// Makes the exchanges of a search that feeds `table` (MakeNetworkExchanges,
// MakeOfflineExchanges or a test's own).
using MakeExchanges =
    std::function<std::unique_ptr<SearchExchanges>(DeviceTable& table, const SearchSettings& settings, DebugLog& log)>;

class StandaloneSearch {
 public:
  // Searches with a copy of `settings`, with the GUPnP engine's UPnP phase
  // when `with_upnp` (and the project filter asks for one), logging to `log`,
  // which must outlive the search.
  StandaloneSearch(const SearchSettings& settings, bool with_upnp, DebugLog& log,
                   const MakeExchanges& make_exchanges = MakeNetworkExchanges);
  // Waits for a running exchange or UPnP worker (each bounded in time); a
  // search still running then never calls its `finished`.
  ~StandaloneSearch();

  // Starts the search; it runs on this thread's Qt event loop, which must
  // run for it to end, and `finished` is called there when it has ended.
  // Nothing while a search runs.
  void Start(std::function<void()> finished);
  bool Searching() const { return driver_->Searching(); }
  // Called when the exchange is over, before any UPnP merge.
  void SetOnExchangeDone(std::function<void()> done) { driver_->SetOnExchangeDone(std::move(done)); }

  // Called with each UPnP device the search keeps as soon as it is read,
  // before the merge (EngineUpnpPhase::SetOnKept); never without a UPnP
  // phase. REQUIRES: not searching.
  void SetOnUpnpDevice(std::function<void(const DeviceInformationContainer&)> on_device) {
    if (upnp_) upnp_->SetOnKept(std::move(on_device));
  }

  const DeviceTable& Table() const { return table_; }
  // The UPnP phase's engine, or null without a UPnP phase.
  UpnpEngine* Engine() { return upnp_ ? &upnp_->Engine() : nullptr; }
  const UpnpEngine* Engine() const { return upnp_ ? &upnp_->Engine() : nullptr; }
  // How many of the table's records the exchange gave (SearchDriver).
  std::size_t ExchangeRecords() const { return driver_->ExchangeRecords(); }
  // Whether the search was a broadcast that heard no answer at all; the log
  // then has the firewall hint (SearchDriver).
  bool HeardNothing() const { return driver_->HeardNothing(); }
  // Whether the search searched nothing because another search on this
  // machine held UDP port 6667 (SearchDriver::PortHeld).
  bool PortHeld() const { return driver_->PortHeld(); }

 private:
  // A search without a window has no button and no label to set.
  class NoControls : public SearchControls {
   public:
    void SetSearchButton(bool, const std::string&) override {}
    void SetCountLabel(const std::string&) override {}
  };

  SearchSettings settings_;
  DeviceTable table_;
  NoControls controls_;
  QObject owner_;
  std::unique_ptr<SearchExchanges> exchanges_;
  std::unique_ptr<EngineUpnpPhase> upnp_;
  std::unique_ptr<SearchDriver> driver_;
};

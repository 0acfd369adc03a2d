// One round of the live watch as the program runs it: a search of its own
// (StandaloneSearch: the broadcast or the relay, and the UPnP search), made
// for the round and dropped once it has ended, so that between rounds the
// watch holds no socket, neither on port 6667, whose reply sockets share one
// SO_REUSEPORT group with every other search on this machine, nor for UPnP.
// The exchange's devices are reported when the exchange ends, each UPnP
// device as soon as it is read (or, failing that, when the search ends). A
// round waits (up to 5 s) while another search on this machine holds port
// 6667, and one that still finds it held reports no protocol device.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "watch/device_watch.h"
#include "lists/row_writer.h"
#include "search/standalone_search.h"

// The devices of `table` from record `from` on, as a watch sees them, with
// their sources and UPnP texts by `origins`; only those the project filter of
// `settings` shows (every one under "ALL").
std::vector<WatchedDevice> WatchedDevicesOf(const DeviceTable& table, const RecordOrigins& origins,
                                            const SearchSettings& settings, std::size_t from);

class WatchRoundSearch : public WatchSearch {
 public:
  // Each round searches with a copy of `settings` (the project filter "ALL"
  // or "UPNP" with a UPnP search when `with_upnp`), logging to `log`, which
  // must outlive it. Thread: the owner's, whose Qt event loop must run.
  WatchRoundSearch(const SearchSettings& settings, bool with_upnp, DebugLog& log,
                   MakeExchanges make_exchanges = MakeNetworkExchanges);
  // Waits for a round under way (bounded in time); it then reports nothing.
  ~WatchRoundSearch() override;

  void Start(std::function<void(std::vector<WatchedDevice>)> found, std::function<void()> done) override;
  // False after a round whose search found UDP port 6667 held by another
  // search on this machine (StandaloneSearch::PortHeld): it reported only
  // the UPnP devices read meanwhile.
  bool RoundSearched() const override { return !port_held_; }
  // Called (on the owner's thread) when a round's search has found port 6667
  // held, before that round's `done`; the debug log has kPortHeldText.
  void SetOnPortHeld(std::function<void()> held) { on_port_held_ = std::move(held); }

 private:
  void ExchangeDone();
  void Ended();

  SearchSettings settings_;
  bool with_upnp_;
  DebugLog& log_;
  MakeExchanges make_exchanges_;
  std::function<void(std::vector<WatchedDevice>)> found_;
  std::function<void()> done_;
  std::function<void()> on_port_held_;
  bool port_held_ = false;  // the last round that ended
  std::size_t reported_ = 0;  // records of the round's table reported so far
  std::vector<DeviceInformationContainer> early_upnp_;  // UPnP devices reported before the merge
  std::unique_ptr<StandaloneSearch> search_;
  QObject context_;  // the deferred end of a round; dropped with it
};

// A UPnP device as a watch sees it, by the merge's rules (UpnpRecordOf);
// nullopt for a device the merge would not list.
std::optional<WatchedDevice> WatchedUpnpDevice(const DeviceInformationContainer& device);

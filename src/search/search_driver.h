// The search driver behind the "Device Search" button: resets the device list
// and the grid, runs the exchange that the search settings select (UDP
// broadcast, UDP or TCP relay, or the HTTP command), then the UPnP phase's
// merge when the project filter asks for one, and ends every search with the
// device count (sorted first when no UPnP phase ran). No window: the main
// window and the headless mode both drive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "protocol/search_controls.h"

// The exchanges a search may run. Each calls `done` on the caller's thread
// when it is over (possibly before it returns); answers reach the intake on
// the caller's thread, in arrival order, before `done`.
class SearchExchanges {
 public:
  virtual ~SearchExchanges() = default;
  // UDP search exchange with flag 0 (broadcast) or 2 (relay), feeding the intake.
  virtual void UdpSearch(int flag, std::function<void()> done) = 0;
  // TCP relay exchange, feeding the intake.
  virtual void TcpRelay(std::function<void()> done) = 0;
  // The HTTP command: fetch the relay's page, clean it and parse its table
  // into the device list and the grid.
  virtual void HttpCmd(const std::string& path, std::function<void()> done) = 0;
  // Whether a local broadcast has an interface to go out of now; without
  // one a search ends at once, without its UPnP phase.
  virtual bool CanBroadcast() const { return true; }
  // How many datagrams the last UDP or TCP exchange received, read once it
  // is done; nullopt when these exchanges do not count them.
  virtual std::optional<std::size_t> AnswersHeard() const { return std::nullopt; }
  // Whether the last UDP exchange never listened because another search on
  // this machine held UDP port 6667 for as long as it waited (PortClaim,
  // protocol/port_claim.h), read once it is done.
  virtual bool PortHeld() const { return false; }
};

// What a search says when its exchange found UDP port 6667 held by another
// search on this machine (SearchExchanges::PortHeld):
// the debug log's line, also the commands' line on standard error after
// "device-search: ", and the text for the window's strip:
// "UDP port 6667 stayed held by another search on this machine: nothing was
// searched; search again when that search has ended"
extern const char kPortHeldText[];
// ... and the count label's text: "Port 6667 busy: not searched!"
extern const char kPortHeldLabel[];

// The UPnP phase of a search: started first, merged last.
class UpnpPhase {
 public:
  virtual ~UpnpPhase() = default;
  // Starts the engine's search (its result is not looked at).
  virtual void StartSearch() = 0;
  // Starts the merge: waits off this thread for the engine, then merges its
  // devices into the table on this thread (MergeUpnpResults) and calls
  // `merged` there; the driver then ends the search.
  virtual void StartMerge(std::function<void()> merged) = 0;
  // True while a UPnP search is in progress (the window refuses to close).
  virtual bool InProgress() const = 0;
  // How many SSDP replies the last merged search received; nullopt when
  // this phase does not count them.
  virtual std::optional<std::size_t> RepliesHeard() const { return std::nullopt; }
};

// Exchanges that find nothing and end at once: a window or a test that has
// not been given the network.
std::unique_ptr<SearchExchanges> MakeOfflineExchanges();

class SearchDriver {
 public:
  // `upnp` may be null: every search then ends in the driver. `log` may be
  // null; else it takes the firewall hint (firewall_hint.h). All that is
  // given must outlive the driver; `settings` is read again at each Start().
  SearchDriver(DeviceTable& table, const SearchSettings& settings, SearchControls& controls,
               SearchExchanges& exchanges, UpnpPhase* upnp, DebugLog* log = nullptr);

  // Starts one search (the project filter "ALL" or "UPNP" with a UPnP phase,
  // ProjectWantsUpnp). It ends on this thread when the exchange is done, or
  // with a UPnP phase when the merge is done, and its end is the same on both
  // paths: the count label reads "%d device(s) found!" with the grid's data
  // rows (one empty row and 0 when there is none), row 0 is the fixed
  // heading and the button reads "Device Search", enabled; without a UPnP
  // phase the rows are first sorted by "Model", descending, and selected_row
  // becomes 1. A local broadcast that heard nothing at all (HeardNothing)
  // appends kFirewallHintLog to the log. Then the finished callback runs. A
  // local broadcast with no interface to go out of (CanBroadcast) has no UPnP
  // phase: it ends at once with what the exchange says.
  // A search whose exchange found port 6667 held (SearchExchanges::PortHeld)
  // lists nothing, not even what its UPnP phase found (it still waits for
  // that phase's merge, and then drops its rows): the grid keeps one empty
  // row, the count label reads kPortHeldLabel, the log gets kPortHeldText
  // (and no firewall hint), and PortHeld() is true until the next Start().
  void Start();

  bool Searching() const { return searching_; }
  // Whether the last search that ended was a local broadcast that heard no
  // answer at all (firewall_hint.h).
  bool HeardNothing() const { return heard_nothing_; }
  // Whether the last search's exchange found port 6667 held by another
  // search on this machine, so that it searched nothing (see Start); known
  // from the end of its exchange (SetOnExchangeDone) on.
  bool PortHeld() const { return port_held_; }
  // How many records of the device list the last search's exchange gave
  // (the first ones; later ones came from its UPnP merge). While an exchange
  // runs, every record is its own: SIZE_MAX.
  std::size_t ExchangeRecords() const { return exchange_records_; }
  // Called (on this thread) when a search's exchange is over, before any
  // UPnP merge.
  void SetOnExchangeDone(std::function<void()> done) { on_exchange_done_ = std::move(done); }
  // Called (on this thread) each time a search has ended.
  void SetOnFinished(std::function<void()> finished) { on_finished_ = std::move(finished); }

 private:
  void AfterExchange();
  void Finish();

  DeviceTable& table_;
  const SearchSettings& settings_;
  SearchControls& controls_;
  SearchExchanges& exchanges_;
  UpnpPhase* upnp_;
  DebugLog* log_;
  bool searching_ = false;
  bool with_upnp_ = false;  // this search has a UPnP phase
  bool broadcast_ = false;  // this search is a local broadcast with an interface to go out of
  bool heard_nothing_ = false;
  bool port_held_ = false;
  std::size_t exchange_records_ = SIZE_MAX;
  std::function<void()> on_exchange_done_;
  std::function<void()> on_finished_;
};

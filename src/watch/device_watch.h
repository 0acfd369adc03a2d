// The live watch: the search repeated every interval over a table of the
// watch's own, and what changed from one round to the next reported as
// events. A device that appears is "found" (and marked new for a minute), one
// whose record changed is "changed" (updated in place, the record before
// kept), one missing from kMissedRoundsForGone rounds in a row, or announced
// by ssdp:byebye, is "gone" (kept, greyed in the window, until Restart), and
// a row whose notes (row_notes.h) changed gets a "note". A round that could
// not search (WatchSearch::RoundSearched) counts as missed for no device.
// Rows are matched across rounds by DeviceIdentity (device_changes.h): the
// MAC of a protocol device, the UDN of a UPnP device, never the address, and
// never by the order of a round's answers.
//
// A device that moves while a round runs answers that round from both its
// old address and its new one (one pass each). So a round that finds a
// listed device at one more address than it has entries holds that address
// back: the next round tells a moved device (seen at the new address only:
// "changed", in place) from a second address of one MAC (seen at both again:
// "found").
//
// Nothing here keeps time, runs a loop or holds a socket: the owner calls
// Tick() often (every 100 ms is plenty), which starts a round when one is
// due, and hands over the SSDP announcements it hears (Alive, Byebye) and the
// descriptions it fetched for them (Described). Between rounds the round
// search holds nothing either (see WatchSearch), so that another search on
// this machine gets its answers. Never two rounds at once.
//
// Thread: one, the owner's (the window's or the command line's). Every
// callback (events, round starts) runs there, from inside the call that
// caused it.
//
// How an owner drives it (watch_command.cpp is one):
//   - make a WatchSearch (WatchRoundSearch, watch_round_search.h) and, for
//     the announcements, a WatchAnnouncements (watch_announcements.h); both
//     must outlive the watch; WatchAnnouncements::SetWatch(&watch) hands it
//     the notices, SetWatch(nullptr) before the watch goes;
//   - SetOnEvent(), then call Tick() from a timer (100 ms); the first round
//     starts at the first Tick();
//   - around anything that must not meet a round (its own full search, a
//     Network Setup, a verification, a close): SetPaused(true), wait until
//     RoundRunning() is false, do it, SetPaused(false). A paused watch starts
//     no round and follows no announcement; byebyes still mark devices gone;
//   - after its own full search, Restart() with that search's devices
//     (WatchedDevicesOf), so that the rows it shows are the watch's entries.
// Events name an entry (Entries()[event.entry]), already updated: kFound
// (new, or back after gone; IsNew() for kNewFor), kChanged (before and
// changed_fields set), kGone (gone set; the entry stays), kNote (notes
// changed; a present row whose notes went gets one with empty notes).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "lists/device_changes.h"
#include "lists/row_notes.h"
#include "upnp/device_information.h"

// A device as a round (or an announcement) reports it: what the comparison
// reads, and what a row of the search's output shows beside the record.
struct WatchedDevice {
  ListedDevice listed;
  std::string source = "protocol";  // "protocol", "httpcmd" or "upnp", as the search's rows say
  std::optional<DeviceInformationContainer> upnp = {};  // a UPnP device's texts
};

// The search one round runs (StandaloneSearch behind WatchRoundSearch in the
// program, a fake in tests). Thread: the owner's.
class WatchSearch {
 public:
  virtual ~WatchSearch() = default;
  // Starts a round. `found` receives devices as soon as they are final
  // (each device once per round: the exchange's at its end, a UPnP device as
  // soon as it is accepted); `done` is called once when the round is over,
  // after its last `found`. Both run later on this thread, never inside
  // Start(). REQUIRES: the last round has called `done`.
  virtual void Start(std::function<void(std::vector<WatchedDevice>)> found, std::function<void()> done) = 0;
  // Whether the round that called `done` last could search: false when
  // another search on this machine held UDP port 6667 throughout (its
  // protocol devices were then not looked for, and count as not missed).
  virtual bool RoundSearched() const { return true; }
};

// Fetches the description of a root device that announced itself, for
// DeviceWatch::Described. Thread: the owner's.
class DescriptionRequests {
 public:
  virtual ~DescriptionRequests() = default;
  // Asks for the description at `location` of the root device `udn`; the
  // device comes back through Described() if it is one the search would
  // list, else never. May refuse silently (too many under way).
  virtual void Request(const std::string& udn, const std::string& location) = 0;
};

class DeviceWatch {
 public:
  using Clock = std::chrono::steady_clock;

  // A device missing from this many rounds in a row is gone.
  static constexpr int kMissedRoundsForGone = 3;
  // A found device is marked new this long.
  static constexpr std::chrono::seconds kNewFor{60};
  static constexpr std::chrono::seconds kDefaultInterval{30};
  // The shortest interval the window and the command line allow, and the
  // longest the window offers.
  static constexpr std::chrono::seconds kShortestInterval{5};
  static constexpr std::chrono::seconds kLongestInterval{3600};
  // Descriptions asked for announcements between two round ends, at most.
  static constexpr std::size_t kDescriptionRequestsPerRound = 32;

  // One device the watch has seen, in the order first seen. Entries are
  // never removed but by Restart(), so an index stays valid until then.
  struct Entry {
    WatchedDevice device;
    Clock::time_point found_at{};     // when it was found (last found again)
    bool gone = false;
    int missed = 0;                   // rounds in a row it was missing from
    bool seen = false;                // seen since the last round ended
    std::vector<RowNote> notes;       // present rows only; a gone row keeps its last
    // The last change: the device before it and the fields that changed
    // (none: never changed since found).
    std::optional<WatchedDevice> before;
    std::vector<int> changed_fields;  // record field indices (UnitFieldName)
  };

  enum class EventKind { kFound, kChanged, kGone, kNote };
  struct Event {
    EventKind kind;
    std::size_t entry;  // index into Entries(); the entry is already updated
  };

  struct Options {
    std::chrono::milliseconds interval = kDefaultInterval;
    // This machine's networks for the notes, read at each round's start.
    std::function<std::vector<LocalNetwork>()> local_networks;
    // The time; steady_clock by default (tests give their own).
    std::function<Clock::time_point()> clock;
  };

  // `search`, and `descriptions` when given (null: announcements of unknown
  // devices are not followed up), must outlive the watch; a round's
  // callbacks that come after the watch is gone do nothing. The first round
  // starts at the first Tick().
  DeviceWatch(WatchSearch& search, DescriptionRequests* descriptions, Options options);
  ~DeviceWatch();
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;

  // Called for every event, after the entry changed.
  void SetOnEvent(std::function<void(const Event&)> on_event) { on_event_ = std::move(on_event); }
  // Called when a round starts.
  void SetOnRoundStarted(std::function<void()> started) { on_round_started_ = std::move(started); }

  // Starts a round when one is due: not paused, none under way, and the
  // interval passed since the last one started. Does nothing otherwise.
  void Tick();
  // Paused, no round starts and no description is asked for; a round under
  // way goes on to its end (RoundRunning tells when). Resumed, a round that
  // fell due meanwhile starts at the next Tick().
  void SetPaused(bool paused) { paused_ = paused; }
  bool Paused() const { return paused_; }
  bool RoundRunning() const { return running_; }
  int RoundsDone() const { return rounds_done_; }

  // An ssdp:alive of the root device `udn` with its description at
  // `location`: a listed device counts as seen; for one not listed (or
  // gone) the description is asked for, once per round. Does nothing while
  // paused.
  void Alive(const std::string& udn, const std::string& location);
  // An ssdp:byebye of `udn` sent by `sender` (a dotted quad): the listed UPnP
  // device with that UDN is gone, if its description came from `sender`
  // (WatchedDevice::upnp's description_address). False, and nothing changes,
  // when a listed device has that UDN but its description came from another
  // address or from one not known: anyone on the link can send a byebye.
  bool Byebye(const std::string& udn, const std::string& sender);
  // A device whose description was fetched after its ssdp:alive: found
  // (again) or changed as if a round had found it.
  void Described(WatchedDevice device);

  // Starts afresh from a full search's devices (the window's "Device
  // Search"): they become the entries, found now, without events; the next
  // round is an interval away. A round under way then reports nothing (it
  // still counts as running until its end).
  void Restart(std::vector<WatchedDevice> devices);

  const std::vector<Entry>& Entries() const { return entries_; }
  // Whether entry `i` is still marked new.
  bool IsNew(std::size_t i) const;

 private:
  void StartRound();
  void Found(std::vector<WatchedDevice> devices);
  void RoundDone();
  // Pairs `devices` with the entries of their identities (CompareDevices)
  // and applies what changed; returns the events to tell.
  std::vector<Event> Apply(std::vector<WatchedDevice> devices);
  std::size_t AddEntry(WatchedDevice device);
  // Recomputes the notes of the present entries; a note event for each
  // whose notes changed.
  void RefreshNotes(std::vector<Event>& events);
  void Tell(const std::vector<Event>& events);
  const Entry* ListedUpnp(const std::string& udn) const;

  WatchSearch& search_;
  DescriptionRequests* descriptions_;
  Options options_;
  std::function<void(const Event&)> on_event_;
  std::function<void()> on_round_started_;
  std::vector<Entry> entries_;
  std::unordered_map<std::string, std::vector<std::size_t>> by_identity_;  // DeviceIdentity -> entries
  std::vector<LocalNetwork> local_;
  bool paused_ = false;
  bool running_ = false;
  int rounds_done_ = 0;
  std::optional<Clock::time_point> last_start_;
  std::vector<std::string> asked_;  // UDNs whose descriptions were asked for since the last round ended
  // Identities with the address they were held back at (see above), this
  // round and the last.
  std::unordered_set<std::string> held_this_round_, held_last_round_;
  unsigned generation_ = 0;         // a round of an earlier generation (before Restart) reports nothing
  std::shared_ptr<DeviceWatch*> self_;  // rounds hold it weakly: gone with the watch
};

// "found", "changed", "gone" or "note".
const char* WatchEventWord(DeviceWatch::EventKind kind);

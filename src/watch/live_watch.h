// The live watch as the window and `device-search watch` run it: one object
// that owns the round search, the SSDP announcements, the watch and the
// timer that ticks it, made in the order they need one another and taken
// down in the reverse.
#pragma once

#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "protocol/debug_log.h"
#include "search/standalone_search.h"
#include "watch/device_watch.h"

class WatchAnnouncements;

class LiveWatch {
 public:
  struct Options {
    DeviceWatch::Options watch;
    // Whether SSDP announcements are heard between rounds.
    bool announcements = false;
    // How often the watch is ticked.
    std::chrono::milliseconds tick{250};
  };

  // The rounds search with `settings` (a UPnP search too when `with_upnp`),
  // over the exchanges `make_exchanges` gives; `log` must outlive this.
  // Thread: the owner's, whose Qt event loop must run.
  LiveWatch(const SearchSettings& settings, bool with_upnp, DebugLog& log, MakeExchanges make_exchanges,
            Options options);
  // A watch over a search of the caller's (tests).
  LiveWatch(std::unique_ptr<WatchSearch> search, Options options);
  // Stops the timer and the announcements, then waits for a round under way
  // (bounded), which reports nothing.
  ~LiveWatch();
  LiveWatch(const LiveWatch&) = delete;
  LiveWatch& operator=(const LiveWatch&) = delete;

  DeviceWatch& Watch() { return *watch_; }
  const DeviceWatch& Watch() const { return *watch_; }
  // Why the announcements are not heard although asked for; "" otherwise.
  const std::string& AnnouncementsError() const { return announcements_error_; }
  bool HearsAnnouncements() const { return announcements_ != nullptr; }

  // Called at each tick before the watch's own Tick(): the owner pauses the
  // watch there, or ends it (`false`: the watch is not ticked this time).
  void SetBeforeTick(std::function<bool()> before) { before_tick_ = std::move(before); }
  // Called when a round could not search because port 6667 stayed held by
  // another search on this machine (the program's round search only).
  void SetOnPortHeld(std::function<void()> held);
  // Starts ticking, the first tick from the event loop at once.
  void Start();
  void Stop();
  // One tick now, as the timer gives it.
  void Tick();

 private:
  void Make(DebugLog* log, Options options);

  std::unique_ptr<WatchSearch> search_;
  std::unique_ptr<WatchAnnouncements> announcements_;
  std::unique_ptr<DeviceWatch> watch_;
  std::string announcements_error_;
  std::function<bool()> before_tick_;
  QTimer timer_;
};

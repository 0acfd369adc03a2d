// The window's watch and its searches taking turns, without a window: never
// two searches at once, no round while the window is busy, no round before
// the session's first "Device Search" has ended, and a round that would fill
// an empty grid in the order its answers came is replaced by a full search.
// It also keeps the counts of the last round for the strip.
//
// Thread: one (the window's). Plain values; the window asks it at each tick
// of the watch's timer and on each press, and does what it answers.
#pragma once

#include <string>

#include "watch/device_watch.h"

class WatchTurns {
 public:
  // What the window does after a tick.
  enum class Next {
    kNothing,
    kSearch,        // start the "Device Search" pressed during the round, or one that fills the empty grid
    kRestartWatch,  // the interval changed during the round: start the watch afresh
  };
  struct Counts {
    int found = 0;
    int changed = 0;
    int gone = 0;
  };

  // "Device Search" was pressed: true when it starts now; false while a
  // round runs, after which it starts (Next::kSearch).
  bool SearchPressed(bool round_running);
  bool SearchWaiting() const { return search_waiting_; }
  // The interval changed: true when the watch starts afresh now; otherwise
  // after the round (Next::kRestartWatch).
  bool IntervalChanged(bool round_running);

  // A "Device Search" ended: from now on the watch may run.
  void SearchEnded() { searched_ = true; }
  bool MayWatch() const { return searched_; }

  // The watch was started afresh, or stopped. Stopped() answers whether a
  // search waited for the round, which then starts now.
  void WatchStarted();
  bool WatchStopped();

  // A round started; `grid_empty` when the grid holds no device then.
  void RoundStarted(bool grid_empty);
  // Whether the watch's events go into the grid now (not while a round
  // fills an empty grid: a search does that once the round has ended).
  bool EventsShown() const { return !filling_; }
  // An event of the watch (counted for the round under way or the next).
  void Event(DeviceWatch::EventKind kind);

  // At a tick, before the watch's own: what to do now that the round may
  // have ended (`round_running`: whether it still runs).
  Next Tick(bool round_running);
  // After the watch's tick: whether a round runs now.
  void Ticked(bool round_running) { round_was_running_ = round_running; }
  // Whether the watch is paused, the window being `busy` (a search, a
  // dialog, a verification, closing) or not.
  bool Paused(bool busy) const { return busy || search_waiting_; }

  // The counts of the last round that ended (with the announcements' events
  // since the round before), and whether one has ended since the watch began.
  const Counts& LastRound() const { return last_; }
  bool RoundEnded() const { return rounds_ended_ > 0; }

 private:
  bool searched_ = false;
  bool search_waiting_ = false;
  bool restart_due_ = false;
  bool round_was_running_ = false;
  bool filling_ = false;
  int rounds_ended_ = 0;
  Counts counting_;
  Counts last_;
};

// "Watching: N new, N changed, N gone", the strip's account of the last round.
std::string WatchingText(const WatchTurns::Counts& counts);

// The window's watch and searches taking turns.
#include "app/watch_turns.h"

#include "protocol/string_printf.h"

bool WatchTurns::SearchPressed(bool round_running) {
  if (!round_running) return true;
  search_waiting_ = true;  // both would listen on one port: after the round
  return false;
}

bool WatchTurns::IntervalChanged(bool round_running) {
  if (!round_running) return true;
  restart_due_ = true;
  return false;
}

void WatchTurns::WatchStarted() {
  round_was_running_ = false;
  restart_due_ = false;
  filling_ = false;
  rounds_ended_ = 0;
  counting_ = {};
  last_ = {};
}

bool WatchTurns::WatchStopped() {
  round_was_running_ = false;
  filling_ = false;
  const bool waiting = search_waiting_;
  search_waiting_ = false;
  return waiting;
}

void WatchTurns::RoundStarted(bool grid_empty) { filling_ = grid_empty; }

void WatchTurns::Event(DeviceWatch::EventKind kind) {
  switch (kind) {
    case DeviceWatch::EventKind::kFound:
      ++counting_.found;
      break;
    case DeviceWatch::EventKind::kChanged:
      ++counting_.changed;
      break;
    case DeviceWatch::EventKind::kGone:
      ++counting_.gone;
      break;
    case DeviceWatch::EventKind::kNote:
      break;
  }
}

WatchTurns::Next WatchTurns::Tick(bool round_running) {
  if (!round_was_running_ || round_running) return Next::kNothing;
  round_was_running_ = false;
  ++rounds_ended_;
  last_ = counting_;
  counting_ = {};
  const bool filled = filling_ && last_.found > 0;
  filling_ = false;
  if (search_waiting_ || filled) {
    search_waiting_ = false;
    return Next::kSearch;  // the watch starts again from its result
  }
  if (restart_due_) {
    restart_due_ = false;
    return Next::kRestartWatch;
  }
  return Next::kNothing;
}

std::string WatchingText(const WatchTurns::Counts& counts) {
  return StringPrintf("Watching: %d new, %d changed, %d gone", counts.found, counts.changed, counts.gone);
}

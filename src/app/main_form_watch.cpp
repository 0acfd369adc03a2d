// The main window's live watch: "Watch" and its interval, the rounds taking
// turns with the window's searches (WatchTurns), and the watch's events
// applied to the grid (GridWatch) in one change per burst.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include "app/main_form.h"
#include "app/window_strip.h"
#include "search/search_driver.h"
#include "search/verification_search.h"
#include "watch/live_watch.h"

DeviceWatch* TMainForm::Watch() const { return live_ ? &live_->Watch() : nullptr; }

void TMainForm::WatchCheckClick() {
  if (WatchCheck->isChecked())
    StartWatch();
  else
    StopWatch();
}

void TMainForm::WatchIntervalChange() {
  if (live_ && turns_.IntervalChanged(live_->Watch().RoundRunning())) StartWatch();
}

void TMainForm::StartWatch() {
  StopWatch();
  turn_due_ = false;
  // The first round follows the session's first "Device Search", never
  // the window's start.
  if (!turns_.MayWatch()) return;
  LiveWatch::Options options;
  options.watch.interval = std::chrono::seconds(WatchInterval->value());
  options.watch.local_networks = local_networks_;
  options.watch.clock = clock_;
  if (make_watch_search_) {
    live_ = std::make_unique<LiveWatch>(make_watch_search_(), std::move(options));
  } else {
    // Without the network (tests) the rounds find nothing, as the window's searches do.
    options.announcements = network_;
    live_ = std::make_unique<LiveWatch>(CurrentSettings(), network_, *log_, make_verification_exchanges_,
                                        std::move(options));
    if (!live_->AnnouncementsError().empty())
      log_->Append("Watch: SSDP announcements are not heard: " + live_->AnnouncementsError() + "\n");
  }
  live_->SetOnPortHeld([this] { strip_->ShowNote(QString::fromUtf8(kPortHeldText)); });
  DeviceWatch& watch = live_->Watch();
  watch.SetOnEvent([this](const DeviceWatch::Event& event) { WatchEvent(event); });
  watch.SetOnRoundStarted([this] { turns_.RoundStarted(RowsWithText(table_.grid).empty()); });
  // The list is where the watch starts (an empty one too): its first round
  // is an interval away.
  watch.Restart(grid_watch_.Restart(Origins()));
  turns_.WatchStarted();
  strip_->SetWatching(QString::fromStdString(WatchingText({})));
  live_->SetBeforeTick([this] { return WatchTurn(); });
  live_->Start();
}

void TMainForm::StopWatch() {
  live_.reset();  // waits for a round under way, which then reports nothing
  strip_->SetWatching("");
  const bool search_waited = turns_.WatchStopped();
  UpdateSearchButton();
  if (search_waited) StartSearch();
  verification_->WindowSearchEnded();
}

void TMainForm::WatchTick() {
  if (live_) live_->Tick();
}

bool TMainForm::WatchTurn() {
  if (turn_due_) return false;
  DeviceWatch& watch = live_->Watch();
  const WatchTurns::Next next = turns_.Tick(watch.RoundRunning());
  if (turns_.RoundEnded()) strip_->SetWatching(QString::fromStdString(WatchingText(turns_.LastRound())));
  if (next != WatchTurns::Next::kNothing) {
    verification_->WindowSearchEnded();  // it waited for the round
    // Neither a search nor a new watch starts inside the watch's own tick.
    turn_due_ = true;
    QTimer::singleShot(0, this, [this, next] {
      turn_due_ = false;
      if (next == WatchTurns::Next::kSearch)
        StartSearch();  // the watch starts again from its result
      else
        StartWatch();
    });
    return false;
  }
  watch.SetPaused(turns_.Paused(busy_ > 0 || driver_->Searching() || verification_->Pending()));
  watch.Tick();
  turns_.Ticked(watch.RoundRunning());
  if (marks_.NewMarkEnds(clock_())) UpdateMarks();
  return false;  // ticked here
}

void TMainForm::WatchEvent(const DeviceWatch::Event& event) {
  turns_.Event(event.kind);
  if (!turns_.EventsShown()) return;  // a search fills the empty grid once the round has ended
  if (!watch_batch_open_) {
    // The events of one call come together: one change of the grid for all.
    watch_batch_open_ = true;
    watch_keep_ = SelectedGridRows();
    table_.grid.BeginUpdate();
    QTimer::singleShot(0, this, &TMainForm::EndWatchBatch);
  }
  grid_watch_.Apply(live_->Watch(), event, clock_());
}

void TMainForm::EndWatchBatch() {
  if (!watch_batch_open_) return;
  watch_batch_open_ = false;
  keep_on_change_ = watch_keep_;  // appended and updated rows keep their numbers
  table_.grid.EndUpdate();
  keep_on_change_.reset();
  UpdateMarks();
}

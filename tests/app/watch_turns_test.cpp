// The window's watch taking turns with its searches, step by step.
#include "app/watch_turns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Next = WatchTurns::Next;
using Kind = DeviceWatch::EventKind;

// One step of a session, and what the turns answer to it.
struct Step {
  enum What { kPress, kInterval, kStart, kRoundStarts, kEvent, kTick } what;
  bool round_running = false;  // kPress, kInterval, kTick: whether a round runs
  bool grid_empty = false;     // kRoundStarts
  Kind kind = Kind::kFound;    // kEvent
  // The answers: of SearchPressed / IntervalChanged, or of Tick.
  bool now = true;
  Next next = Next::kNothing;
  bool paused = false;  // Paused(false) after the step
};

struct Case {
  const char* name;
  std::vector<Step> steps;
};

}  // namespace

TEST(WatchTurns, TakeTurnsWithTheWindowsSearches) {
  const Case cases[] = {
      {"a press between rounds searches at once",
       {{Step::kStart}, {Step::kPress, false, false, Kind::kFound, true}}},
      {"a press during a round waits for its end, the watch paused meanwhile",
       {{Step::kStart},
        {Step::kRoundStarts},
        {Step::kTick, true},
        {Step::kPress, true, false, Kind::kFound, false, Next::kNothing, true},
        {Step::kTick, true, false, Kind::kFound, true, Next::kNothing, true},
        {Step::kTick, false, false, Kind::kFound, true, Next::kSearch}}},
      {"an interval changed during a round restarts the watch after it",
       {{Step::kStart},
        {Step::kRoundStarts},
        {Step::kTick, true},
        {Step::kInterval, true, false, Kind::kFound, false},
        {Step::kTick, false, false, Kind::kFound, true, Next::kRestartWatch}}},
      {"a press and an interval during one round: the search, which restarts the watch anyway",
       {{Step::kStart},
        {Step::kRoundStarts},
        {Step::kTick, true},
        {Step::kInterval, true, false, Kind::kFound, false},
        {Step::kPress, true, false, Kind::kFound, false, Next::kNothing, true},
        {Step::kTick, false, false, Kind::kFound, true, Next::kSearch}}},
      {"a round that finds devices for an empty grid is followed by a search",
       {{Step::kStart},
        {Step::kRoundStarts, false, true},
        {Step::kTick, true},
        {Step::kEvent, false, false, Kind::kFound},
        {Step::kTick, false, false, Kind::kFound, true, Next::kSearch}}},
      {"a round that finds nothing for an empty grid is no search",
       {{Step::kStart}, {Step::kRoundStarts, false, true}, {Step::kTick, true}, {Step::kTick, false}}},
      {"a round over a grid with devices lists its own",
       {{Step::kStart},
        {Step::kRoundStarts, false, false},
        {Step::kTick, true},
        {Step::kEvent, false, false, Kind::kFound},
        {Step::kTick, false}}},
      {"a tick without a round ending is nothing",
       {{Step::kStart}, {Step::kTick, false}, {Step::kTick, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WatchTurns turns;
    EXPECT_FALSE(turns.MayWatch());
    turns.SearchEnded();
    EXPECT_TRUE(turns.MayWatch());
    int i = 0;
    for (const Step& s : c.steps) {
      SCOPED_TRACE(i++);
      switch (s.what) {
        case Step::kPress:
          EXPECT_EQ(turns.SearchPressed(s.round_running), s.now);
          EXPECT_EQ(turns.SearchWaiting(), !s.now);
          break;
        case Step::kInterval:
          EXPECT_EQ(turns.IntervalChanged(s.round_running), s.now);
          break;
        case Step::kStart:
          turns.WatchStarted();
          break;
        case Step::kRoundStarts:
          turns.RoundStarted(s.grid_empty);
          EXPECT_EQ(turns.EventsShown(), !s.grid_empty);
          break;
        case Step::kEvent:
          turns.Event(s.kind);
          break;
        case Step::kTick:
          EXPECT_EQ(turns.Tick(s.round_running), s.next);
          turns.Ticked(s.round_running);
          break;
      }
      EXPECT_EQ(turns.Paused(false), s.paused);
      EXPECT_TRUE(turns.Paused(true));
    }
  }
}

// The strip's account is of the last round that ended, the announcements'
// events since the round before included; a stopped watch hands over a
// search that waited for its round.
TEST(WatchTurns, CountTheLastRoundAndHandOverAWaitingSearch) {
  WatchTurns turns;
  turns.SearchEnded();
  turns.WatchStarted();
  EXPECT_FALSE(turns.RoundEnded());
  EXPECT_EQ(WatchingText(turns.LastRound()), "Watching: 0 new, 0 changed, 0 gone");
  turns.Event(Kind::kGone);  // a byebye between rounds
  turns.RoundStarted(false);
  turns.Ticked(true);
  for (Kind k : {Kind::kFound, Kind::kFound, Kind::kChanged, Kind::kNote}) turns.Event(k);
  EXPECT_EQ(turns.Tick(false), Next::kNothing);
  EXPECT_TRUE(turns.RoundEnded());
  EXPECT_EQ(WatchingText(turns.LastRound()), "Watching: 2 new, 1 changed, 1 gone");
  turns.RoundStarted(false);
  turns.Ticked(true);
  EXPECT_EQ(turns.Tick(false), Next::kNothing);
  EXPECT_EQ(WatchingText(turns.LastRound()), "Watching: 0 new, 0 changed, 0 gone");

  turns.RoundStarted(false);
  turns.Ticked(true);
  EXPECT_FALSE(turns.SearchPressed(true));
  EXPECT_TRUE(turns.WatchStopped());  // the search starts now
  EXPECT_FALSE(turns.SearchWaiting());
  EXPECT_FALSE(turns.WatchStopped());
}

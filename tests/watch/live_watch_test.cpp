// The live watch's one entry point: its timer ticks the watch, the owner's
// hook comes first and may hold the tick, and it is taken down safely with
// a round under way.
#include "watch/live_watch.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include "fake_watch_search.h"
#include "records.h"

namespace {

LiveWatch::Options Quick(FakeClock& clock) {
  LiveWatch::Options options;
  options.watch.interval = std::chrono::seconds(5);
  options.watch.local_networks = [] { return std::vector<LocalNetwork>{}; };
  options.watch.clock = clock.Function();
  options.tick = std::chrono::milliseconds(10);
  return options;
}

}  // namespace

TEST(LiveWatch, TicksTheWatchEachIntervalAfterTheOwnersHook) {
  FakeClock clock;
  auto owned = std::make_unique<FakeWatchSearch>();
  FakeWatchSearch* search = owned.get();
  LiveWatch live(std::move(owned), Quick(clock));
  EXPECT_FALSE(live.HearsAnnouncements());
  EXPECT_EQ(live.AnnouncementsError(), "");
  int hooks = 0;
  bool hold = false;
  live.SetBeforeTick([&] {
    ++hooks;
    return !hold;
  });
  live.Start();
  EXPECT_EQ(search->starts, 0);  // nothing inside Start()
  ASSERT_TRUE(QTest::qWaitFor([&] { return search->starts == 1; }, 5000));  // the first round at once
  std::vector<std::string> events;
  live.Watch().SetOnEvent([&](const DeviceWatch::Event& e) { events.push_back(WatchEventWord(e.kind)); });
  search->Answer({{.listed = {.record = TestDevice("10.0.0.1", "00:00:00:00:00:01", "A")}}});
  EXPECT_EQ(events, std::vector<std::string>{"found"});

  QTest::qWait(50);
  EXPECT_EQ(search->starts, 1);  // the interval has not passed
  hold = true;
  clock.Advance(std::chrono::seconds(5));
  const int before = hooks;
  QTest::qWait(50);
  EXPECT_GT(hooks, before);
  EXPECT_EQ(search->starts, 1);  // held by the owner
  hold = false;
  ASSERT_TRUE(QTest::qWaitFor([&] { return search->starts == 2; }, 5000));
  live.Stop();
  const int stopped = hooks;
  QTest::qWait(50);
  EXPECT_EQ(hooks, stopped);
}

// Taken down with a round under way: the round's late answer reaches
// nothing, and a stopped watch does not tick from the event loop.
TEST(LiveWatch, GoesWithARoundUnderWay) {
  FakeClock clock;
  std::function<void(std::vector<WatchedDevice>)> found;
  std::function<void()> done;
  {
    auto owned = std::make_unique<FakeWatchSearch>();
    FakeWatchSearch* search = owned.get();
    LiveWatch live(std::move(owned), Quick(clock));
    live.Start();
    live.Stop();
    QCoreApplication::processEvents();
    EXPECT_EQ(search->starts, 0);  // stopped before the first tick
    live.Tick();
    ASSERT_EQ(search->starts, 1);
    found = search->found;
    done = search->done;
  }
  found({{.listed = {.record = TestDevice("10.0.0.1", "00:00:00:00:00:01", "A")}}});
  done();
}

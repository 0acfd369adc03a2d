// The live watch over fake rounds: what each round reports, missing rounds,
// announcements, pausing and the round timing.
#include "watch/device_watch.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fake_watch_search.h"
#include "records.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A protocol device named `name`, answered on eth0.
WatchedDevice Cam(const std::string& name, const std::string& ip, const std::string& mac) {
  return {{.record = TestDevice(ip, mac, name), .interface = "eth0"}};
}

WatchedDevice Upnp(const std::string& name, const std::string& ip, const std::string& udn) {
  WatchedDevice d{{.record = MakeRecord({.name = name, .ip = ip, .trigger_port = "80", .mac = "NULL"}),
                   .upnp = true,
                   .udn = udn},
                  "upnp"};
  d.upnp.emplace().unique_device_name = udn;
  d.upnp->description_address = ip;
  return d;
}

struct WatchRig {
  WatchRig() : watch(search, &descriptions, {seconds(5), [] { return std::vector<LocalNetwork>{}; }, clock.Function()}) {
    watch.SetOnEvent([this](const DeviceWatch::Event& e) {
      const DeviceWatch::Entry& entry = watch.Entries()[e.entry];
      std::string text = std::string(WatchEventWord(e.kind)) + " " + std::string(FieldText(entry.device.listed.record.name));
      if (e.kind == DeviceWatch::EventKind::kChanged)
        for (int f : entry.changed_fields) text += std::string(" ") + UnitFieldName(f);
      if (e.kind == DeviceWatch::EventKind::kNote)
        for (const RowNote& n : entry.notes) text += std::string(" ") + NoteWord(n.kind);
      events.push_back(text);
    });
  }
  // Runs one round (the interval has passed) that finds `devices`; returns its events.
  std::vector<std::string> Round(std::vector<WatchedDevice> devices) {
    events.clear();
    clock.Advance(seconds(5));
    watch.Tick();
    EXPECT_TRUE(search.Running());
    search.Answer(std::move(devices));
    return events;
  }
  FakeClock clock;
  FakeWatchSearch search;
  FakeDescriptionRequests descriptions;
  DeviceWatch watch;
  std::vector<std::string> events;
};

struct Watch : ::testing::Test, WatchRig {};

using Events = std::vector<std::string>;

Events Sorted(Events events) {
  std::sort(events.begin(), events.end());
  return events;
}

}  // namespace

TEST_F(Watch, EachRoundReportsWhatChangedSinceTheLast) {
  const WatchedDevice a = Cam("A", "10.0.0.1", "02:00:00:00:00:01");
  const WatchedDevice b = Cam("B", "10.0.0.2", "02:00:00:00:00:0B");
  const WatchedDevice b_moved = Cam("B", "10.0.0.22", "02:00:00:00:00:0B");
  const WatchedDevice b_moved_lower_mac = Cam("B", "10.0.0.22", "02:00:00:00:00:0b");
  const WatchedDevice c_on_a = Cam("C", "10.0.0.1", "02:00:00:00:00:03");  // A's address, another MAC
  struct Case {
    const char* what;
    std::vector<WatchedDevice> round;
    Events events;
  } cases[] = {
      {"the first round finds everything", {a, b}, {"found A", "found B"}},
      {"nothing changed", {b, a}, {}},
      {"B moved: updated in place", {a, b_moved}, {"changed B ip"}},
      {"B missing once", {a}, {}},
      {"B missing twice", {a}, {}},
      {"B back before its third miss, its MAC in lower case: nothing to tell", {a, b_moved_lower_mac}, {}},
      {"B missing 1", {a}, {}},
      {"B missing 2", {a}, {}},
      {"B missing 3: gone", {a}, {"gone B"}},
      {"a gone device stays gone", {a}, {}},
      {"B back at its first address: found again", {a, b}, {"found B"}},
      {"C takes A's address: both get a note",
       {a, b, c_on_a},
       {"found C", "note A address-conflict", "note C address-conflict"}},
      {"C missing 1", {a, b}, {}},
      {"C missing 2", {a, b}, {}},
      {"C missing 3: gone, and A's note with it", {a, b}, {"gone C", "note A"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Round(c.round), c.events) << c.what;
  EXPECT_EQ(search.starts, static_cast<int>(std::size(cases)));
  // The entry of a changed device keeps what it was before.
  const DeviceWatch::Entry& entry_b = watch.Entries()[1];
  EXPECT_EQ(FieldText(entry_b.device.listed.record.ip), "10.0.0.2");
  EXPECT_FALSE(entry_b.before.has_value());  // found again: no change since
  EXPECT_EQ(watch.Entries().size(), 3u);     // A, B and C: nothing listed twice
}

TEST_F(Watch, OneMacAtTwoAddressesIsTwoRows) {
  EXPECT_EQ(Round({Cam("A", "10.0.0.1", "02:00:00:00:00:01"), Cam("A2", "10.0.0.9", "02:00:00:00:00:01")}),
            (Events{"found A", "found A2", "note A seen-twice", "note A2 seen-twice"}));
  // The next round pairs each address with itself, whatever the order.
  EXPECT_EQ(Round({Cam("A2", "10.0.0.9", "02:00:00:00:00:01"), Cam("A", "10.0.0.1", "02:00:00:00:00:01")}), Events{});
}

TEST_F(Watch, AnnouncementsFindAndLoseUpnpDevices) {
  const WatchedDevice u = Upnp("U", "10.0.0.5", "uuid:u");
  EXPECT_EQ(Round({u}), Events{"found U"});
  // ssdp:byebye from any host but the one its description came from is
  // ignored; from that one: gone at once, once.
  EXPECT_FALSE(watch.Byebye("uuid:u", "10.0.0.66"));
  EXPECT_FALSE(watch.Byebye("uuid:u", ""));
  EXPECT_EQ(events, (Events{"found U"}));
  EXPECT_TRUE(watch.Byebye("uuid:u", "10.0.0.5"));
  EXPECT_TRUE(watch.Byebye("uuid:u", "10.0.0.5"));
  EXPECT_TRUE(watch.Byebye("uuid:other", "10.0.0.5"));
  EXPECT_EQ(events, (Events{"found U", "gone U"}));
  // ssdp:alive of a device not listed: its description is asked for once a round.
  watch.Alive("uuid:u", "http://10.0.0.5/d.xml");
  watch.Alive("uuid:u", "http://10.0.0.5/d.xml");
  EXPECT_EQ(descriptions.requests, std::vector<std::string>{"uuid:u http://10.0.0.5/d.xml"});
  events.clear();
  watch.Described(u);
  EXPECT_EQ(events, (Events{"found U"}));
  // A listed device that keeps announcing itself is not missing, even from
  // rounds that do not find it (devices that ignore searches).
  for (int round = 0; round < 4; ++round) {
    watch.Alive("uuid:u", "http://10.0.0.5/d.xml");
    EXPECT_EQ(Round({}), Events{});
  }
  EXPECT_EQ(descriptions.requests.size(), 1u);
  // Unknown devices flooding announcements: a bounded number of requests per round.
  for (int i = 0; i < 100; ++i) watch.Alive("uuid:flood" + std::to_string(i), "http://10.0.0.6/");
  EXPECT_EQ(descriptions.requests.size(), 1 + DeviceWatch::kDescriptionRequestsPerRound);
  // Paused, nothing is asked.
  Round({});
  watch.SetPaused(true);
  watch.Alive("uuid:new", "http://10.0.0.7/");
  EXPECT_EQ(descriptions.requests.size(), 1 + DeviceWatch::kDescriptionRequestsPerRound);
}

TEST_F(Watch, RoundsStartByTheIntervalOneAtATimeAndNotWhilePaused) {
  watch.Tick();  // the first round starts at once
  EXPECT_EQ(search.starts, 1);
  clock.Advance(seconds(60));
  watch.Tick();  // never two at once
  EXPECT_EQ(search.starts, 1);
  EXPECT_TRUE(watch.RoundRunning());
  search.Answer({Cam("A", "10.0.0.1", "02:00:00:00:00:01")});
  EXPECT_FALSE(watch.RoundRunning());
  watch.Tick();  // overdue: the interval counts from the last start
  EXPECT_EQ(search.starts, 2);
  search.Answer({});
  clock.Advance(milliseconds(4999));
  watch.Tick();
  EXPECT_EQ(search.starts, 2);
  clock.Advance(milliseconds(1));
  watch.Tick();
  EXPECT_EQ(search.starts, 3);

  // Paused: a round under way ends and reports; no new one starts.
  watch.SetPaused(true);
  search.Answer({Cam("B", "10.0.0.2", "02:00:00:00:00:02")});
  EXPECT_EQ(events.back(), "found B");
  clock.Advance(seconds(30));
  watch.Tick();
  EXPECT_EQ(search.starts, 3);
  watch.SetPaused(false);
  watch.Tick();
  EXPECT_EQ(search.starts, 4);
  // A pause counts no round as missed: A and B are still listed.
  search.Answer({Cam("A", "10.0.0.1", "02:00:00:00:00:01"), Cam("B", "10.0.0.2", "02:00:00:00:00:02")});
  EXPECT_EQ(watch.RoundsDone(), 4);
}

TEST_F(Watch, NewForAMinuteAndRestartDropsTheRoundUnderWay) {
  Round({Cam("A", "10.0.0.1", "02:00:00:00:00:01")});
  EXPECT_TRUE(watch.IsNew(0));
  clock.Advance(seconds(59));
  EXPECT_TRUE(watch.IsNew(0));
  clock.Advance(seconds(2));
  EXPECT_FALSE(watch.IsNew(0));

  // A full search starts the table afresh; the round under way reports nothing.
  clock.Advance(seconds(5));
  watch.Tick();
  events.clear();
  watch.Restart({Cam("B", "10.0.0.2", "02:00:00:00:00:02")});
  EXPECT_TRUE(watch.RoundRunning());
  search.Answer({Cam("C", "10.0.0.3", "02:00:00:00:00:03")});
  EXPECT_FALSE(watch.RoundRunning());
  EXPECT_EQ(events, Events{});
  ASSERT_EQ(watch.Entries().size(), 1u);
  EXPECT_TRUE(watch.IsNew(0));
  // Rounds then compare with the search's devices.
  EXPECT_EQ(Round({Cam("B", "10.0.0.2", "02:00:00:00:00:02"), Cam("C", "10.0.0.3", "02:00:00:00:00:03")}),
            Events{"found C"});
}

TEST(WatchLifetime, ARoundEndingAfterTheWatchIsGoneDoesNothing) {
  FakeWatchSearch search;
  {
    DeviceWatch watch(search, nullptr, {seconds(5), [] { return std::vector<LocalNetwork>{}; }, nullptr});
    watch.Tick();
  }
  search.Answer({Cam("A", "10.0.0.1", "02:00:00:00:00:01")});
}

// A device that moved keeps its row, found by its MAC, whatever order the
// round's answers came in; also when it moved while a round ran (that round
// heard it at both addresses) and when another device took its old address.
TEST(WatchMoves, AMovedDeviceIsChangedInPlaceInEveryOrderOfTheAnswers) {
  const WatchedDevice a = Cam("A", "10.0.0.1", "02:00:00:00:00:01");
  const WatchedDevice a_moved = Cam("A", "10.0.0.11", "02:00:00:00:00:01");
  const WatchedDevice b = Cam("B", "10.0.0.2", "02:00:00:00:00:02");
  const WatchedDevice c_on_a = Cam("C", "10.0.0.1", "02:00:00:00:00:03");
  struct Round {
    std::vector<WatchedDevice> answers;
    Events events;  // in any order
  };
  struct Case {
    const char* what;
    std::vector<Round> rounds;
    std::size_t entries;  // rows at the end
  } cases[] = {
      {"moved between two rounds",
       {{{a, b}, {"found A", "found B"}}, {{b, a_moved}, {"changed A ip"}}, {{a_moved, b}, {}}},
       2},
      {"moved between two rounds, C at its old address",
       {{{a, b}, {"found A", "found B"}}, {{c_on_a, a_moved, b}, {"changed A ip", "found C"}}},
       3},
      {"moved while a round ran",
       {{{a, b}, {"found A", "found B"}},
        {{a_moved, b, a}, {}},
        {{a_moved, b}, {"changed A ip"}},
        {{a_moved, b}, {}},
        {{a_moved, b}, {}},
        {{a_moved, b}, {}}},
       2},
      {"moved while a round ran, C at its old address",
       {{{a, b}, {"found A", "found B"}},
        {{a_moved, c_on_a, b, a}, {"found C", "note A address-conflict", "note C address-conflict"}},
        {{c_on_a, a_moved, b}, {"changed A ip", "note A", "note C"}}},
       3},
      {"one MAC at two addresses for good: found at the second round that hears both",
       {{{a, b}, {"found A", "found B"}},
        {{a_moved, a, b}, {}},
        {{a, b, a_moved}, {"found A", "note A seen-twice", "note A seen-twice"}},
        {{a_moved, a, b}, {}}},
       3},
  };
  for (const Case& c : cases) {
    for (std::size_t permuted = 0; permuted < c.rounds.size(); ++permuted) {
      std::vector<std::size_t> order(c.rounds[permuted].answers.size());
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
      do {
        WatchRig rig;
        for (std::size_t r = 0; r < c.rounds.size(); ++r) {
          std::vector<WatchedDevice> answers = c.rounds[r].answers;
          if (r == permuted) {
            answers.clear();
            for (std::size_t i : order) answers.push_back(c.rounds[r].answers[i]);
          }
          EXPECT_EQ(Sorted(rig.Round(answers)), Sorted(c.rounds[r].events))
              << c.what << ", round " << r << ", round " << permuted << " in order "
              << ::testing::PrintToString(order);
        }
        EXPECT_EQ(rig.watch.Entries().size(), c.entries) << c.what;
        for (const DeviceWatch::Entry& e : rig.watch.Entries()) EXPECT_FALSE(e.gone) << c.what;
      } while (std::next_permutation(order.begin(), order.end()));
    }
  }
}

// Rounds that could not search (another search held port 6667) miss no
// device: only rounds that searched count towards gone.
TEST_F(Watch, RoundsThatCouldNotSearchMissNoDevice) {
  EXPECT_EQ(Round({Cam("A", "10.0.0.1", "02:00:00:00:00:01")}), Events{"found A"});
  search.searched = false;
  for (int i = 0; i < DeviceWatch::kMissedRoundsForGone + 1; ++i) EXPECT_EQ(Round({}), Events{}) << i;
  search.searched = true;
  for (int i = 1; i < DeviceWatch::kMissedRoundsForGone; ++i) EXPECT_EQ(Round({}), Events{}) << i;
  EXPECT_EQ(Round({}), Events{"gone A"});
}

// The search driver: the mode table, the end of a search and the UPnP
// hand-over.
#include "search/search_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <utility>

#include "fake_search.h"
#include "records.h"
#include "search/firewall_hint.h"

namespace {

struct Driver : ::testing::Test {
  Driver() : exchanges(table, settings) { WriteGridHeadings(table.grid); }
  DeviceTable table;
  SearchSettings settings;
  FakeControls controls;
  FakeExchanges exchanges;
};

std::string Device(const std::string& model, const std::string& ip) {
  return "Zentravox,01," + model + ",P,N," + ip + ",80,255.0.0.0,g,d,0:0:0:0:0:" + ip.substr(ip.size() - 1) + ",D,x";
}

}  // namespace

TEST_F(Driver, ModeTableChoosesTheExchange) {
  SearchDriver driver(table, settings, controls, exchanges, nullptr);
  struct Case {
    bool relay;
    const char* protocol;
    const char* call;
  } cases[] = {{false, "HttpCmd", "udp0"}, {true, "HttpCmd", "http /device.get?DeviceType=ALL"},
               {true, "TCP", "tcp"},       {true, "UDP", "udp2"},
               {true, "tcp", "udp2"},      {true, "httpcmd", "udp2"},
               {true, "", "udp2"}};
  for (const Case& c : cases) {
    settings.ip_relay = c.relay;
    settings.relay_protocol = c.protocol;
    exchanges.calls.clear();
    driver.Start();
    EXPECT_EQ(exchanges.calls, std::vector<std::string>{c.call}) << c.relay << " " << c.protocol;
  }
  settings.project = "NVR";
  settings.relay_protocol = "HttpCmd";
  exchanges.calls.clear();
  driver.Start();
  EXPECT_EQ(exchanges.calls, std::vector<std::string>{"http /device.get?DeviceType=NVR"});
}

TEST_F(Driver, EndsWithADescendingSortCountAndFirstRow) {
  SearchDriver driver(table, settings, controls, exchanges, nullptr);
  exchanges.packets = {Device("B", "10.0.0.1"), Device("C", "10.0.0.2"), Device("A", "10.0.0.3")};
  table.sort_ascending = true;
  table.selected_row = 3;
  driver.Start();
  EXPECT_EQ(controls.captions, (std::vector<std::string>{"Searching...", "Device Search"}));
  EXPECT_TRUE(controls.button_enabled);
  EXPECT_EQ(controls.label, "3 device(s) found!");
  EXPECT_EQ(table.grid.Cell(kModelColumn, 1), "C");
  EXPECT_EQ(table.grid.Cell(kModelColumn, 3), "A");
  EXPECT_FALSE(table.sort_ascending);
  EXPECT_EQ(table.selected_row, 1);
  EXPECT_EQ(table.grid.FixedRows(), 1);

  // A search that finds nothing clears the old rows and leaves one empty row.
  exchanges.packets.clear();
  driver.Start();
  EXPECT_EQ(controls.label, "0 device(s) found!");
  EXPECT_EQ(table.grid.RowCount(), 2);
  EXPECT_EQ(table.grid.Cell(kModelColumn, 1), "");
  EXPECT_EQ(table.grid.Cell(kModelColumn, 0), "Model");
  EXPECT_EQ(table.grid.FixedRows(), 1);
  EXPECT_TRUE(table.devices.Empty());
}

// "ALL" and "UPNP" in any case start the UPnP phase and leave the end of the
// search to its merge; the button stays disabled and a second press does
// nothing until then.
TEST_F(Driver, AllAndUpnpHandTheEndToTheUpnpPhase) {
  FakeUpnp upnp;
  SearchDriver driver(table, settings, controls, exchanges, &upnp);
  bool finished = false;
  driver.SetOnFinished([&] { finished = true; });
  exchanges.packets = {Device("B", "10.0.0.1"), Device("C", "10.0.0.2")};
  for (const char* project : {"ALL", "all", "Upnp"}) {
    settings.project = project;
    finished = false;
    controls.captions.clear();
    driver.Start();
    EXPECT_TRUE(driver.Searching());
    EXPECT_FALSE(finished);
    EXPECT_FALSE(controls.button_enabled);
    EXPECT_EQ(controls.captions, (std::vector<std::string>{"Searching...", "Search Upnp..."}));
    ASSERT_TRUE(upnp.pending);
    driver.Start();  // a second press while searching does nothing
    auto done = std::move(upnp.pending);
    upnp.pending = nullptr;
    done();
    EXPECT_TRUE(finished);
    EXPECT_FALSE(driver.Searching());
    EXPECT_TRUE(controls.button_enabled);
    EXPECT_EQ(controls.button_caption, "Device Search");
    // The intake's project filter is exact: only "ALL" shows both rows.
    EXPECT_EQ(controls.label, std::string(project) == "ALL" ? "2 device(s) found!" : "0 device(s) found!");
  }
  EXPECT_EQ(upnp.starts, 3);
  EXPECT_EQ(exchanges.calls.size(), 3u);

  settings.project = "NVR";
  driver.Start();
  EXPECT_EQ(upnp.starts, 3);
  EXPECT_FALSE(driver.Searching());
}

// When the UPnP phase ends the search the driver neither sorts nor moves
// selected_row.
TEST_F(Driver, NoSortAfterTheUpnpPhase) {
  FakeUpnp upnp;
  SearchDriver driver(table, settings, controls, exchanges, &upnp);
  exchanges.packets = {Device("B", "10.0.0.1"), Device("C", "10.0.0.2")};
  table.selected_row = 2;
  driver.Start();
  EXPECT_EQ(table.grid.Cell(kModelColumn, 1), "B");
  upnp.pending();
  EXPECT_EQ(table.grid.Cell(kModelColumn, 1), "B");
  EXPECT_EQ(table.selected_row, 2);
  EXPECT_EQ(table.grid.FixedRows(), 1);
}

// No interface to broadcast on: the search ends at once, without UPnP, while
// a relay is reached by its route.
TEST_F(Driver, NoInterfaceToBroadcastOnEndsAtOnceWithoutUpnp) {
  FakeUpnp upnp;
  SearchDriver driver(table, settings, controls, exchanges, &upnp);
  exchanges.can_broadcast = false;
  driver.Start();
  EXPECT_EQ(upnp.starts, 0);
  EXPECT_FALSE(driver.Searching());
  EXPECT_EQ(controls.label, "0 device(s) found!");
  EXPECT_EQ(exchanges.calls.back(), "udp0");

  settings.ip_relay = true;
  settings.relay_protocol = "UDP";
  driver.Start();
  EXPECT_EQ(upnp.starts, 1);
  ASSERT_TRUE(upnp.pending);
  upnp.pending();
}

// A local broadcast that heard no answer at all, neither to the broadcast nor
// to the UPnP phase's M-SEARCH, logs the firewall hint once; a search that
// heard anything, or whose answers were not counted, or a relay's does not.
TEST_F(Driver, ABroadcastThatHeardNothingLogsTheFirewallHint) {
  MemoryLog log;
  FakeUpnp upnp;
  SearchDriver driver(table, settings, controls, exchanges, &upnp, &log);
  constexpr std::optional<std::size_t> kUncounted;
  struct Case {
    const char* what;
    bool relay, can_broadcast;
    const char* project;
    std::optional<std::size_t> answers, replies;
    bool hint;
  } cases[] = {
      {"nothing heard", false, true, "ALL", 0, 0, true},
      {"a protocol answer", false, true, "ALL", 1, 0, false},
      {"an SSDP reply", false, true, "ALL", 0, 2, false},
      {"no UPnP phase", false, true, "NVR", 0, kUncounted, true},
      {"answers not counted", false, true, "ALL", kUncounted, 0, false},
      {"replies not counted", false, true, "ALL", 0, kUncounted, false},
      {"a relay", true, true, "ALL", 0, 0, false},
      {"no interface to broadcast on", false, false, "ALL", 0, 0, false},
  };
  for (const Case& c : cases) {
    settings.ip_relay = c.relay;
    settings.relay_protocol = "UDP";
    settings.project = c.project;
    exchanges.can_broadcast = c.can_broadcast;
    exchanges.answers = c.answers;
    upnp.replies = c.replies;
    log.lines.clear();
    driver.Start();
    if (upnp.pending) std::exchange(upnp.pending, nullptr)();
    ASSERT_FALSE(driver.Searching()) << c.what;
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), kFirewallHintLog), c.hint ? 1 : 0) << c.what;
    EXPECT_EQ(driver.HeardNothing(), c.hint) << c.what;
  }
}

// On a terminal the hint is said once in a run, however many searches.
TEST(FirewallHint, IsToldOncePerRun) {
  FirewallHintOnce hint;
  std::ostringstream out;
  EXPECT_TRUE(hint.Tell(out));
  EXPECT_FALSE(hint.Tell(out));
  EXPECT_EQ(out.str(), std::string("device-search: ") + kFirewallHintLog + "\n");
}

// An exchange that found port 6667 held by another search lists nothing,
// not a part: not the answers that reached it anyway, not what the UPnP
// phase found (whose merge it still waits for). The label and the log say
// why, with no firewall hint; the next search starts afresh.
TEST_F(Driver, APortHeldByAnotherSearchListsNothingAndSaysWhy) {
  MemoryLog log;
  FakeUpnp upnp;
  SearchDriver driver(table, settings, controls, exchanges, &upnp, &log);
  bool exchange_said = false;
  driver.SetOnExchangeDone([&] { exchange_said = driver.PortHeld(); });
  exchanges.packets = {Device("B", "10.0.0.1"), Device("C", "10.0.0.2")};
  upnp.replies = 0;
  struct Case {
    const char* what;
    const char* project;  // "ALL": with the UPnP phase
    bool held;
    std::optional<std::size_t> answers;  // heard by the exchange
    const char* label;
    int rows;  // data rows left in the grid
  } cases[] = {
      {"held, no UPnP phase: nothing heard, and still no firewall hint", "NVR", true, 0, kPortHeldLabel, 0},
      {"held, with the UPnP phase", "ALL", true, 0, kPortHeldLabel, 0},
      {"free again", "ALL", false, 2, "3 device(s) found!", 3},
  };
  for (const Case& c : cases) {
    settings.project = c.project;
    exchanges.port_held = c.held;
    exchanges.answers = c.answers;
    log.lines.clear();
    driver.Start();
    EXPECT_EQ(exchange_said, c.held) << c.what;
    if (upnp.pending) {
      AddRow(table, MakeRecord({.model = "Axis 200 Series", .ip = "10.0.0.9", .mac = "NULL"}));
      std::exchange(upnp.pending, nullptr)();
    }
    ASSERT_FALSE(driver.Searching()) << c.what;
    EXPECT_EQ(driver.PortHeld(), c.held) << c.what;
    EXPECT_EQ(controls.label, c.label) << c.what;
    EXPECT_EQ(static_cast<int>(RowsWithText(table.grid).size()), c.rows) << c.what;
    EXPECT_EQ(static_cast<int>(table.devices.Size()), c.rows) << c.what;
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), kPortHeldText), c.held ? 1 : 0) << c.what;
    EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(), kFirewallHintLog), 0) << c.what;
    EXPECT_FALSE(driver.HeardNothing()) << c.what;
    EXPECT_TRUE(controls.button_enabled) << c.what;
  }
}

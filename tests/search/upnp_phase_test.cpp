// A search with its UPnP phase as the window and the command line run it: the
// engine started with the search, the merge after the exchange once the
// engine has signalled, and the driver's end of the search after the merge.
#include "search/engine_upnp_phase.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include "fake_finder.h"
#include "fake_search.h"
#include "upnp/detail_showings.h"

namespace {

std::string Device(const std::string& model, const std::string& proj, int n) {
  const std::string i = std::to_string(n);
  return "Zentravox,01," + model + "," + proj + ",N" + i + ",10.0.0." + i + ",80,255.0.0.0,g,d,0:0:0:0:0:" + i +
         ",D,x";
}

struct UpnpEnd : ::testing::Test {
  UpnpEnd() {
    WriteGridHeadings(table.grid);
    driver.SetOnFinished([this] { finished = true; });
  }
  ~UpnpEnd() override { state->release->Set(); }  // never leave the engine's worker waiting

  // Presses the button and runs the event loop until the search has ended.
  bool Search() {
    finished = false;
    driver.Start();
    return QTest::qWaitFor([this] { return finished; }, 30000);
  }
  UpnpEngine& Engine() { return phase.Engine(); }

  std::shared_ptr<FakeFinderState> state = std::make_shared<FakeFinderState>();
  std::unique_ptr<QObject> owner = std::make_unique<QObject>();
  DeviceTable table;
  SearchSettings settings;
  MemoryLog log;
  FakeControls controls;
  FakeExchanges exchanges{table, settings};
  EngineUpnpPhase phase{owner.get(), table, settings, log,
                        std::make_unique<UpnpEngine>(std::make_unique<FakeFinder>(state))};
  SearchDriver driver{table, settings, controls, exchanges, &phase};
  bool finished = false;
};

// "ALL": the UPnP rows follow the exchange's, unsorted, all of them counted;
// the button is given back and the window may close again.
TEST_F(UpnpEnd, AllAddsTheUpnpRowsAfterTheExchangesAndCountsThem) {
  exchanges.packets = {Device("B", "P1", 1), Device("C", "P1", 2), Device("A", "P1", 3)};
  state->devices = {FakeDevice("AXIS", "Cam", "Cam 1", "http://10.0.0.8:81/"),
                    FakeDevice("AXIS", "Cam", "Cam 2", "http://10.0.0.9/")};
  table.selected_row = 3;
  ASSERT_TRUE(Search());
  EXPECT_EQ(controls.captions, (std::vector<std::string>{"Searching...", "Search Upnp...", "Device Search"}));
  EXPECT_TRUE(controls.button_enabled);
  EXPECT_EQ(controls.label, "5 device(s) found!");
  ASSERT_EQ(table.grid.RowCount(), 6);
  EXPECT_EQ(table.grid.FixedRows(), 1);
  EXPECT_EQ(table.grid.Cell(kModelColumn, 1), "B");  // not sorted
  EXPECT_EQ(table.grid.Cell(kNameColumn, 4), "Cam 1");
  EXPECT_EQ(table.grid.Cell(kPortColumn, 4), "81");
  EXPECT_EQ(table.grid.Cell(kNameColumn, 5), "Cam 2");
  EXPECT_EQ(table.selected_row, 3);
  EXPECT_FALSE(phase.InProgress());
  EXPECT_FALSE(Engine().search_event);
  EXPECT_EQ(Engine().results.size(), 2u);  // kept for the detail dialogs
}

// "UPNP": the exchange's rows give way to the UPnP devices; with none, one
// empty row stays under the heading and nothing is counted.
TEST_F(UpnpEnd, UpnpOnlyReplacesTheExchangesRows) {
  settings.project = "UPNP";
  exchanges.packets = {Device("B", "UPNP", 1), Device("C", "P1", 2)};
  ASSERT_TRUE(Search());
  EXPECT_EQ(table.devices.Size(), 2u);  // the list keeps the exchange's records
  EXPECT_EQ(table.grid.RowCount(), 2);
  EXPECT_EQ(table.grid.RowAt(1), StringGrid::Row{});
  EXPECT_EQ(table.grid.FixedRows(), 1);
  EXPECT_EQ(controls.label, "0 device(s) found!");

  state->devices = {FakeDevice("VIVOTEK INC.", "Door (FD8134)", "", "http://10.0.0.9/")};
  ASSERT_TRUE(Search());
  EXPECT_EQ(table.grid.RowCount(), 2);
  EXPECT_EQ(table.grid.Cell(kNameColumn, 1), "Door ");
  EXPECT_EQ(controls.label, "1 device(s) found!");
}

// The merge waits, off the event loop, until the engine has signalled; an
// engine that refused to start (its owner is gone) is not waited for.
TEST_F(UpnpEnd, MergeWaitsForTheEngineUnlessItRefused) {
  state->hold = true;
  finished = false;
  driver.Start();
  ASSERT_TRUE(state->entered->WaitFor(std::chrono::seconds(10)));
  QTest::qWait(50);  // the event loop runs while the merge waits
  EXPECT_FALSE(finished);
  EXPECT_TRUE(phase.InProgress());
  EXPECT_EQ(controls.button_caption, "Search Upnp...");
  state->release->Set();
  ASSERT_TRUE(QTest::qWaitFor([this] { return finished; }, 30000));
  EXPECT_FALSE(phase.InProgress());

  owner.reset();
  state->release = std::make_unique<SearchEvent>("release");  // a new search would be held
  ASSERT_TRUE(Search());
  EXPECT_EQ(state->calls, 1);
  EXPECT_FALSE(phase.InProgress());
  EXPECT_EQ(controls.label, "0 device(s) found!");
}

// "Detail Info." while the next search's UPnP phase runs: the engine's
// worker empties its results and fills them again meanwhile, so the dialogs
// come only from the last merge's snapshot and from where each record came
// from (under ThreadSanitizer, reading the worker's results would be a race).
TEST_F(UpnpEnd, DetailsDuringTheUpnpPhaseComeFromTheLastMergesSnapshot) {
  exchanges.packets = {Device("B", "P1", 1)};
  state->devices = {FakeDevice("AXIS", "Cam", "Gate", "http://10.0.0.8:81/")};
  ASSERT_TRUE(Search());
  table.selected_row = 2;  // the UPnP row
  std::vector<DetailShowing> shown = DetailShowingsFor(table, phase.Merged());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].kind, DetailShowing::kUpnpInfo);
  EXPECT_EQ(shown[0].upnp.description, "Gate");

  // The next search: a protocol device that sends "NULL" as its MAC, at the
  // address the UPnP device had; the worker is held in the finder, then let
  // go to store many devices while the row's details are asked for.
  exchanges.packets = {"Zentravox,01,M,P1,Nul,10.0.0.8,80,255.0.0.0,g,d,NULL,D,x"};
  state->devices.clear();
  for (int i = 0; i < 300; ++i)
    state->devices.push_back(FakeDevice("AXIS", "Cam", "Other " + std::to_string(i),
                                        "http://10.0." + std::to_string(1 + i / 200) + "." + std::to_string(i % 200) + "/"));
  state->hold = true;
  finished = false;
  driver.Start();
  ASSERT_TRUE(state->entered->WaitFor(std::chrono::seconds(10)));
  table.selected_row = 1;
  state->release->Set();
  int asked = 0;
  QElapsedTimer timer;
  timer.start();
  while (!finished && timer.elapsed() < 30000) {
    std::vector<DetailShowing> during = DetailShowingsFor(table, phase.Merged());
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(during[0].kind, DetailShowing::kUnitInfo);
    EXPECT_STREQ(during[0].unit.name, "Nul");
    ++asked;
    QCoreApplication::processEvents();  // the merge comes through the event loop
  }
  ASSERT_TRUE(finished);
  EXPECT_GT(asked, 0);
  EXPECT_EQ(phase.Merged().size(), 300u);
  table.selected_row = 3;  // the second UPnP row
  shown = DetailShowingsFor(table, phase.Merged());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].upnp.description, "Other 1");
}

// The search's account goes to the log before the merge, and after it the
// rows it added, with each kept device it could not list; the phase counts
// the replies, and the rows keep the interface their devices answered on.
TEST_F(UpnpEnd, AccountOfTheSearchGoesToTheLog) {
  state->account.interfaces = {UpnpInterfaceAccount{"eth0", "10.0.0.100", "", 6668, false, 4, 3}};
  state->devices = {FakeDevice("AXIS", "Cam", "Cam 1", "http://10.0.0.8:81/"),
                    FakeDevice("AXIS", "Bare", "", "http://10.0.0.9"), FakeDevice("Linksys", "Router")};
  state->devices[0].interface = "eth0";
  ASSERT_TRUE(Search());
  EXPECT_EQ(log.lines, (std::vector<std::string>{
                           "UPnP: eth0 (10.0.0.100): 4 M-SEARCHes sent from UDP port 6668, 3 replies",
                           "UPnP: 0 descriptions asked for, 0 read, 0 refused, 0 unfinished when the search ended",
                           "UPnP: 2 kept (AXIS or Vivotek), 1 refused",
                           "UPnP: device refused: \"Router\" by \"Linksys\": neither AXIS nor Vivotek",
                           "UPnP: 1 row added",
                           "UPnP: device not listed: \"Bare\" at \"http://10.0.0.9\": no address in its "
                           "presentation URL, or a Vivotek name without \"(\"",
                       }));
  EXPECT_EQ(phase.RepliesHeard(), std::optional<std::size_t>(3));
  ASSERT_EQ(table.devices.Size(), 1u);
  EXPECT_EQ(table.devices.InterfaceAt(0), "eth0");
}

}  // namespace

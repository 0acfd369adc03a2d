// The live watch applied to the window's table: where a device found while
// watching gets its row.
#include "app/grid_watch.h"

#include <gtest/gtest.h>

#include "fake_watch_search.h"
#include "protocol/device_table.h"
#include "records.h"
#include "upnp/upnp_merge.h"

namespace {

WatchedDevice Device(const std::string& model, const std::string& ip, const std::string& mac) {
  return WatchedDevice{.listed = {.record = MakeRecord({.model = model, .ip = ip, .mac = mac}), .interface = "eth1"}};
}

std::vector<std::string> Models(const DeviceTable& table) {
  std::vector<std::string> models;
  for (int r = 1; r < table.grid.RowCount(); ++r) models.push_back(table.grid.Cell(0, r));
  return models;
}

}  // namespace

// A device found while watching goes after every row, the UPnP merge's
// included, and takes the place of the empty row a search that found
// nothing leaves under the heading.
TEST(GridWatch, AFoundDeviceGoesAfterEveryRowAndNeverOverAnother) {
  struct Case {
    bool protocol_row, upnp_row;
    std::vector<std::string> models;
  };
  const Case cases[] = {
      {true, true, {"A", "Axis 200 Series", "N"}},
      {true, false, {"A", "N"}},
      {false, true, {"", "Axis 200 Series", "N"}},  // the merge keeps the search's empty row
      {false, false, {"N"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.protocol_row << c.upnp_row);
    DeviceTable table;
    table.grid.SetRowCount(2);  // what a search that found nothing leaves
    if (c.protocol_row) {
      const WatchedDevice a = Device("A", "10.0.0.1", "00:00:00:00:00:01");
      table.devices.Append(a.listed.record, "eth1");
      table.grid.SetRow(table.row_counter++, GridRowOf(a.listed.record));
    }
    if (c.upnp_row) {
      DeviceInformationContainer door;
      door.description = "Door";
      door.manufacturer_name = "AXIS";
      door.presentation_url = "http://10.0.0.8/";
      door.unique_device_name = "uuid:a";
      MergeUpnpResults(table, {door}, false, nullptr);
    }
    RowMarks marks(table);
    GridWatch grid_watch(table, marks);
    FakeWatchSearch search;
    FakeClock clock;
    DeviceWatch watch(search, nullptr, {std::chrono::seconds(5), [] { return std::vector<LocalNetwork>{}; },
                                        clock.Function()});
    watch.SetOnEvent([&](const DeviceWatch::Event& e) { grid_watch.Apply(watch, e, {}); });
    watch.Restart(grid_watch.Restart(RecordOrigins{}));
    clock.Advance(std::chrono::seconds(5));
    watch.Tick();
    search.Answer({Device("N", "10.0.0.9", "00:00:00:00:00:09")});
    EXPECT_EQ(Models(table), c.models);
  }
}

// The row filter: which rows a text shows, ignoring case in any column and
// in the interface a device answered on, and the count label it makes.
#include "app/row_filter.h"

#include <gtest/gtest.h>

#include "records.h"

namespace {

DeviceTable ThreeDevices() {
  DeviceTable t;
  WriteGridHeadings(t.grid);
  AddRow(t, MakeRecord({.model = "NVR-8", .name = "Lobby", .ip = "10.0.0.1", .mac = "00:aa"}), "eth0");
  AddRow(t, MakeRecord({.model = "Cam", .name = "Caf\xe9 entrance", .ip = "10.0.0.2", .mac = "00:bb"}), "wlan1");
  AddRow(t, MakeRecord({.model = "Axis 200 Series", .name = "Gate", .ip = "10.0.0.3", .mac = "NULL"}));
  return t;
}

}  // namespace

TEST(RowFilter, ShowsRowsWithTheTextInAnyCellOrTheirInterface) {
  DeviceTable t = ThreeDevices();
  RowFilter filter;
  EXPECT_FALSE(filter.Active());
  EXPECT_EQ(filter.ShownRows(t), (std::vector<int>{1, 2, 3}));

  filter.SetText("lobby");  // case does not matter
  EXPECT_TRUE(filter.Active());
  EXPECT_EQ(filter.ShownRows(t), std::vector<int>{1});
  filter.SetText("10.0.0.");
  EXPECT_EQ(filter.ShownRows(t), (std::vector<int>{1, 2, 3}));
  filter.SetText("null");  // the UPnP row's "NULL" Mac
  EXPECT_EQ(filter.ShownRows(t), std::vector<int>{3});
  filter.SetText("WLAN");  // the interface, which no cell shows
  EXPECT_EQ(filter.ShownRows(t), std::vector<int>{2});
  filter.SetText("CAF\xc3\x89");  // typed in UTF-8, the device sent Latin-1
  EXPECT_EQ(filter.ShownRows(t), std::vector<int>{2});
  filter.SetText("nothing like it");
  EXPECT_TRUE(filter.ShownRows(t).empty());

  // Blanks around the text are not part of it; blanks alone filter nothing.
  filter.SetText("  gate ");
  EXPECT_EQ(filter.ShownRows(t), std::vector<int>{3});
  filter.SetText("   ");
  EXPECT_FALSE(filter.Active());

  // A row beyond the grid's rows is never asked for; an empty row under the
  // heading (nothing found) shows only without a filter.
  DeviceTable empty;
  WriteGridHeadings(empty.grid);
  EXPECT_EQ(RowFilter().ShownRows(empty), std::vector<int>{1});
  filter.SetText("x");
  EXPECT_TRUE(filter.ShownRows(empty).empty());
}

// An answer is remembered while the row's cells stay the same: a changed
// row (a sort, a new search) is read again; Forget() reads the interfaces
// again.
TEST(RowFilter, RemembersAnswersOnlyWhileARowStaysTheSame) {
  DeviceTable t = ThreeDevices();
  RowFilter filter;
  filter.SetText("gate");
  EXPECT_EQ(filter.ShownRows(t), std::vector<int>{3});
  t.grid.SetCell(2, 1, "Gate 2");  // row 1 now matches
  t.grid.SetCell(2, 3, "Yard");    // row 3 no more
  EXPECT_EQ(filter.ShownRows(t), std::vector<int>{1});

  filter.SetText("eth9");
  EXPECT_TRUE(filter.ShownRows(t).empty());
  t.devices.Clear();  // the same cells, now answered on eth9
  t.devices.Append(MakeRecord({.model = "NVR-8", .name = "Lobby", .ip = "10.0.0.1", .mac = "00:aa"}), "eth9");
  t.grid.SetCell(2, 1, "Lobby");
  filter.Forget();
  EXPECT_EQ(filter.ShownRows(t), std::vector<int>{1});
}

TEST(RowFilter, CountLabelNamesShownAndFoundWhileFiltering) {
  RowFilter filter;
  EXPECT_EQ(CountLabelText(filter, "3 device(s) found!", 3, 3), "3 device(s) found!");
  filter.SetText("cam");
  EXPECT_EQ(CountLabelText(filter, "3 device(s) found!", 1, 3), "1 of 3 device(s) shown");
  EXPECT_EQ(CountLabelText(filter, "0 device(s) found!", 0, 0), "0 of 0 device(s) shown");
}

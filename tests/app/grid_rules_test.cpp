// Grid rules: the sort, selection, popup state and Browse.
#include "app/grid_rules.h"

#include <gtest/gtest.h>

#include <QLocale>

#include "search/grid_sort.h"

namespace {

DeviceTable TableWithModels(const std::vector<std::string>& models) {
  DeviceTable t;
  WriteGridHeadings(t.grid);
  int r = 1;
  for (const std::string& m : models) {
    std::string n = std::to_string(r);
    t.grid.SetRow(r, {m, "P", "N" + n, "10.0.0." + n, "80", "255.0.0.0", ""});
    ++r;
  }
  t.grid.SetRowCount(r < 2 ? 2 : r);
  return t;
}

std::vector<std::string> Column(const DeviceTable& t, int col) {
  std::vector<std::string> out;
  for (int r = 1; r < t.grid.RowCount(); ++r) out.push_back(t.grid.Cell(col, r));
  return out;
}

}  // namespace

TEST(GridSort, FirstClickDescendsThenAscendsAndReversesExactly) {
  DeviceTable t = TableWithModels({"b", "A", "c", "a"});
  ASSERT_TRUE(t.sort_ascending);
  ASSERT_TRUE(HeadingClick(t, 0, 0, true));
  EXPECT_FALSE(t.sort_ascending);
  std::vector<std::string> descending = Column(t, 0);
  EXPECT_EQ(descending[0], "c");
  EXPECT_EQ(descending[3].size(), 1u);
  ASSERT_TRUE(HeadingClick(t, 0, 0, true));
  std::vector<std::string> ascending = Column(t, 0);
  // Ties ("A" and "a") are ordered by the whole row, and the descending order
  // is the exact reverse of the ascending one.
  std::vector<std::string> reversed(descending.rbegin(), descending.rend());
  EXPECT_EQ(ascending, reversed);
  EXPECT_EQ(ascending[2], "b");
  for (int r = 1; r < t.grid.RowCount(); ++r) {
    EXPECT_EQ(t.grid.Cell(kNameColumn, r).substr(1), t.grid.Cell(kIpColumn, r).substr(7)) << "row " << r << " moved in parts";
  }
  // Right button and data rows do nothing.
  EXPECT_FALSE(HeadingClick(t, 0, 0, false));
  EXPECT_FALSE(HeadingClick(t, 0, 2, true));
  EXPECT_TRUE(t.sort_ascending);
}

TEST(GridSort, CollationIsCaseInsensitiveWithAtFirstInEveryLocale) {
  for (const char* locale : {"en_US", "C"}) {
    DeviceTable t = TableWithModels({"Cam2", "cam", "192.168.0.9", "192.168.0.10", "", "B", "a@x"});
    t.sort_ascending = true;
    SortGridByColumnInLocale(t, 0, locale);
    EXPECT_EQ(Column(t, 0), (std::vector<std::string>{"", "192.168.0.10", "192.168.0.9", "a@x", "B", "cam", "Cam2"}))
        << "locale " << locale;
  }
}

TEST(GridSort, FewRowsMoveNothingButFixTheHeading) {
  DeviceTable t = TableWithModels({});
  t.grid.SetRowCount(1);
  t.grid.SetFixedRows(0);
  EXPECT_TRUE(HeadingClick(t, 3, 0, true));
  EXPECT_FALSE(t.sort_ascending);
  EXPECT_EQ(t.grid.RowCount(), 2);
  EXPECT_EQ(t.grid.FixedRows(), 1);
  DeviceTable one = TableWithModels({"x"});
  SortGridByColumn(one, 0);
  EXPECT_EQ(one.grid.Cell(kModelColumn, 1), "x");
}

TEST(GridRules, SelectingADataRowLogsItAndTheHeadingDetachesThePopup) {
  DeviceTable t = TableWithModels({"x", "y"});
  MemoryLog log;
  EXPECT_TRUE(SelectGridCell(t, 2, 2, log));
  EXPECT_EQ(t.selected_row, 2);
  EXPECT_EQ(log.lines, std::vector<std::string>{"ARow(2) ACol(2) IP(10.0.0.2)\n"});
  EXPECT_FALSE(SelectGridCell(t, 1, 0, log));  // the heading detaches the popup
  EXPECT_EQ(t.selected_row, 2);
  EXPECT_EQ(log.lines.size(), 1u);
}

TEST(GridRules, PointerIsAHandOverTheDataRowsIpCells) {
  EXPECT_TRUE(IsHandCell(kIpColumn, 1));
  EXPECT_FALSE(IsHandCell(kIpColumn, 0));
  EXPECT_FALSE(IsHandCell(kNameColumn, 1));
}

TEST(GridRules, NetworkSetupIsDisabledForANullNetmask) {
  DeviceTable t = TableWithModels({"x", "y"});
  t.selected_row = 2;
  EXPECT_TRUE(NetworkSetupEnabled(t));
  t.grid.SetCell(kNetmaskColumn, 2, "NULL");
  EXPECT_FALSE(NetworkSetupEnabled(t));
  t.grid.SetCell(kNetmaskColumn, 2, "xNULLx");
  EXPECT_FALSE(NetworkSetupEnabled(t));
  t.grid.SetCell(kNetmaskColumn, 2, "null");
  EXPECT_TRUE(NetworkSetupEnabled(t));
  t.selected_row = 9;  // beyond the last row reads as empty
  EXPECT_TRUE(NetworkSetupEnabled(t));
}

TEST(GridRules, BrowseOpensTheRecordsAddressAndPort) {
  DeviceTable t;
  auto add = [&](const char* ip, const char* port, const char* mac, int row) {
    tComUnitInfo info{};
    SetField(info.ip, ip);
    SetField(info.trigger_port, port);
    SetField(info.mac, mac);
    t.devices.Append(info);
    t.grid.SetRow(row, GridRowOf(info));
  };
  add("192.168.0.20", "8080", "m:1", 1);
  add("192.168.0.21", "", "m:2", 2);
  add("192.168.0.22", "abc", "m:3", 3);
  t.grid.SetRowCount(4);
  t.selected_row = 1;
  EXPECT_EQ(BrowseUrl(t), "http://192.168.0.20:8080");
  t.selected_row = 2;
  EXPECT_EQ(BrowseUrl(t), "http://192.168.0.21:80");
  t.selected_row = 3;
  EXPECT_EQ(BrowseUrl(t), "http://192.168.0.22:80");
  t.grid.SetCell(kMacColumn, 3, "M:3");  // the comparison is case-sensitive
  EXPECT_EQ(BrowseUrl(t), std::nullopt);
  t.selected_row = 4;
  EXPECT_EQ(BrowseUrl(t), std::nullopt);
}

TEST(GridRules, RowTooltipNamesTheInterfaceTheDeviceAnsweredOn) {
  DeviceTable t;
  tComUnitInfo a{}, b{};
  SetField(a.ip, "10.0.0.1");
  SetField(a.mac, "m:1");
  SetField(b.ip, "10.0.0.2");
  SetField(b.mac, "NULL");
  t.devices.Append(a, "eth1");
  t.devices.Append(b);  // found by UPnP: no interface
  t.grid.SetRow(1, GridRowOf(b));
  t.grid.SetRow(2, GridRowOf(a));
  t.grid.SetRowCount(3);
  EXPECT_EQ(RowInterfaceTip(t, 2), "Answered on eth1");
  EXPECT_EQ(RowInterfaceTip(t, 1), "");
  EXPECT_EQ(RowInterfaceTip(t, 0), "");  // the heading
  EXPECT_EQ(RowInterfaceTip(t, 3), "");  // beyond the grid
}

TEST(GridRules, SelectionSetupTakesTheSelectedProtocolRowsInGridOrder) {
  DeviceTable t;
  WriteGridHeadings(t.grid);
  t.grid.SetRowCount(1);
  auto add = [&](const char* ip, const char* netmask, const char* mac, const char* interface) {
    tComUnitInfo info{};
    SetField(info.ip, ip);
    SetField(info.netmask, netmask);
    SetField(info.mac, mac);
    t.devices.Append(info, interface);
    const int row = t.grid.RowCount();
    t.grid.SetRowCount(row + 1);
    t.grid.SetRow(row, GridRowOf(info));
  };
  add("10.0.0.1", "255.0.0.0", "0:0:0:0:0:1", "eth0");  // row 1
  add("10.0.0.2", "NULL", "NULL", "");                    // row 2: found by UPnP
  add("10.0.0.3", "255.0.0.0", "0:0:0:0:0:3", "eth1");  // row 3
  add("10.0.0.4", "255.0.0.0", "NULL", "");               // row 4: "NULL" in Mac only
  t.grid.SetRowCount(6);                                  // row 5: empty, names no record

  std::vector<PlanDevice> devices = SelectedProtocolDevices(t, {3, 5, 2, 1, 4, 3, 9, 0});
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_STREQ(devices[0].record.ip, "10.0.0.1");
  EXPECT_EQ(devices[0].interface, "eth0");
  EXPECT_STREQ(devices[1].record.ip, "10.0.0.3");
  EXPECT_EQ(devices[1].interface, "eth1");
  EXPECT_TRUE(SelectionSetupEnabled(t, {1, 3}));
  EXPECT_FALSE(SelectionSetupEnabled(t, {1, 2, 4, 5}));  // one protocol row
  EXPECT_FALSE(SelectionSetupEnabled(t, {3}));
  EXPECT_FALSE(SelectionSetupEnabled(t, {}));
}

// Grid rules: the sort, selection, popup state and Browse.
#include "app/grid_rules.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <QLocale>

#include "protocol/string_printf.h"
#include "records.h"
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

// Where the record came from decides, not the texts a device sent.
TEST(GridRules, NetworkSetupIsDisabledForUpnpRowsOnly) {
  DeviceTable t;
  AddRow(t, MakeRecord({.ip = "10.0.0.1", .netmask = "255.0.0.0", .mac = "00:01"}));
  AddUpnpRow(t, MakeRecord({.ip = "10.0.0.2", .netmask = "NULL", .mac = "NULL"}), 0);
  AddRow(t, MakeRecord({.ip = "10.0.0.3", .netmask = "NULL", .mac = "NULL:::::"}));  // a device's own texts
  const std::vector<bool> enabled_by_row = {true, true, false, true, true};  // rows 0..4; 4 beyond the grid
  for (int row = 0; row < 5; ++row) {
    t.selected_row = row;
    EXPECT_EQ(NetworkSetupEnabled(t), enabled_by_row[static_cast<std::size_t>(row)]) << row;
  }
}

TEST(GridRules, BrowseOpensOnlyADottedQuadWithAPortInRange) {
  struct Case {
    const char* ip;
    const char* port;
    const char* url;  // null: nothing opens and the log says why
  } cases[] = {
      {"192.168.0.20", "8080", "http://192.168.0.20:8080"},
      {"192.168.0.21", "", "http://192.168.0.21:80"},     // empty: 80
      {"192.168.0.22", "abc", "http://192.168.0.22:80"},  // not a number: 80
      {"192.168.0.23", "1", "http://192.168.0.23:1"},
      {"192.168.0.24", "65535", "http://192.168.0.24:65535"},
      {"1 @evil.example", "80", nullptr},  // inet_addr reads 1.0.0.0; the URL's host would be evil.example
      {"10.0.0.1 ", "80", nullptr},
      {"010.0.0.1", "80", nullptr},   // octal to inet_addr: another host
      {"10.0.1", "80", nullptr},      // a short form
      {"cam.local", "80", nullptr},
      {"", "80", nullptr},
      {"10.0.0.1", "0", nullptr},
      {"10.0.0.1", "70000", nullptr},
      {"10.0.0.1", "-80", nullptr},
      {"10.0.0.1", "9999999", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ip) + " port " + c.port);
    DeviceTable t;
    AddRow(t, MakeRecord({.ip = c.ip, .trigger_port = c.port, .mac = "m:1"}));
    t.selected_row = 1;
    MemoryLog log;
    std::optional<QUrl> url = BrowseUrl(t, log);
    if (c.url != nullptr) {
      ASSERT_TRUE(url.has_value());
      EXPECT_EQ(url->toString().toStdString(), c.url);
      EXPECT_TRUE(log.lines.empty());
    } else {
      EXPECT_FALSE(url.has_value()) << url->toString().toStdString();
      EXPECT_EQ(log.lines, std::vector<std::string>{StringPrintf(kBrowseRefusedLog, c.ip, c.port)});
    }
  }
}

TEST(GridRules, BrowseFindsTheRowsRecordOrDoesNothingQuietly) {
  DeviceTable t;
  MemoryLog log;
  AddRow(t, MakeRecord({.ip = "192.168.0.20", .trigger_port = "8080", .mac = "m:1"}));
  AddUpnpRow(t, MakeRecord({.ip = "10.0.0.8", .trigger_port = "81", .mac = "NULL"}), 0);  // browses alike
  t.selected_row = 2;
  EXPECT_EQ(BrowseUrl(t, log), QUrl("http://10.0.0.8:81"));
  t.grid.SetCell(kMacColumn, 1, "M:1");  // the comparison is case-sensitive: no record
  t.selected_row = 1;
  EXPECT_EQ(BrowseUrl(t, log), std::nullopt);
  t.selected_row = 3;  // beyond the grid
  EXPECT_EQ(BrowseUrl(t, log), std::nullopt);
  EXPECT_TRUE(log.lines.empty());
}

TEST(GridRules, RowTooltipNamesTheInterfaceAndAddressTheDeviceAnsweredOn) {
  DeviceTable t;
  AddUpnpRow(t, MakeRecord({.ip = "10.0.0.2", .mac = "NULL"}), 0);  // found by UPnP: no interface
  t.devices.Append(MakeRecord({.ip = "10.0.0.1", .mac = "m:1"}), "eth1", inet_addr("192.168.0.1"));
  ShowRow(t, t.devices.At(1));
  AddRow(t, MakeRecord({.ip = "10.0.0.3", .mac = "m:3"}), "eth2");  // by broadcast: no address
  EXPECT_EQ(RowInterfaceTip(t, 2), "Answered on eth1 at 192.168.0.1");
  EXPECT_EQ(RowInterfaceTip(t, 3), "Answered on eth2");
  EXPECT_EQ(RowInterfaceTip(t, 1), "");
  EXPECT_EQ(RowInterfaceTip(t, 0), "");  // the heading
  EXPECT_EQ(RowInterfaceTip(t, 4), "");  // beyond the grid
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
  AddUpnpRow(t, MakeRecord({.ip = "10.0.0.2", .netmask = "NULL", .mac = "NULL"}), 0);  // row 2: found by UPnP
  add("10.0.0.3", "255.0.0.0", "0:0:0:0:0:3", "eth1");  // row 3
  add("10.0.0.4", "NULL", "NULL", "eth1");               // row 4: a device's own "NULL" texts
  t.grid.SetRowCount(6);                                  // row 5: empty, names no record

  std::vector<PlanDevice> devices = SelectedProtocolDevices(t, {3, 5, 2, 1, 4, 3, 9, 0});
  ASSERT_EQ(devices.size(), 3u);
  EXPECT_STREQ(devices[0].record.ip, "10.0.0.1");
  EXPECT_EQ(devices[0].interface, "eth0");
  EXPECT_STREQ(devices[1].record.ip, "10.0.0.3");
  EXPECT_EQ(devices[1].interface, "eth1");
  EXPECT_STREQ(devices[2].record.ip, "10.0.0.4");
  EXPECT_TRUE(SelectionSetupEnabled(t, {1, 3}));
  EXPECT_FALSE(SelectionSetupEnabled(t, {1, 2, 5}));  // one protocol row
  EXPECT_FALSE(SelectionSetupEnabled(t, {3}));
  EXPECT_FALSE(SelectionSetupEnabled(t, {}));
}

// The grid after a verification search: rows show what was found, matched
// by MAC, with the device list's index kept; planned devices not found are
// marked; other rows and rows found by UPnP stay as they were.
#include "netsetup/verified_rows.h"

#include <gtest/gtest.h>

#include "records.h"

namespace {

std::string Mac(int n) { return "02:4B:44:00:00:0" + std::to_string(n); }

std::string Ips(const DeviceTable& table) {
  std::string ips;
  for (int row = 1; row < table.grid.RowCount(); ++row) ips += (row > 1 ? " " : "") + table.grid.Cell(kIpColumn, row);
  return ips;
}

PlanDevice Found(const std::string& ip, int n, const std::string& interface = "eth0") {
  tComUnitInfo record = TestDevice(ip, Mac(n));
  SetField(record.gateway, "10.0.0.254");
  return {record, interface};
}

}  // namespace

TEST(VerifiedRows, RowsShowWhatTheSearchFoundAndPlannedDevicesNotFoundAreMarked) {
  DeviceTable table;
  for (int n = 1; n <= 5; ++n) AddRow(table, TestDevice("10.0.0." + std::to_string(n + 4), Mac(n)), "eth0");
  AddRow(table, MakeRecord({.model = "AXIS", .ip = "10.0.0.10", .netmask = "NULL", .mac = "NULL"}));
  ASSERT_EQ(Ips(table), "10.0.0.5 10.0.0.6 10.0.0.7 10.0.0.8 10.0.0.9 10.0.0.10");

  // The first two swap addresses, the third is not found; the fourth, not
  // planned, answers elsewhere on eth1; the fifth, not planned, is silent.
  const ReaddressPlan plan = CsvPlan(Mac(1) + ",10.0.0.6,255.255.255.0,10.0.0.254,192.168.0.2\n" + Mac(2) +
                                         ",10.0.0.5,255.255.255.0,10.0.0.254,192.168.0.2\n" + Mac(3) +
                                         ",10.0.0.70,255.255.255.0,10.0.0.254,192.168.0.2\n",
                                     PlanDevicesOf(table.devices), {});
  ASSERT_FALSE(plan.Refused()) << plan.refusals.front();
  // The first device also still answers at its old address: the answer at
  // its new settings is the one shown.
  const std::vector<PlanDevice> found = {{TestDevice("10.0.0.5", Mac(1)), "eth0"}, Found("10.0.0.5", 2),
                                         Found("10.0.0.6", 1), Found("10.0.0.88", 4, "eth1")};
  VerifiedRows rows;
  EXPECT_EQ(rows.Apply(table, plan, VerifyPlan(plan, found, {}), found), 3);
  EXPECT_EQ(Ips(table), "10.0.0.6 10.0.0.5 10.0.0.7 10.0.0.88 10.0.0.9 10.0.0.10");
  EXPECT_EQ(table.grid.RowAt(1), GridRowOf(found[2].record));
  EXPECT_EQ(table.grid.Cell(kMacColumn, 6), "NULL");

  // The device list follows, index included: each row names its new record.
  EXPECT_EQ(table.devices.Size(), 6u);
  EXPECT_EQ(table.devices.FindFirst("10.0.0.5", Mac(1)), nullptr);
  ASSERT_NE(FirstRecordOfRow(table, 1), nullptr);
  EXPECT_EQ(FieldText(FirstRecordOfRow(table, 1)->gateway), "10.0.0.254");
  EXPECT_EQ(FirstRecordOfRow(table, 2), table.devices.FindFirst("10.0.0.5", Mac(2)));
  EXPECT_EQ(table.devices.InterfaceOf(FirstRecordOfRow(table, 4)), "eth1");

  // Only the planned device that was not found is marked, until cleared.
  for (int row = 1; row <= 6; ++row) EXPECT_EQ(rows.Tip(table, row), row == 3 ? kNotConfirmedTip : "") << row;
  rows.Clear();
  EXPECT_EQ(rows.Tip(table, 3), "");

  // Applied again with nothing new, nothing changes.
  EXPECT_EQ(rows.Apply(table, plan, VerifyPlan(plan, found, {}), found), 0);
}

// Reply intake: duplicates, the project filter, several packets per answer
// and the end of the walk; plus the device list's index.
#include "protocol/intake.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/string_printf.h"

namespace {

// A decoded answer: the packet texts one after the other, each with its zero.
std::vector<unsigned char> Answer(const std::vector<std::string>& packets) {
  std::vector<unsigned char> buf(65536, 0);
  std::size_t at = 0;
  for (const std::string& p : packets) {
    std::copy(p.begin(), p.end(), buf.begin() + static_cast<long>(at));
    at += p.size() + 1;
  }
  return buf;
}

std::string Device(const std::string& proj, const std::string& ip, const std::string& mac,
                   const std::string& model = "M") {
  return "Zentravox,01," + model + "," + proj + ",N," + ip + ",80,255.255.255.0,g,d," + mac + ",D,x";
}

struct Intake : ::testing::Test {
  int Feed(const std::vector<std::string>& packets, std::size_t bound = 65536) {
    std::vector<unsigned char> buf = Answer(packets);
    return ParserPlainPkg(table, settings, log, buf.data(), buf.size(), bound);
  }
  DeviceTable table;
  SearchSettings settings;
  MemoryLog log;
};

}  // namespace

TEST_F(Intake, DuplicatesByAddressAndMacOnly) {
  const std::string mac1 = "00:00:00:00:00:01", mac2 = "00:00:00:00:00:02";
  EXPECT_EQ(Feed({Device("P", "10.0.0.1", mac1)}), 1);
  EXPECT_EQ(Feed({Device("P", "10.0.0.1", mac1, "Other")}), 0);  // second pass
  EXPECT_EQ(Feed({Device("P", "10.0.0.1", mac2)}), 1);            // same ip, other mac
  EXPECT_EQ(Feed({Device("P", "10.0.0.2", mac1)}), 1);            // same mac, other ip
  EXPECT_EQ(table.devices.Size(), 3u);
  EXPECT_EQ(table.row_counter, 4);
  EXPECT_EQ(table.grid.RowCount(), 4);
  EXPECT_EQ(table.grid.Cell(kModelColumn, 1), "M");  // the earlier record is not updated
  EXPECT_EQ(table.grid.Cell(kMacColumn, 3), mac1);
  EXPECT_EQ(table.grid.Cell(kIpColumn, 3), "10.0.0.2");
}

TEST_F(Intake, ProjectFilterHidesButKeepsTheRecord) {
  settings.project = "P1";
  EXPECT_EQ(Feed({Device("P2", "10.0.0.1", "a:b:c:d:e:f"), Device("P1", "10.0.0.2", "a:b:c:d:e:f"),
                  Device("p1", "10.0.0.3", "a:b:c:d:e:f")}),
            3);
  EXPECT_EQ(table.devices.Size(), 3u);
  EXPECT_EQ(table.row_counter, 2);
  EXPECT_EQ(table.grid.Cell(kIpColumn, 1), "10.0.0.2");
  // Its answer to the second pass is a duplicate too.
  EXPECT_EQ(Feed({Device("P2", "10.0.0.1", "a:b:c:d:e:f")}), 0);
  EXPECT_EQ(ProjectFilter("ALL", "anything"), 0);
  EXPECT_EQ(ProjectFilter("all", "x"), -1);
}

TEST_F(Intake, WalksPacketsInOrderAndStopsAtAnEmptyText) {
  EXPECT_EQ(Feed({Device("P", "10.0.0.1", "a:b:c:d:e:1"), "Zentravox,00,????",
                  Device("P", "10.0.0.2", "a:b:c:d:e:2"), "garbage",
                  Device("P", "10.0.0.3", "a:b:c:d:e:3"), "", Device("P", "10.0.0.4", "a:b:c:d:e:4")}),
            3);
  EXPECT_EQ(table.grid.Cell(kIpColumn, 1), "10.0.0.1");
  EXPECT_EQ(table.grid.Cell(kIpColumn, 3), "10.0.0.3");
  EXPECT_TRUE(log.lines.empty());
  // The bound ends the walk too.
  table = DeviceTable{};
  std::string first = Device("P", "10.0.0.1", "a:b:c:d:e:1");
  EXPECT_EQ(Feed({first, Device("P", "10.0.0.2", "a:b:c:d:e:2")}, first.size()), 1);
}

TEST_F(Intake, EmptyAddressAndMacIsARecordAndItsOwnDuplicate) {
  EXPECT_EQ(Feed({"Zentravox,01,M,P,N", "Zentravox,01,M2,P,N"}), 1);
  EXPECT_EQ(table.devices.Size(), 1u);
}

TEST_F(Intake, TextRunningToTheBufferEndIsReadNoFurther) {
  std::string text = Device("P", "10.0.0.1", "a:b:c:d:e:f");
  std::vector<unsigned char> buf(text.begin(), text.end());  // no zero byte at all
  EXPECT_EQ(ParserPlainPkg(table, settings, log, buf.data(), buf.size(), 65536), 1);
  EXPECT_EQ(FieldText(table.devices.At(0).note), "x");
}

TEST(DeviceList, FindsRecordsByAddressAndMac) {
  DeviceList list;
  tComUnitInfo a{}, b{};
  SetField(a.ip, "10.0.0.1");
  SetField(a.mac, "NULL");
  SetField(a.model, "first");
  b = a;
  SetField(b.model, "second");
  list.Append(a);
  list.Append(b);
  EXPECT_EQ(FieldText(list.FindFirst("10.0.0.1", "NULL")->model), "first");
  EXPECT_EQ(list.FindAll("10.0.0.1", "NULL").size(), 2u);
  EXPECT_EQ(list.FindFirst("10.0.0.1", "null"), nullptr);
  // A record replaced in place is found by its new address only, in its place.
  tComUnitInfo moved = a;
  SetField(moved.ip, "10.0.0.9");
  list.Replace(0, moved);
  EXPECT_EQ(FieldText(list.FindFirst("10.0.0.1", "NULL")->model), "second");
  EXPECT_EQ(list.FindFirst("10.0.0.9", "NULL"), &list.At(0));
  list.Replace(0, a);
  EXPECT_EQ(FieldText(list.FindFirst("10.0.0.1", "NULL")->model), "first");
  EXPECT_EQ(list.FindFirst("10.0.0.9", "NULL"), nullptr);
  list.RemoveLast();
  EXPECT_EQ(list.FindAll("10.0.0.1", "NULL").size(), 1u);
  list.RemoveLast();
  EXPECT_EQ(list.FindFirst("10.0.0.1", "NULL"), nullptr);
}

TEST_F(Intake, KeepsTheInterfaceBesideEachNewRecordAndLogsIt) {
  std::vector<unsigned char> buf = Answer({Device("P", "10.0.0.1", "0:0:0:0:0:1"), Device("P", "10.0.0.2", "0:0:0:0:0:2")});
  EXPECT_EQ(ParserPlainPkg(table, settings, log, buf.data(), buf.size(), 65536, "eth1"), 2);
  // The same device answering on another interface is its duplicate.
  buf = Answer({Device("P", "10.0.0.2", "0:0:0:0:0:2"), Device("P", "10.0.0.3", "0:0:0:0:0:3")});
  EXPECT_EQ(ParserPlainPkg(table, settings, log, buf.data(), buf.size(), 65536, "wlan0"), 1);
  EXPECT_EQ(Feed({Device("P", "10.0.0.4", "0:0:0:0:0:4")}), 1);  // interface unknown (a TCP relay)
  ASSERT_EQ(table.devices.Size(), 4u);
  EXPECT_EQ(table.devices.InterfaceAt(0), "eth1");
  EXPECT_EQ(table.devices.InterfaceAt(1), "eth1");
  EXPECT_EQ(table.devices.InterfaceAt(2), "wlan0");
  EXPECT_EQ(table.devices.InterfaceAt(3), "");
  const tComUnitInfo* third = table.devices.FindFirst("10.0.0.3", "0:0:0:0:0:3");
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(table.devices.InterfaceOf(third), "wlan0");
  EXPECT_EQ(log.lines, (std::vector<std::string>{StringPrintf(kAnsweredOnLog, "10.0.0.1", "0:0:0:0:0:1", "eth1"),
                                                 StringPrintf(kAnsweredOnLog, "10.0.0.2", "0:0:0:0:0:2", "eth1"),
                                                 StringPrintf(kAnsweredOnLog, "10.0.0.3", "0:0:0:0:0:3", "wlan0")}));
  EXPECT_EQ(log.lines.front(), "Device 10.0.0.1 [0:0:0:0:0:1] answered on eth1\n");

  // Past kAnsweredOnLogLimit records the lines stop, saying so once.
  log.lines.clear();
  tComUnitInfo filler{};
  while (table.devices.Size() < kAnsweredOnLogLimit - 1) table.devices.Append(filler);
  buf = Answer({Device("P", "10.0.1.1", "0:0:0:0:1:1"), Device("P", "10.0.1.2", "0:0:0:0:1:2"),
                Device("P", "10.0.1.3", "0:0:0:0:1:3")});
  EXPECT_EQ(ParserPlainPkg(table, settings, log, buf.data(), buf.size(), 65536, "eth1"), 3);
  EXPECT_EQ(log.lines, (std::vector<std::string>{StringPrintf(kAnsweredOnLog, "10.0.1.1", "0:0:0:0:1:1", "eth1"),
                                                 kAnsweredOnLogEnd}));
  EXPECT_EQ(table.devices.InterfaceAt(kAnsweredOnLogLimit + 1), "eth1");  // still kept
  while (table.devices.Size() > 4) table.devices.RemoveLast();

  // Removing and clearing keep the interfaces beside their records.
  table.devices.RemoveLast();
  table.devices.Append(tComUnitInfo{}, "eth2");
  EXPECT_EQ(table.devices.InterfaceAt(3), "eth2");
  table.devices.Clear();
  table.devices.Append(tComUnitInfo{});
  EXPECT_EQ(table.devices.InterfaceAt(0), "");
}

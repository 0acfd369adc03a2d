// The UPnP results step: which project filters have one, addresses from
// presentation URLs, records by maker, and the rows added after the
// exchange's rows or in their place.
#include "upnp/upnp_merge.h"

#include <gtest/gtest.h>

#include "records.h"

namespace {

DeviceInformationContainer Upnp(const std::string& manufacturer, const std::string& url,
                                const std::string& friendly_name = "",
                                const std::string& description = "") {
  DeviceInformationContainer d;
  d.manufacturer_name = manufacturer;
  d.presentation_url = url;
  d.friendly_name = friendly_name;
  d.description = description;
  return d;
}

tComUnitInfo Broadcast(const std::string& ip, const std::string& mac) {
  return MakeRecord({.model = "NVR", .proj = "P1", .ip = ip, .netmask = "255.255.255.0", .mac = mac});
}

struct Merge : ::testing::Test {
  // Three rows from the broadcast phase.
  void AddBroadcastRows() {
    table.grid.SetRowCount(1);
    for (int i = 1; i <= 3; ++i) {
      tComUnitInfo info = Broadcast("10.1.0." + std::to_string(i), "00:00:00:00:00:0" + std::to_string(i));
      table.devices.Append(info);
      table.grid.SetRow(i, GridRowOf(info));
      table.grid.SetRowCount(i + 1);
    }
  }
  DeviceTable table;
};

TEST(UpnpAddress, HostAndPortFromThePresentationUrl) {
  auto a = UpnpAddressOf("http://192.168.0.90:8080/index.html");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->ip, "192.168.0.90");
  EXPECT_EQ(a->port, "8080");
  a = UpnpAddressOf("http://192.168.0.90/");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->ip, "192.168.0.90");
  EXPECT_EQ(a->port, "80");
  a = UpnpAddressOf("//10.0.0.5:81:9/x//y");  // first "//", first "/", first ":"
  ASSERT_TRUE(a);
  EXPECT_EQ(a->ip, "10.0.0.5");
  EXPECT_EQ(a->port, "81:9");
  EXPECT_FALSE(UpnpAddressOf("http://192.168.0.90"));
  EXPECT_FALSE(UpnpAddressOf("http://192.168.0.90:8080"));
  EXPECT_FALSE(UpnpAddressOf("/index.html"));
  EXPECT_FALSE(UpnpAddressOf(""));
}

TEST(UpnpRecord, TextsByMaker) {
  auto r = UpnpRecordOf(Upnp("AXIS Communications", "http://10.0.0.5:81/", "Cam (x)", "Network camera"));
  ASSERT_TRUE(r);
  EXPECT_EQ(GridRowOf(*r), (StringGrid::Row{"Axis 200 Series", "Axis 200 Series", "Network camera",
                                            "10.0.0.5", "81", "NULL", "NULL"}));
  for (std::string_view f : {FieldText(r->gateway), FieldText(r->dns), FieldText(r->dev),
                             FieldText(r->note)})
    EXPECT_EQ(f, "NULL");

  r = UpnpRecordOf(Upnp("Vivotek Inc.", "http://10.0.0.6/", "Lobby (IP8332)", "ignored"));
  ASSERT_TRUE(r);
  EXPECT_EQ(FieldText(r->model), "VivoTek 7000 Series");
  EXPECT_EQ(FieldText(r->proj), "VivoTek 7000 Series");
  EXPECT_EQ(FieldText(r->name), "Lobby ");  // the blank before "(" stays
  EXPECT_EQ(FieldText(r->trigger_port), "80");

  // Both words: AXIS is tested first.
  r = UpnpRecordOf(Upnp("Vivotek and AXIS", "http://10.0.0.7/", "No paren", "Desc"));
  ASSERT_TRUE(r);
  EXPECT_EQ(FieldText(r->model), "Axis 200 Series");
  EXPECT_EQ(FieldText(r->name), "Desc");

  // The maker's devices write its name in capitals too; "Praxis" is not AXIS.
  r = UpnpRecordOf(Upnp("VIVOTEK INC.", "http://10.0.0.10:8081/", "FD8134 (Door)", "Desc"));
  ASSERT_TRUE(r);
  EXPECT_EQ(GridRowOf(*r), (StringGrid::Row{"VivoTek 7000 Series", "VivoTek 7000 Series", "FD8134 ",
                                            "10.0.0.10", "8081", "NULL", "NULL"}));
  EXPECT_FALSE(UpnpRecordOf(Upnp("Praxis Imaging", "http://10.0.0.11/", "Cam (1)", "Desc")));

  EXPECT_FALSE(UpnpRecordOf(Upnp("Vivotek", "http://10.0.0.8/", "No paren")));
  EXPECT_FALSE(UpnpRecordOf(Upnp("AXIS", "")));
  EXPECT_FALSE(UpnpRecordOf(Upnp("AXIS", "http://10.0.0.9:8080")));
  EXPECT_FALSE(UpnpRecordOf(Upnp("Axis", "http://10.0.0.9/")));
}

TEST(UpnpRecord, OverlongTextsAreCutToTheFieldAtACharacterBoundary) {
  // 30 ASCII bytes, then a two-byte character that would straddle byte 31.
  std::string description = std::string(30, 'd') + "\xC3\xA9" + "tail";
  auto r = UpnpRecordOf(Upnp("AXIS", "http://10.0.0.100:123456789/", "", description));
  ASSERT_TRUE(r);
  EXPECT_EQ(FieldText(r->name), std::string(30, 'd'));
  EXPECT_EQ(FieldText(r->trigger_port), "1234567");  // 8-byte field
  r = UpnpRecordOf(Upnp("AXIS", "http://fe80-0000-0000-0001.example/", "", std::string(31, 'x') + "y"));
  ASSERT_TRUE(r);
  EXPECT_EQ(FieldText(r->name), std::string(31, 'x'));
  EXPECT_EQ(FieldText(r->ip), "fe80-0000-0000-");  // 16-byte field
}

TEST(UpnpProject, AllAndUpnpInAnyCaseHaveAUpnpPhase) {
  for (const char* project : {"ALL", "all", "UPNP", "Upnp"}) EXPECT_TRUE(ProjectWantsUpnp(project)) << project;
  for (const char* project : {"ALLX", "NVR", "", "UPN"}) EXPECT_FALSE(ProjectWantsUpnp(project)) << project;
  EXPECT_TRUE(ProjectIsUpnpOnly("upnp"));
  EXPECT_FALSE(ProjectIsUpnpOnly("ALL"));
  EXPECT_FALSE(ProjectIsUpnpOnly("NVR"));
}

TEST_F(Merge, AllAppendsAfterTheBroadcastRows) {
  AddBroadcastRows();
  std::vector<DeviceInformationContainer> results = {
      Upnp("AXIS", "http://10.0.0.5:81/", "", "Cam A"),
      Upnp("Vivotek", "http://10.0.0.6/", "No paren"),  // skipped
      Upnp("AXIS", "http://10.0.0.7/x", "", "Cam B"),
      Upnp("AXIS", "http://10.0.0.5:81/", "", "Cam A")};  // no duplicate check
  results[2].interface = "eth1";
  UpnpSnapshot merged = {Upnp("AXIS", "http://10.9.9.9/", "", "of an earlier merge")};
  EXPECT_EQ(MergeUpnpResults(table, results, false, &merged), 3);

  // The snapshot holds the devices that became records, and each record
  // names its own; the broadcast records name none. Each record keeps the
  // interface its device answered on.
  ASSERT_EQ(merged.size(), 3u);
  EXPECT_EQ(merged[1].description, "Cam B");
  for (std::size_t i = 0; i < table.devices.Size(); ++i) {
    const tComUnitInfo* record = &table.devices.At(i);
    EXPECT_EQ(table.devices.UpnpDeviceOf(record), i < 3 ? std::nullopt : std::optional<std::size_t>(i - 3)) << i;
    EXPECT_EQ(table.devices.SourceOf(record), i < 3 ? RecordSource::kExchange : RecordSource::kUpnp) << i;
  }
  EXPECT_EQ(table.devices.InterfaceAt(3), "");
  EXPECT_EQ(table.devices.InterfaceAt(4), "eth1");

  EXPECT_EQ(table.grid.RowCount(), 7);
  EXPECT_EQ(table.devices.Size(), 6u);
  EXPECT_EQ(table.grid.Cell(kIpColumn, 1), "10.1.0.1");  // broadcast rows kept, not sorted
  EXPECT_EQ(table.grid.RowAt(4), (StringGrid::Row{"Axis 200 Series", "Axis 200 Series", "Cam A",
                                                  "10.0.0.5", "81", "NULL", "NULL"}));
  EXPECT_EQ(table.grid.Cell(kNameColumn, 5), "Cam B");
  EXPECT_EQ(table.grid.Cell(kPortColumn, 5), "80");
  EXPECT_EQ(table.grid.Cell(kNameColumn, 6), "Cam A");
}

TEST_F(Merge, UpnpOnlyCutsTheGridToItsHeading) {
  AddBroadcastRows();
  EXPECT_EQ(MergeUpnpResults(table, {}, true), 0);
  EXPECT_EQ(table.grid.RowCount(), 1);
  EXPECT_EQ(table.devices.Size(), 3u);  // the list is not changed

  AddBroadcastRows();
  EXPECT_EQ(MergeUpnpResults(table, {Upnp("Vivotek", "http://10.0.0.6:8080/", "Cam (1)")}, true), 1);
  EXPECT_EQ(table.grid.RowCount(), 2);
  EXPECT_EQ(table.grid.Cell(kNameColumn, 1), "Cam ");
  EXPECT_EQ(table.grid.Cell(kIpColumn, 2), "");  // no old row text shows again
}

}  // namespace

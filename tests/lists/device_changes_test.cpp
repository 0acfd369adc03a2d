// Device identity across lists and the comparison of two lists: which rows
// are the same device, what changed, what is new and what is missing.
#include "lists/device_changes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "records.h"
#include "lists/row_writer.h"
#include "lists/saved_list.h"

namespace {

ListedDevice Protocol(const std::string& ip, const std::string& mac, const std::string& name = "Lobby") {
  return ListedDevice{.record = TestDevice(ip, mac, name), .interface = "eth0"};
}

ListedDevice Upnp(const std::string& ip, const std::string& port, const std::string& udn) {
  return ListedDevice{.record = MakeRecord({.model = "Axis 200 Series", .name = "Gate", .ip = ip,
                                            .trigger_port = port, .netmask = "NULL", .mac = "NULL"}),
                      .upnp = true,
                      .udn = udn};
}

// The changes as "kind before>now fields", e.g. "changed 0>1 ip,netmask".
std::vector<std::string> Described(const std::vector<DeviceChange>& changes) {
  std::vector<std::string> out;
  for (const DeviceChange& c : changes) {
    auto index = [](std::size_t i) { return i == DeviceChange::kNone ? std::string("-") : std::to_string(i); };
    std::string text = std::string(ChangeWord(c.kind)) + " " + index(c.before) + ">" + index(c.now);
    for (std::size_t f = 0; f < c.fields.size(); ++f) text += (f ? "," : " ") + std::string(UnitFieldName(c.fields[f]));
    out.push_back(text);
  }
  return out;
}

}  // namespace

TEST(DeviceIdentity, FollowsTheMacTheUdnOrTheWholeRow) {
  // A six-hex-pair MAC is the device, whatever its case and separator.
  EXPECT_EQ(DeviceIdentity(Protocol("10.0.0.1", "00:1A:2b:3c:4d:5e")),
            DeviceIdentity(Protocol("10.0.0.9", "00-1a-2B-3C-4D-5E", "Moved")));
  // UPnP rows: the UDN where known, else address and port; never "NULL".
  EXPECT_EQ(DeviceIdentity(Upnp("10.0.0.5", "80", "uuid:a")), DeviceIdentity(Upnp("10.0.0.6", "8080", "uuid:a")));
  EXPECT_NE(DeviceIdentity(Upnp("10.0.0.5", "80", "uuid:a")), DeviceIdentity(Upnp("10.0.0.5", "80", "uuid:b")));
  EXPECT_EQ(DeviceIdentity(Upnp("10.0.0.5", "80", "")), DeviceIdentity(Upnp("10.0.0.5", "80", "")));
  EXPECT_NE(DeviceIdentity(Upnp("10.0.0.5", "80", "")), DeviceIdentity(Upnp("10.0.0.5", "81", "")));
  // Neither: address, MAC and name, exactly.
  EXPECT_EQ(DeviceIdentity(Protocol("10.0.0.1", "junk")), DeviceIdentity(Protocol("10.0.0.1", "junk")));
  EXPECT_NE(DeviceIdentity(Protocol("10.0.0.1", "junk")), DeviceIdentity(Protocol("10.0.0.1", "junk", "Other")));
  EXPECT_NE(DeviceIdentity(Protocol("10.0.0.1", "NULL")), DeviceIdentity(Upnp("10.0.0.1", "", "")));
}

TEST(CompareDevices, PairsByIdentityAndNamesWhatChanged) {
  ListedDevice moved = Protocol("10.0.0.2", "00:00:00:00:00:02");
  ListedDevice moved_now = moved;
  SetField(moved_now.record.ip, "10.0.0.20");
  SetField(moved_now.record.netmask, "255.255.0.0");
  ListedDevice renamed_now = Protocol("10.0.0.3", "00:00:00:00:00:03", "Renamed");
  ListedDevice respelt = Protocol("10.0.0.4", "00:00:00:00:00:04");
  ListedDevice respelt_now = respelt;  // the same MAC, spelt otherwise
  SetField(respelt_now.record.mac, "00-00-00-00-00-04");

  const std::vector<ListedDevice> before = {Protocol("10.0.0.1", "00:00:00:00:00:01"), moved,
                                            Protocol("10.0.0.3", "00:00:00:00:00:03"), respelt,
                                            Protocol("10.0.0.9", "00:00:00:00:00:09"), Upnp("10.0.0.7", "80", "uuid:u")};
  const std::vector<ListedDevice> now = {Upnp("10.0.0.8", "80", "uuid:u"), renamed_now, moved_now, respelt_now,
                                         Protocol("10.0.0.1", "00:00:00:00:00:01"),
                                         Protocol("10.0.0.5", "00:00:00:00:00:05")};
  EXPECT_EQ(Described(CompareDevices(before, now)),
            (std::vector<std::string>{"changed 5>0 ip", "changed 2>1 name", "changed 1>2 ip,netmask", "same 3>3",
                                      "same 0>4", "new ->5", "missing 4>-"}));
  // Nothing before: all new; nothing now: all missing.
  EXPECT_EQ(Described(CompareDevices({}, {moved})), std::vector<std::string>{"new ->0"});
  EXPECT_EQ(Described(CompareDevices({moved}, {})), std::vector<std::string>{"missing 0>-"});
}

TEST(CompareDevices, OneMacAtTwoAddressesPairsEachWithItself) {
  const std::vector<ListedDevice> before = {Protocol("10.0.0.1", "00:00:00:00:00:01"),
                                            Protocol("10.0.0.2", "00:00:00:00:00:01")};
  // Listed the other way round now, and one of them moved.
  const std::vector<ListedDevice> now = {Protocol("10.0.0.3", "00:00:00:00:00:01"),
                                         Protocol("10.0.0.1", "00:00:00:00:00:01")};
  EXPECT_EQ(Described(CompareDevices(before, now)), (std::vector<std::string>{"changed 1>0 ip", "same 0>1"}));

  // Thousands of addresses of one MAC, in reverse order: all found the same
  // (and quickly: each is looked up, not compared with every other).
  std::vector<ListedDevice> many, reversed;
  for (int i = 0; i < 5000; ++i)
    many.push_back(Protocol("10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250), "00:00:00:00:00:01"));
  reversed.assign(many.rbegin(), many.rend());
  std::vector<DeviceChange> changes = CompareDevices(many, reversed);
  ASSERT_EQ(changes.size(), many.size());
  for (const DeviceChange& c : changes) EXPECT_EQ(c.kind, DeviceChange::kSame);
}

TEST(CompareDevices, ComparesOnlyTheFieldsBothListsKnow) {
  // A saved CSV list knows the grid's seven columns: a changed gateway or
  // note does not count against it, a changed name does.
  ListedDevice saved = Protocol("10.0.0.1", "00:00:00:00:00:01");
  saved.known = kGridFields;
  SetField(saved.record.gateway, "");
  SetField(saved.record.note, "");
  ListedDevice now = Protocol("10.0.0.1", "00:00:00:00:00:01");
  EXPECT_EQ(Described(CompareDevices({saved}, {now})), std::vector<std::string>{"same 0>0"});
  SetField(now.record.name, "Other");
  SetField(now.record.gateway, "10.0.0.254");
  EXPECT_EQ(Described(CompareDevices({saved}, {now})), std::vector<std::string>{"changed 0>0 name"});
}

// A list that keeps no UDN (a saved CSV) pairs UPnP devices by address and
// port; two UDNs that differ stay two devices. A text saved in UTF-8 is the
// same as the Latin-1 bytes a device sent.
TEST(CompareDevices, UpnpDevicesWithoutUdnPairByAddressAndTextsByTheirReading) {
  ListedDevice saved = Upnp("10.0.0.7", "80", "");
  ListedDevice latin1 = Protocol("10.0.0.1", "00:00:00:00:00:01", "caf\xe9");
  ListedDevice utf8 = Protocol("10.0.0.1", "00:00:00:00:00:01", "caf\xc3\xa9");
  EXPECT_EQ(Described(CompareDevices({saved, utf8}, {latin1, Upnp("10.0.0.7", "80", "uuid:a")})),
            (std::vector<std::string>{"same 1>0", "same 0>1"}));
  EXPECT_EQ(Described(CompareDevices({Upnp("10.0.0.7", "80", "uuid:b")}, {Upnp("10.0.0.7", "80", "uuid:a")})),
            (std::vector<std::string>{"new ->0", "missing 0>-"}));
  EXPECT_EQ(Described(CompareDevices({saved}, {Upnp("10.0.0.7", "81", "uuid:a")})),
            (std::vector<std::string>{"new ->0", "missing 0>-"}));
}

TEST(ListedDevicesOf, KeepsInterfacesAndTheUpnpDevicesUdns) {
  DeviceTable table;
  WriteGridHeadings(table.grid);
  AddRow(table, TestDevice("10.0.0.1", "00:00:00:00:00:01"), "eth0");
  AddRow(table, MakeRecord({.ip = "10.0.0.2", .mac = "NULL"}));
  DeviceInformationContainer upnp;
  upnp.unique_device_name = "uuid:cam";
  RecordOrigins origins;
  origins.exchange_records = 1;
  origins.upnp = {&upnp};
  std::vector<ListedDevice> listed = ListedDevicesOf(table, origins);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].interface, "eth0");
  EXPECT_FALSE(listed[0].upnp);
  EXPECT_TRUE(listed[1].upnp);
  EXPECT_EQ(listed[1].udn, "uuid:cam");
  EXPECT_EQ(listed[0].source, "protocol");
  EXPECT_EQ(listed[1].source, "upnp");
}

// Addresses compare as addresses: a strict dotted quad by value, any other
// text by its bytes, so a device that now reports "10.0.0.1" where it
// reported "10.1" (which the C library reads as 10.0.0.1) has changed.
TEST(ChangedFields, AddressesOutsideTheStrictRuleCompareByTheirBytes) {
  const ListedDevice before = Protocol("10.1", "00:00:00:00:00:01");
  EXPECT_EQ(ChangedFields(before, Protocol("10.0.0.1", "00:00:00:00:00:01")), std::vector<int>{3});
  EXPECT_EQ(ChangedFields(before, Protocol("10.1", "00:00:00:00:00:01")), std::vector<int>{});
  EXPECT_EQ(Described(CompareDevices({before}, {Protocol("10.0.0.1", "00:00:00:00:00:01")})),
            std::vector<std::string>{"changed 0>0 ip"});
}

// UPnP devices of one recorder share its address, some also a port; a saved
// CSV keeps no UDN. Whatever order the search's answers came in, each
// device pairs with its own saved row: by address and port, then by name.
TEST(CompareDevices, UpnpDevicesSharingAnAddressPairWithTheirOwnSavedRowsInAnyOrder) {
  std::string error;
  const std::optional<std::vector<ListedDevice>> saved = ParseSavedList(
      "Model,Proj,Name,IP,Port,Netmask,Mac\r\n"
      "Axis 200 Series,Axis 200 Series,Gate,10.0.0.5,80,NULL,NULL\r\n"
      "Axis 200 Series,Axis 200 Series,Yard,10.0.0.5,80,NULL,NULL\r\n"
      "Axis 200 Series,Axis 200 Series,Hall,10.0.0.5,8080,NULL,NULL\r\n",
      &error);
  ASSERT_TRUE(saved) << error;
  auto named = [](const std::string& name, const std::string& port, const std::string& udn) {
    ListedDevice d = Upnp("10.0.0.5", port, udn);
    SetField(d.record.name, name);
    SetField(d.record.proj, "Axis 200 Series");
    return d;
  };
  struct Case {
    const char* what;
    std::vector<ListedDevice> now;
    // For each device of `now`, as given: the saved row it pairs with and how.
    std::vector<std::string> pairs;
  } cases[] = {
      {"nothing changed",
       {named("Gate", "80", "uuid:g"), named("Yard", "80", "uuid:y"), named("Hall", "8080", "uuid:h")},
       {"same 0", "same 1", "same 2"}},
      {"one of the two sharing port 80 renamed",
       {named("Gate", "80", "uuid:g"), named("Yard East", "80", "uuid:y"), named("Hall", "8080", "uuid:h")},
       {"same 0", "changed 1 name", "same 2"}},
      {"the one on port 8080 renamed",
       {named("Gate", "80", "uuid:g"), named("Yard", "80", "uuid:y"), named("Hall 2", "8080", "uuid:h")},
       {"same 0", "same 1", "changed 2 name"}},
      {"both on port 80 renamed: no telling which is which",
       {named("Gate 2", "80", "uuid:g"), named("Yard 2", "80", "uuid:y"), named("Hall", "8080", "uuid:h")},
       {"new -", "new -", "same 2"}},
  };
  for (const Case& c : cases) {
    std::vector<std::size_t> order(c.now.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    do {
      std::vector<ListedDevice> now;
      for (std::size_t i : order) now.push_back(c.now[i]);
      std::vector<std::string> pairs(c.now.size());
      for (const DeviceChange& change : CompareDevices(*saved, now)) {
        if (change.kind == DeviceChange::kMissing) continue;
        std::string text = std::string(ChangeWord(change.kind)) + " " +
                           (change.before == DeviceChange::kNone ? "-" : std::to_string(change.before));
        for (int f : change.fields) text += std::string(" ") + UnitFieldName(f);
        pairs[order[change.now]] = text;
      }
      EXPECT_EQ(pairs, c.pairs) << c.what << ", order " << ::testing::PrintToString(order);
    } while (std::next_permutation(order.begin(), order.end()));
  }
}

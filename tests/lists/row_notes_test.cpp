// Notes on listed devices, one table of cases: each case lists devices and
// the notes expected on each ("kind: detail"), with this PC on eth0 at
// 10.99.0.1/24 and 192.168.0.1/24 and on eth1 at 10.77.0.1/16.
#include "lists/row_notes.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>


#include "records.h"

namespace {

std::uint32_t Address(const char* text) { return inet_addr(text); }

const std::vector<LocalNetwork> kThisPc = {
    {"eth0", Address("10.99.0.1"), Address("255.255.255.0")},
    {"eth0", Address("192.168.0.1"), Address("255.255.255.0")},
    {"eth1", Address("10.77.0.1"), Address("255.255.0.0")},
};

// A protocol device with gateway 10.99.0.254, answered on `interface`.
ListedDevice At(const std::string& ip, const std::string& mac, const std::string& interface = "eth0") {
  ListedDevice d{.record = TestDevice(ip, mac), .interface = interface};
  SetField(d.record.gateway, "10.99.0.254");
  return d;
}

ListedDevice UpnpAt(const std::string& ip) {
  return ListedDevice{.record = MakeRecord({.ip = ip, .trigger_port = "80", .gateway = "NULL", .mac = "NULL"}),
                      .interface = "eth0",
                      .upnp = true};
}

ListedDevice WithGateway(ListedDevice d, const std::string& gateway) {
  SetField(d.record.gateway, gateway);
  return d;
}

std::vector<std::vector<std::string>> Notes(const std::vector<ListedDevice>& devices) {
  std::vector<std::vector<std::string>> out;
  for (const std::vector<RowNote>& notes : NotesOf(devices, kThisPc)) {
    out.emplace_back();
    for (const RowNote& n : notes) out.back().push_back(std::string(NoteWord(n.kind)) + ": " + n.detail);
  }
  return out;
}

struct Case {
  const char* what;
  std::vector<ListedDevice> devices;
  std::vector<std::vector<std::string>> notes;
};

}  // namespace

TEST(RowNotes, TableOfCases) {
  const Case cases[] = {
      {"a plain device in its subnet has none", {At("10.99.0.5", "00:00:00:00:00:01")}, {{}}},
      {"three factory-default devices on one address",
       {At("10.99.0.100", "00:00:00:00:00:01"), At("10.99.0.100", "00:00:00:00:00:02"),
        At("10.99.0.100", "00:00:00:00:00:03")},
       {{"address-conflict: 10.99.0.100 is also used by 00:00:00:00:00:02 and 00:00:00:00:00:03"},
        {"address-conflict: 10.99.0.100 is also used by 00:00:00:00:00:01 and 00:00:00:00:00:03"},
        {"address-conflict: 10.99.0.100 is also used by 00:00:00:00:00:01 and 00:00:00:00:00:02"}}},
      {"one MAC in two spellings is no conflict",
       {At("10.99.0.7", "00:0a:00:00:00:01", "eth0"), At("10.99.0.7", "00-0A-00-00-00-01", "eth1")},
       {{}, {"not-reachable: not reachable from eth1 (10.77.0.1/16)"}}},
      {"two UPnP rows of one address never conflict; a UPnP device and a protocol device do",
       {UpnpAt("10.99.0.8"), UpnpAt("10.99.0.8"), At("10.99.0.8", "00:00:00:00:00:08")},
       {{"address-conflict: 10.99.0.8 is also used by 00:00:00:00:00:08"},
        {"address-conflict: 10.99.0.8 is also used by 00:00:00:00:00:08"},
        {"address-conflict: 10.99.0.8 is also used by a UPnP device"}}},
      {"this PC's address, on any of its interfaces",
       {At("10.99.0.1", "00:00:00:00:00:01"), At("10.77.0.1", "00:00:00:00:00:02", "eth1")},
       {{"this-pc: 10.99.0.1 is an address of this PC (eth0)"}, {"this-pc: 10.77.0.1 is an address of this PC (eth1)"}}},
      {"a gateway that is the device itself; NULL and empty gateways are not",
       {WithGateway(At("10.99.0.9", "00:00:00:00:00:09"), "10.99.0.9"),
        WithGateway(At("10.99.0.10", "00:00:00:00:00:0a"), ""), UpnpAt("10.99.0.11")},
       {{"own-gateway: the gateway 10.99.0.9 is the device's own address"}, {}, {}}},
      {"outside every subnet of its interface; a second subnet of the link is reachable; relays are not judged",
       {At("192.168.1.100", "00:00:00:00:00:01"), At("192.168.0.100", "00:00:00:00:00:02"),
        At("172.16.0.1", "00:00:00:00:00:03", ""), At("10.99.0.5", "00:00:00:00:00:04", "gone0"),
        At("not an address", "00:00:00:00:00:05")},
       {{"not-reachable: not reachable from eth0 (10.99.0.1/24, 192.168.0.1/24)"}, {}, {}, {},
        {"not-reachable: not reachable from eth0 (10.99.0.1/24, 192.168.0.1/24)"}}},
      {"one MAC at two addresses; invalid MACs are not judged",
       {At("10.99.0.20", "00:00:00:00:00:20"), At("10.99.0.21", "00:00:00:00:00:20"), At("10.99.0.22", "junk"),
        At("10.99.0.23", "junk")},
       {{"seen-twice: 00:00:00:00:00:20 is also listed at 10.99.0.21"},
        {"seen-twice: 00:00:00:00:00:20 is also listed at 10.99.0.20"},
        {},
        {}}},
      {"every kind at once, in order",
       {WithGateway(At("10.99.0.1", "00:00:00:00:00:01", "eth1"), "10.99.0.1"), At("10.99.0.1", "00:00:00:00:00:02"),
        At("10.99.0.3", "00:00:00:00:00:01")},
       {{"address-conflict: 10.99.0.1 is also used by 00:00:00:00:00:02",
         "this-pc: 10.99.0.1 is an address of this PC (eth0)",
         "own-gateway: the gateway 10.99.0.1 is the device's own address",
         "not-reachable: not reachable from eth1 (10.77.0.1/16)",
         "seen-twice: 00:00:00:00:00:01 is also listed at 10.99.0.3"},
        {"address-conflict: 10.99.0.1 is also used by 00:00:00:00:00:01",
         "this-pc: 10.99.0.1 is an address of this PC (eth0)"},
        {"seen-twice: 00:00:00:00:00:01 is also listed at 10.99.0.1"}}},
      // A device that answers "10.99.0.011" may be at 10.99.0.11 (as a person
      // reads it) or at 10.99.0.9 (as the C library reads it): it conflicts
      // with devices at either, and is reachable where both are.
      {"an address outside the strict rule is at each of its readings",
       {At("10.99.0.011", "00:00:00:00:00:01"), At("10.99.0.11", "00:00:00:00:00:02"),
        At("10.99.0.9", "00:00:00:00:00:03"), At("10.99.0.12", "00:00:00:00:00:04")},
       {{"address-conflict: 10.99.0.011 is also used by 00:00:00:00:00:02 and 00:00:00:00:00:03"},
        {"address-conflict: 10.99.0.11 is also used by 00:00:00:00:00:01"},
        {"address-conflict: 10.99.0.9 is also used by 00:00:00:00:00:01"},
        {}}},
      {"two devices with one such text, and one at one reading, are counted once each",
       {At("10.99.0.011", "00:00:00:00:00:01"), At("10.99.0.011", "00:00:00:00:00:02"),
        At("10.99.0.11", "00:00:00:00:00:01")},
       {{"address-conflict: 10.99.0.011 is also used by 00:00:00:00:00:02",
         "seen-twice: 00:00:00:00:00:01 is also listed at 10.99.0.11"},
        {"address-conflict: 10.99.0.011 is also used by 00:00:00:00:00:01"},
        {"address-conflict: 10.99.0.11 is also used by 00:00:00:00:00:02",
         "seen-twice: 00:00:00:00:00:01 is also listed at 10.99.0.011"}}},
      {"short, hexadecimal and trailing forms: their one reading; this PC and the gateway by value",
       {At("10.99.5", "00:00:00:00:00:01"), At("0x0a.99.0.5", "00:00:00:00:00:02"),
        WithGateway(At("10.99.0.1 x", "00:00:00:00:00:03"), "10.99.0.1"), At("010.99.0.5", "00:00:00:00:00:04")},
       {{"address-conflict: 10.99.5 is also used by 00:00:00:00:00:02 and 00:00:00:00:00:04"},
        {"address-conflict: 0x0a.99.0.5 is also used by 00:00:00:00:00:01 and 00:00:00:00:00:04"},
        {"this-pc: 10.99.0.1 x is an address of this PC (eth0)",
         "own-gateway: the gateway 10.99.0.1 x is the device's own address"},
        // 10.99.0.5 or 8.99.0.5: reachable at the first
        {"address-conflict: 010.99.0.5 is also used by 00:00:00:00:00:01 and 00:00:00:00:00:02"}}},
  };
  for (const Case& c : cases) EXPECT_EQ(Notes(c.devices), c.notes) << c.what;
}

// Many devices that all report one address outside the strict rule (so each
// stands at two addresses) still take time in proportion to their number.
TEST(RowNotes, ManyDevicesAtTwoReadingsAreCountedInLinearTime) {
  std::vector<ListedDevice> devices;
  for (int i = 0; i < 20000; ++i) {
    char mac[18];
    snprintf(mac, sizeof(mac), "00:00:00:00:%02x:%02x", i / 256, i % 256);
    devices.push_back(At(i % 2 ? "10.99.0.011" : "10.99.0.11", mac));
  }
  devices.push_back(At("10.99.0.9", "00:00:00:01:00:00"));
  std::vector<std::vector<RowNote>> notes = NotesOf(devices, kThisPc);
  ASSERT_EQ(notes[1].size(), 1u);
  EXPECT_EQ(notes[1][0].detail,
            "10.99.0.011 is also used by 00:00:00:00:00:00, 00:00:00:00:00:02, 00:00:00:00:00:03, "
            "00:00:00:00:00:04, 00:00:00:00:00:05 and 19995 more");
  EXPECT_EQ(notes[0][0].detail,
            "10.99.0.11 is also used by 00:00:00:00:00:01, 00:00:00:00:00:02, 00:00:00:00:00:03, "
            "00:00:00:00:00:04, 00:00:00:00:00:05 and 19994 more");
  EXPECT_EQ(notes[20000][0].detail,
            "10.99.0.9 is also used by 00:00:00:00:00:01, 00:00:00:00:00:03, 00:00:00:00:00:05, "
            "00:00:00:00:00:07, 00:00:00:00:00:09 and 9995 more");
}

TEST(RowNotes, NameAtMostFiveOthersAndCountTheRest) {
  std::vector<ListedDevice> devices;
  for (int i = 0; i < 20000; ++i) {
    char mac[18];
    snprintf(mac, sizeof(mac), "00:00:00:00:%02x:%02x", i / 256, i % 256);
    devices.push_back(At("10.99.0.100", mac));
  }
  std::vector<std::vector<RowNote>> notes = NotesOf(devices, kThisPc);
  ASSERT_EQ(notes[0].size(), 1u);
  EXPECT_EQ(notes[0][0].detail,
            "10.99.0.100 is also used by 00:00:00:00:00:01, 00:00:00:00:00:02, 00:00:00:00:00:03, "
            "00:00:00:00:00:04, 00:00:00:00:00:05 and 19994 more");
  EXPECT_EQ(NoteWords(notes[19999]), "address-conflict");
  EXPECT_EQ(NoteWords({{NoteKind::kThisPc, ""}, {NoteKind::kSeenTwice, ""}}), "this-pc;seen-twice");
}

// Every address of an interface is one of this PC's networks; an interface
// made by hand (no address list) counts with its first address alone.
TEST(RowNotes, LocalNetworksTakeEveryAddressOfAnInterface) {
  NetInterface eth0{.name = "eth0", .address = Address("10.99.0.1"), .netmask = Address("255.255.255.0"), .addresses = {}};
  eth0.addresses = {{Address("10.99.0.1"), Address("255.255.255.0")}, {Address("192.168.0.1"), Address("255.255.255.0")}};
  const NetInterface eth1{.name = "eth1", .address = Address("10.77.0.1"), .netmask = Address("255.255.0.0"), .addresses = {}};
  const std::vector<LocalNetwork> local = LocalNetworksOf({eth0, eth1});
  ASSERT_EQ(local.size(), kThisPc.size());
  for (std::size_t i = 0; i < local.size(); ++i) {
    EXPECT_EQ(local[i].interface, kThisPc[i].interface) << i;
    EXPECT_EQ(local[i].address, kThisPc[i].address) << i;
    EXPECT_EQ(local[i].netmask, kThisPc[i].netmask) << i;
  }
  // A device at the second address's subnet is reachable from eth0.
  EXPECT_TRUE(NotesOf({At("192.168.0.20", "00:00:00:00:00:09")}, local)[0].empty());
}

// Re-addressing plans: addresses given in turn from a start address, plans
// read from CSV, the checks that refuse a plan as a whole, the package sent
// for a row and the verification of a later search.
#include "netsetup/readdress_plan.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <gmock/gmock.h>

#include "capturing_sender.h"
#include "protocol/ipv4_text.h"
#include "records.h"

namespace {

using ::testing::ElementsAre;

std::string Mac(int n) {
  char text[24];
  std::snprintf(text, sizeof(text), "02:4B:44:00:00:%02X", n);
  return text;
}

PlanDevice Device(const std::string& ip, const std::string& mac, const std::string& interface = "eth0") {
  return {TestDevice(ip, mac, "Cam" + mac.substr(15)), interface};
}

SequentialSettings Static(const std::string& start, const std::string& netmask = "255.255.255.0",
                          const std::string& gateway = "10.0.0.254", const std::string& dns = "10.0.0.253") {
  SequentialSettings s;
  s.start = start;
  s.netmask = netmask;
  s.gateway = gateway;
  s.dns = dns;
  return s;
}

std::vector<std::string> Ips(const ReaddressPlan& plan) {
  std::vector<std::string> ips;
  for (const PlanRow& row : plan.rows) ips.push_back(row.ip);
  return ips;
}

// The reason after "Invalid ... - [text]" for a text outside the strict rule.
std::string NotQuad(const std::string& text) { return ": " + NotStrictReason(text); }

std::vector<std::string> Macs(const ReaddressPlan& plan) {
  std::vector<std::string> macs;
  for (const PlanRow& row : plan.rows) macs.push_back(row.device.record.mac);
  return macs;
}

}  // namespace

TEST(SequentialPlan, AddressesInTurnSkipNetworkBroadcastAndHeldAddresses) {
  // Three factory-fresh devices on one address, a fourth listed device that
  // is not re-addressed, holding 10.0.0.2.
  std::vector<PlanDevice> selected = {Device("192.168.0.10", Mac(1)), Device("192.168.0.10", Mac(2)),
                                      Device("192.168.0.10", Mac(3))};
  std::vector<PlanDevice> listed = selected;
  listed.push_back(Device("10.0.0.2", Mac(9)));

  // The start is the network address: it and 10.0.0.2 are skipped.
  ReaddressPlan plan = SequentialPlan(selected, Static("10.0.0.0"), listed, {});
  EXPECT_FALSE(plan.Refused()) << plan.refusals.front();
  EXPECT_THAT(Ips(plan), ElementsAre("10.0.0.1", "10.0.0.3", "10.0.0.4"));
  for (const PlanRow& row : plan.rows) {
    EXPECT_EQ(row.type, NetworkType::kStatic);
    EXPECT_EQ(row.netmask, "255.255.255.0");
    EXPECT_EQ(row.gateway, "10.0.0.254");
    EXPECT_EQ(row.dns, "10.0.0.253");
    EXPECT_EQ(row.line, 0);
  }

  // A device may keep the address it holds, so a plan made again gives the
  // same addresses; another's is skipped.
  selected = {Device("10.0.0.5", Mac(1)), Device("10.0.0.6", Mac(2))};
  plan = SequentialPlan(selected, Static("10.0.0.5"), selected, {});
  EXPECT_THAT(Ips(plan), ElementsAre("10.0.0.5", "10.0.0.6"));
  selected = {Device("10.0.0.6", Mac(1)), Device("10.0.0.5", Mac(2))};
  plan = SequentialPlan(selected, Static("10.0.0.5"), selected, {});
  EXPECT_THAT(Ips(plan), ElementsAre("10.0.0.6", "10.0.0.7"));
}

TEST(SequentialPlan, ARunThatReachesTheSubnetsEndIsRefusedNotWrapped) {
  std::vector<PlanDevice> selected;
  for (int i = 1; i <= 4; ++i) selected.push_back(Device("192.168.0.10", Mac(i)));

  // A /24: .253 and .254, then the broadcast address ends the subnet.
  ReaddressPlan plan = SequentialPlan(selected, Static("10.0.1.253"), selected, {});
  EXPECT_TRUE(plan.Refused());
  EXPECT_THAT(Ips(plan), ElementsAre("10.0.1.253", "10.0.1.254", "", ""));
  EXPECT_THAT(plan.refusals, ElementsAre(Mac(3) + ": no address left in 10.0.1.0/255.255.255.0",
                                         Mac(4) + ": no address left in 10.0.1.0/255.255.255.0"));

  // A /16 goes on across the /24 boundary: .1.255 and .2.0 are hosts there.
  plan = SequentialPlan(selected, Static("10.0.1.254", "255.255.0.0"), selected, {});
  EXPECT_FALSE(plan.Refused());
  EXPECT_THAT(Ips(plan), ElementsAre("10.0.1.254", "10.0.1.255", "10.0.2.0", "10.0.2.1"));

  // ... and stops before its own broadcast address.
  plan = SequentialPlan(selected, Static("10.0.255.253", "255.255.0.0"), selected, {});
  EXPECT_EQ(plan.refusals.size(), 2u);
  EXPECT_THAT(Ips(plan), ElementsAre("10.0.255.253", "10.0.255.254", "", ""));
}

// A run skips the gateway and this PC's addresses on the interface each
// device answered on, as it skips listed devices' addresses; settings that
// could not make a run are refused at once, whatever the netmask.
TEST(SequentialPlan, ARunSkipsTheGatewayAndThisPcsAddresses) {
  // Three devices on eth0 and one behind a relay; this PC is 10.0.0.3 on
  // eth0 (its second address) and 10.0.0.5 on eth1 (an interface made by
  // hand: its first address alone); the gateway is 10.0.0.2.
  const std::vector<PlanDevice> selected = {Device("192.168.0.10", Mac(1)), Device("192.168.0.10", Mac(2)),
                                            Device("192.168.0.10", Mac(3)), Device("192.168.0.10", Mac(4), "")};
  const std::uint32_t mask = inet_addr("255.255.255.0");
  const std::vector<OwnAddress> own = OwnAddressesOf(
      {{"eth0", 2, inet_addr("192.168.0.1"), mask, {{inet_addr("192.168.0.1"), mask}, {inet_addr("10.0.0.3"), mask}}},
       {"eth1", 3, inet_addr("10.0.0.5"), mask, {}}});
  ReaddressPlan plan = SequentialPlan(selected, Static("10.0.0.1", "255.255.255.0", "10.0.0.2"), selected, own);
  EXPECT_FALSE(plan.Refused()) << plan.refusals.front();
  EXPECT_THAT(Ips(plan), ElementsAre("10.0.0.1", "10.0.0.4", "10.0.0.5", "10.0.0.6"));
  // The relay's device may take an address that is this PC's on eth0.
  plan = SequentialPlan({selected[3], selected[0]}, Static("10.0.0.3", "255.255.255.0", "0.0.0.0"), selected, own);
  EXPECT_THAT(Ips(plan), ElementsAre("10.0.0.3", "10.0.0.4"));
  EXPECT_TRUE(plan.warnings.empty());  // no gateway is no gateway outside the subnet

  plan = SequentialPlan(selected, Static("10.0.0.1", "127.255.255.255"), selected, own);
  EXPECT_THAT(plan.refusals,
              ElementsAre("Invalid Netmask - [127.255.255.255]: 127.255.255.255 is not a contiguous netmask"));
  plan = SequentialPlan(selected, Static("127.0.0.1", "255.0.0.0"), selected, own);
  EXPECT_THAT(plan.refusals, ElementsAre("Invalid Start Address - [127.0.0.1]: 127.0.0.1 is a loopback address"));
  // Half of all addresses: as many steps as there are devices.
  plan = SequentialPlan(selected, Static("1.0.0.0", "128.0.0.0", "0.0.0.0"), selected, own);
  EXPECT_FALSE(plan.Refused()) << plan.refusals.front();
  EXPECT_THAT(Ips(plan), ElementsAre("1.0.0.0", "1.0.0.1", "1.0.0.2", "1.0.0.3"));
}

TEST(SequentialPlan, OrderSettingsCheckedOnceAndDhcp) {
  std::vector<PlanDevice> selected = {Device("10.0.0.30", "02:4b:44:00:00:0b"), Device("10.0.0.4", Mac(12)),
                                      Device("bad", Mac(10)), Device("10.0.0.200", Mac(13))};
  SequentialSettings s = Static("10.0.0.100");
  s.order = PlanOrder::kByMac;  // ignoring case: 0A, 0b, 0C, 0D
  EXPECT_THAT(Macs(SequentialPlan(selected, s, selected, {})),
              ElementsAre(Mac(10), "02:4b:44:00:00:0b", Mac(12), Mac(13)));
  s.order = PlanOrder::kByAddress;  // by value, not as text; no address last
  ReaddressPlan plan = SequentialPlan(selected, s, selected, {});
  EXPECT_THAT(Macs(plan), ElementsAre(Mac(12), "02:4b:44:00:00:0b", Mac(13), Mac(10)));
  EXPECT_THAT(Ips(plan), ElementsAre("10.0.0.100", "10.0.0.101", "10.0.0.102", "10.0.0.103"));

  // Invalid settings are refused once each, in the dialog's words; the
  // gateway outside the subnet is one warning, not one per device.
  plan = SequentialPlan(selected, Static("10.0.0.300", "255.255.255.255", "10.0.0.1", ""), selected, {});
  EXPECT_THAT(plan.refusals, ElementsAre("Invalid Start Address - [10.0.0.300]" + NotQuad("10.0.0.300"),
                                         "Invalid Netmask - [255.255.255.255]", "Invalid DNS - []"));
  plan = SequentialPlan(selected, Static("10.0.0.100", "255.255.255.0", "10.0.9.1"), selected, {});
  EXPECT_FALSE(plan.Refused());
  EXPECT_THAT(plan.warnings, ElementsAre("Unresonable Gateway - [10.0.9.1]"));
  plan = SequentialPlan(selected, Static("10.0.0.100", "255.255.255.0", "010.000.000.0001"), selected, {});
  EXPECT_THAT(plan.refusals, ElementsAre("Invalid Gateway - [010.000.000.0001]" + NotQuad("010.000.000.0001")));

  // DHCP: every device, with the addresses it has now.
  s.type = NetworkType::kDhcp;
  s.start = "not read";
  plan = SequentialPlan(selected, s, selected, {});
  EXPECT_FALSE(plan.Refused());
  ASSERT_EQ(plan.rows.size(), 4u);
  EXPECT_EQ(plan.rows[0].type, NetworkType::kDhcp);
  EXPECT_EQ(plan.rows[0].ip, "10.0.0.4");
  EXPECT_EQ(plan.rows[0].netmask, "255.255.255.0");
  EXPECT_EQ(plan.rows[0].gateway, "192.168.0.1");
  EXPECT_EQ(plan.rows[0].dns, "192.168.0.2");
}

TEST(CsvPlan, HeadingCommentsBlankLinesAndBothKindsOfRow) {
  std::vector<PlanDevice> listed = {Device("10.0.0.1", Mac(1), "eth0"), Device("10.0.0.2", Mac(2), "eth1"),
                                    Device("10.0.0.3", Mac(3))};
  const std::string csv =
      "\xEF\xBB\xBFmac,ip,netmask,gateway,dns\r\n"
      "# the lobby\r\n"
      "\r\n"
      "  02:4b:44:00:00:01 , 10.0.1.1 ,255.255.0.0,10.0.0.254, 10.0.0.253\n"
      "   \n"
      "02-4B-44-00-00-02,DHCP,,,\n"
      "02:4B:44:00:00:03,dhcp";  // no line end at the end
  ReaddressPlan plan = CsvPlan(csv, listed, {});
  EXPECT_FALSE(plan.Refused()) << plan.refusals.front();
  ASSERT_EQ(plan.rows.size(), 3u);
  const PlanRow& first = plan.rows[0];
  EXPECT_EQ(first.line, 4);
  EXPECT_EQ(first.type, NetworkType::kStatic);
  EXPECT_EQ(first.device.interface, "eth0");
  EXPECT_STREQ(first.device.record.mac, Mac(1).c_str());
  EXPECT_EQ(first.ip, "10.0.1.1");
  EXPECT_EQ(first.netmask, "255.255.0.0");
  EXPECT_EQ(first.gateway, "10.0.0.254");
  EXPECT_EQ(first.dns, "10.0.0.253");
  // DHCP rows keep the device's current addresses, as the dialog sends them.
  const PlanRow& dhcp = plan.rows[1];
  EXPECT_EQ(dhcp.line, 6);
  EXPECT_EQ(dhcp.type, NetworkType::kDhcp);
  EXPECT_EQ(dhcp.device.interface, "eth1");
  EXPECT_EQ(dhcp.ip, "10.0.0.2");
  EXPECT_EQ(dhcp.netmask, "255.255.255.0");
  EXPECT_EQ(dhcp.gateway, "192.168.0.1");
  EXPECT_EQ(dhcp.dns, "192.168.0.2");
  EXPECT_EQ(plan.rows[2].line, 7);

  // A heading is only a heading on the first row.
  plan = CsvPlan("02:4B:44:00:00:01,dhcp\nmac,ip,netmask,gateway,dns\n", listed, {});
  EXPECT_THAT(plan.refusals, ElementsAre("line 2: bad MAC [mac]"));
  EXPECT_THAT(CsvPlan("mac,dhcp\n# nothing\n\n", listed, {}).refusals, ElementsAre("the plan names no device"));
}

// A plan saved by a spreadsheet quotes its cells: they read as their text.
// A comment may hold quotes; a quote out of place refuses its row and the
// rows after it are still read.
TEST(CsvPlan, QuotedCellsReadAsTheirText) {
  std::vector<PlanDevice> listed = {Device("10.0.0.1", Mac(1), "eth0"), Device("10.0.0.2", Mac(2), "eth0")};
  ReaddressPlan plan = CsvPlan(
      "\"mac\",\"ip\",\"netmask\",\"gateway\",\"dns\"\r\n"
      "# the \"lobby\", east\r\n"
      "\"02:4B:44:00:00:01\",\"10.0.1.1\",\"255.255.0.0\",\"10.0.0.254\",\"10.0.0.253\"\r\n"
      "\"02:4B:44:00:00:02\",\"dhcp\",,,\r\n",
      listed, {});
  ASSERT_FALSE(plan.Refused()) << plan.refusals.front();
  ASSERT_EQ(plan.rows.size(), 2u);
  EXPECT_EQ(plan.rows[0].line, 3);
  EXPECT_EQ(plan.rows[0].ip, "10.0.1.1");
  EXPECT_EQ(plan.rows[0].gateway, "10.0.0.254");
  EXPECT_EQ(plan.rows[1].type, NetworkType::kDhcp);

  plan = CsvPlan("02:4B:44:00:00:01,\"10.0.1.1\"x,255.255.0.0,10.0.0.254,10.0.0.253\n"
                 "02:4B:44:00:00:09,10.0.1.9,255.255.0.0,10.0.0.254,10.0.0.253\n",
                 listed, {});
  EXPECT_THAT(plan.refusals, ElementsAre("line 1: text after a quoted cell",
                                         "line 2: no device with MAC 02:4B:44:00:00:09 was found"));
}

TEST(CsvPlan, EveryOffendingRowIsNamed) {
  std::vector<PlanDevice> listed = {Device("10.0.0.1", Mac(1)), Device("10.0.0.2", Mac(2)),
                                    Device("10.0.0.3", Mac(3)), Device("10.0.0.4", Mac(4)),
                                    Device("10.0.0.5", Mac(4))};
  const std::string csv =
      "02:4B:44:00:00:1,10.0.1.1,255.255.255.0,10.0.1.254,10.0.1.253\n"      // 1: bad MAC
      "02:4B:44:00:00:01,10.0.1.x,255.255.255.0,10.0.1.254,\n"                // 2: bad addresses
      "02:4B:44:00:00:02,10.0.1.2,255.255.255.0,10.0.1.254,10.0.1.253,x\n"   // 3: extra field
      "02:4B:44:00:00:02,10.0.1.2,255.255.255.0\n"                            // 4: too few
      "02:4B:44:00:00:02,dhcp,x\n"                                            // 5: dhcp with more
      "02:4B:44:00:00:99,dhcp\n"                                              // 6: nobody's MAC
      "02:4B:44:00:00:04,dhcp\n"                                              // 7: two devices' MAC
      "02:4B:44:00:00:03,10.0.1.255,255.255.255.0,10.0.1.254,10.0.1.253\n";  // 8: broadcast
  ReaddressPlan plan = CsvPlan(csv, listed, {});
  EXPECT_THAT(plan.refusals,
              ElementsAre("line 1: bad MAC [02:4B:44:00:00:1]",
                          "line 2: Invalid IP Address - [10.0.1.x]" + NotQuad("10.0.1.x"),
                          "line 2: Invalid DNS - []",
                          "line 3: 6 fields; a row is mac,ip,netmask,gateway,dns or mac,dhcp",
                          "line 4: 3 fields; a row is mac,ip,netmask,gateway,dns or mac,dhcp",
                          "line 5: 3 fields; a row is mac,ip,netmask,gateway,dns or mac,dhcp",
                          "line 6: no device with MAC 02:4B:44:00:00:99 was found",
                          "line 7: 2 devices have MAC 02:4B:44:00:00:04",
                          "line 8: 10.0.1.255 is the broadcast address of netmask 255.255.255.0"));
}

TEST(CsvPlan, DuplicateTargetsAndAddressesKeptByOthersAreRefused) {
  std::vector<PlanDevice> listed = {Device("10.0.0.1", Mac(1)), Device("10.0.0.2", Mac(2)),
                                    Device("10.0.0.3", Mac(3)), Device("10.0.0.4", Mac(4))};
  // Lines 1 and 3 ask for one address; line 2 takes the address of a device
  // the plan leaves alone; line 4 names the device of line 1 again.
  const std::string csv =
      "02:4B:44:00:00:01,10.0.0.9,255.0.0.0,10.0.0.254,10.0.0.253\n"
      "02:4B:44:00:00:02,10.0.0.4,255.0.0.0,10.0.0.254,10.0.0.253\n"
      "02:4B:44:00:00:03,10.0.0.9,255.0.0.0,10.0.0.254,10.0.0.253\n"
      "02:4b:44:00:00:01,dhcp\n";
  ReaddressPlan plan = CsvPlan(csv, listed, {});
  EXPECT_THAT(plan.refusals,
              ElementsAre("line 1: the device is planned twice, also on line 4",
                          "line 1: 10.0.0.9 is planned for line 3 too",
                          "line 2: 10.0.0.4 is held by 02:4B:44:00:00:04, which the plan leaves as it is",
                          "line 3: 10.0.0.9 is planned for line 1 too",
                          "line 4: the device is planned twice, also on line 1"));

  // Swapping two devices' addresses is fine: both move.
  plan = CsvPlan(
      "02:4B:44:00:00:01,10.0.0.2,255.255.255.0,10.0.0.254,10.0.0.253\n"
      "02:4B:44:00:00:02,10.0.0.1,255.255.255.0,10.0.0.254,10.0.0.253\n"
      "02:4B:44:00:00:03,10.0.0.1,255.255.255.0,10.0.0.254,10.0.0.253\n",
      {listed[0], listed[1], listed[2]}, {});
  EXPECT_THAT(plan.refusals, ElementsAre("line 2: 10.0.0.1 is planned for line 3 too",
                                         "line 3: 10.0.0.1 is planned for line 2 too"));
  plan = CsvPlan("02:4B:44:00:00:01,10.0.0.0,255.255.255.0,10.0.0.254,10.0.0.253\n"
                 "02:4B:44:00:00:02,10.0.0.2,255.255.255.0,10.0.9.254,10.0.0.253\n",
                 listed, {});
  EXPECT_THAT(plan.refusals, ElementsAre("line 1: 10.0.0.0 is the network address of netmask 255.255.255.0"));
  EXPECT_THAT(plan.warnings, ElementsAre("line 2: Unresonable Gateway - [10.0.9.254]"));
}

// 20,000 rows planning one address: each refusal names five other rows and
// counts the rest, in line order, in time proportional to the rows.
TEST(CsvPlan, ARefusalNamesAtMostFiveOtherRows) {
  constexpr int kRows = 20000;
  std::vector<PlanDevice> listed;
  std::string csv;
  for (int i = 0; i < kRows; ++i) {
    char mac[24];
    std::snprintf(mac, sizeof(mac), "02:4B:44:00:%02X:%02X", i >> 8, i & 0xFF);
    listed.push_back(Device("10.0.1.1", mac));
    csv += std::string(mac) + ",10.0.0.9,255.255.255.0,10.0.0.254,10.0.0.253\n";
  }
  const ReaddressPlan plan = CsvPlan(csv, listed, {});
  ASSERT_EQ(plan.refusals.size(), static_cast<std::size_t>(kRows));
  EXPECT_EQ(plan.refusals[0],
            "line 1: 10.0.0.9 is planned for line 2, line 3, line 4, line 5, line 6 and 19994 more too");
  EXPECT_EQ(plan.refusals[3],
            "line 4: 10.0.0.9 is planned for line 1, line 2, line 3, line 5, line 6 and 19994 more too");
  EXPECT_EQ(plan.refusals.back(),
            "line 20000: 10.0.0.9 is planned for line 1, line 2, line 3, line 4, line 5 and 19994 more too");
}

TEST(ReaddressPlan, EachRowSendsWhatTheDialogSendsOnItsInterface) {
  std::vector<PlanDevice> listed = {Device("10.0.0.1", Mac(1), "eth1"), Device("10.0.0.2", Mac(2), "eth2")};
  ReaddressPlan plan = CsvPlan(
      "02:4B:44:00:00:01,10.0.1.1,255.255.0.0,10.0.0.254,10.0.0.253\n02:4B:44:00:00:02,dhcp\n", listed, {});
  ASSERT_FALSE(plan.Refused());
  CapturingSender sender;
  MemoryLog log;
  for (const PlanRow& row : plan.rows) EXPECT_TRUE(SendPlanRow(row, sender, log));
  ASSERT_EQ(sender.sent.size(), 2u);
  EXPECT_EQ(PlainText(sender.sent[0]),
            "Zentravox,03,M100,P1,Cam01,10.0.1.1,80,255.255.0.0,10.0.0.254,10.0.0.253,02:4B:44:00:00:01,D1,static");
  EXPECT_EQ(PlainText(sender.sent[1]),
            "Zentravox,03,M100,P1,Cam02,10.0.0.2,80,255.255.255.0,192.168.0.1,192.168.0.2,02:4B:44:00:00:02,D1,dhcp");
  EXPECT_THAT(sender.sent_for, ElementsAre("eth1", "eth2"));

  // The same bytes as the dialog's "Apply" with the same texts.
  CapturingSender dialog;
  NetSetupRules rules(dialog, log);
  NetFormTexts texts = TextsOfRecord(listed[0].record);
  texts[NetEdit::kIp] = "10.0.1.1";
  texts[NetEdit::kNetmask] = "255.255.0.0";
  texts[NetEdit::kGateway] = "10.0.0.254";
  texts[NetEdit::kDns] = "10.0.0.253";
  rules.Apply(NetworkType::kStatic, texts);
  EXPECT_EQ(dialog.sent, std::vector<std::string>{sender.sent[0]});

  sender.result = -1;
  EXPECT_FALSE(SendPlanRow(plan.rows[0], sender, log));
}

TEST(ReaddressPlan, VerificationTellsNewUnchangedOtherAndMissing) {
  std::vector<PlanDevice> listed;
  for (int i = 1; i <= 5; ++i) listed.push_back(Device("10.0.0." + std::to_string(i), Mac(i)));
  ReaddressPlan plan = SequentialPlan({listed[0], listed[1], listed[2], listed[3]}, Static("10.0.0.101"), listed, {});
  ASSERT_FALSE(plan.Refused());
  plan.rows.push_back(CsvPlan("02:4B:44:00:00:05,dhcp", listed, {}).rows.front());

  auto moved = [](PlanDevice d, const std::string& ip) {
    SetField(d.record.ip, ip);
    SetField(d.record.gateway, "10.0.0.254");
    SetField(d.record.dns, "10.0.0.253");
    return d;
  };
  PlanDevice first = moved(listed[0], "10.0.0.101");
  SetField(first.record.mac, "02:4b:44:00:00:01");  // case does not matter
  std::vector<PlanDevice> found = {first, listed[1], moved(listed[2], "10.0.0.77"), moved(listed[4], "10.0.0.150"),
                                   // The second device also answers at its new address: that counts.
                                   moved(listed[1], "10.0.0.102")};
  std::vector<RowOutcome> outcomes = VerifyPlan(plan, found, {});
  ASSERT_EQ(outcomes.size(), 5u);
  std::vector<std::string> statuses;
  for (std::size_t i = 0; i < outcomes.size(); ++i) statuses.push_back(OutcomeStatus(outcomes[i]));
  // A DHCP device that answers cannot confirm its settings: counted apart,
  // and the verification does not succeed while a static row is elsewhere.
  EXPECT_THAT(statuses, ElementsAre("at new settings", "at new settings", "at other settings (10.0.0.77)",
                                    "not found", "answered (DHCP) at 10.0.0.150"));
  EXPECT_EQ(outcomes[1].found, 4);  // the answer that counted
  EXPECT_EQ(VerificationSummary(outcomes), "2 of 5 at new settings - 1 answered (DHCP), which cannot be confirmed");
  EXPECT_FALSE(VerificationSucceeded(outcomes));
  found[1] = listed[1];
  found.pop_back();
  EXPECT_EQ(VerifyPlan(plan, found, {})[1].outcome, PlanOutcome::kUnchanged);
  EXPECT_EQ(VerifyPlan(plan, found, {})[1].found_ip, "10.0.0.2");

  // A row whose package never went out stays "not sent", whatever answers.
  outcomes = VerifyPlan(plan, found, {true, false, true, true, false});
  EXPECT_EQ(OutcomeStatus(outcomes[1]), "not sent");
  EXPECT_EQ(OutcomeStatus(outcomes[4]), "not sent");
  EXPECT_EQ(VerificationSummary(outcomes), "1 of 5 at new settings - 2 not sent");

  // Success: every static row at its new settings, every DHCP row answered.
  plan.rows = {plan.rows[0], plan.rows[4]};
  found = {first, moved(listed[4], "10.0.0.150")};
  EXPECT_TRUE(VerificationSucceeded(VerifyPlan(plan, found, {})));
  EXPECT_FALSE(VerificationSucceeded(VerifyPlan(plan, {first}, {})));  // the DHCP device is silent
}

// Every form the C library reads but that is no strict dotted quad, in every
// cell of a static row: refused, naming its line, cell and text. Before, each
// of these was a plan that went out.
TEST(CsvPlan, AnAddressOutsideTheStrictRuleIsRefusedInEveryCell) {
  const std::vector<PlanDevice> listed = {Device("10.99.0.20", Mac(1)), Device("10.99.0.11", Mac(2))};
  const char* captions[] = {"IP Address", "Netmask", "Gateway", "DNS"};
  for (const char* text : {"10.99.0.62 x", "10.99.0.012", "010.99.0.63", "0x0a.99.0.64", "10.99.65", "10.99.0.011",
                           "10.99.0.68 ;x", "255.255.255.255"}) {
    for (int cell = 0; cell < 4; ++cell) {
      std::vector<std::string> cells = {"10.99.0.40", "255.255.255.0", "10.99.0.254", "10.99.0.253"};
      cells[cell] = text;
      const ReaddressPlan plan =
          CsvPlan(Mac(1) + "," + cells[0] + "," + cells[1] + "," + cells[2] + "," + cells[3] + "\n", listed, {});
      const std::string reason = NotStrictReason(text);
      EXPECT_THAT(plan.refusals, ElementsAre("line 1: Invalid " + std::string(captions[cell]) + " - [" + text + "]" +
                                             (reason.empty() ? "" : ": " + reason)))
          << text << " in cell " << cell;
    }
  }
}

// A listed device that reports "10.99.0.011" may be at 10.99.0.11 or at
// 10.99.0.9: no plan and no single device's address gives either away, and
// a run skips both.
TEST(ReaddressPlan, ADeviceReportingAnotherFormKeepsEachOfItsReadings) {
  const PlanDevice odd = Device("10.99.0.011", Mac(1));
  const PlanDevice moving = Device("10.99.0.20", Mac(2));
  const std::vector<PlanDevice> listed = {odd, moving};
  for (const char* taken : {"10.99.0.11", "10.99.0.9"}) {
    const ReaddressPlan plan =
        CsvPlan(Mac(2) + "," + taken + ",255.255.255.0,10.99.0.254,10.99.0.253\n", listed, {});
    EXPECT_THAT(plan.refusals, ElementsAre("line 1: " + std::string(taken) + " is held by " + Mac(1) +
                                           ", which the plan leaves as it is"));
    const std::optional<AddressRefusal> refused =
        CheckDeviceAddress({taken, "255.255.255.0", "10.99.0.254"}, {moving, {}, listed});
    ASSERT_TRUE(refused) << taken;
    EXPECT_EQ(refused->reason, std::string(taken) + " is held by " + Mac(1));
  }
  EXPECT_FALSE(CsvPlan(Mac(2) + ",10.99.0.12,255.255.255.0,10.99.0.254,10.99.0.253\n", listed, {}).Refused());
  // The device itself may be given either.
  EXPECT_FALSE(CsvPlan(Mac(1) + ",10.99.0.11,255.255.255.0,10.99.0.254,10.99.0.253\n", listed, {}).Refused());
  EXPECT_THAT(Ips(SequentialPlan({moving}, Static("10.99.0.9"), listed, {})), ElementsAre("10.99.0.10"));
  EXPECT_THAT(Ips(SequentialPlan({moving}, Static("10.99.0.11"), listed, {})), ElementsAre("10.99.0.12"));
}

// A device that answers with another form of its planned address is not at
// its new settings: the verification compares addresses as addresses.
TEST(ReaddressPlan, AnAnswerInAnotherFormIsNotAtTheNewSettings) {
  const std::vector<PlanDevice> listed = {Device("10.99.0.20", Mac(1))};
  const ReaddressPlan plan = CsvPlan(Mac(1) + ",10.99.0.11,255.255.255.0,10.99.0.254,10.99.0.253\n", listed, {});
  ASSERT_FALSE(plan.Refused());
  PlanDevice answer = listed[0];
  SetField(answer.record.netmask, "255.255.255.0");
  SetField(answer.record.gateway, "10.99.0.254");
  SetField(answer.record.dns, "10.99.0.253");
  for (const char* ip : {"10.99.0.011", "10.99.0.11 ", "10.99.11"}) {
    SetField(answer.record.ip, ip);
    EXPECT_EQ(OutcomeStatus(VerifyPlan(plan, {answer}, {})[0]), "at other settings (" + std::string(ip) + ")");
  }
  SetField(answer.record.ip, "10.99.0.11");
  EXPECT_EQ(VerifyPlan(plan, {answer}, {})[0].outcome, PlanOutcome::kAtNewSettings);
}

// A static address outside every subnet of this PC on the device's interface
// is sent with a warning in the notes' words; a relay's device gets none.
TEST(ReaddressPlan, AnAddressOutsideTheInterfacesSubnetsIsAWarning) {
  const std::vector<OwnAddress> own = {{"eth0", 0x0A630001u, 0xFFFFFF00u},   // 10.99.0.1/24
                                       {"eth0", 0xC0A80001u, 0xFFFF0000u},   // 192.168.0.1/16
                                       {"eth1", 0x0A4D0001u, 0xFFFF0000u}};  // 10.77.0.1/16
  struct Case {
    const char* ip;
    const char* interface;
    const char* warning;
  };
  const Case cases[] = {
      {"10.99.0.50", "eth0", ""},
      {"192.168.7.50", "eth0", ""},  // the second subnet of the link
      {"10.99.1.50", "eth0", "the device will not be reachable from eth0 (10.99.0.1/24, 192.168.0.1/16)"},
      {"10.99.0.50", "eth1", "the device will not be reachable from eth1 (10.77.0.1/16)"},
      {"10.99.1.50", "", ""},      // through a relay: its network is elsewhere
      {"10.99.1.50", "eth9", ""},  // no address of this PC there to judge by
      {"10.99.1.50 x", "eth0", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(UnreachableWarning(c.ip, c.interface, own), c.warning) << c.ip << c.interface;

  const std::vector<PlanDevice> listed = {Device("10.99.0.20", Mac(1)), Device("10.99.0.21", Mac(2)),
                                          Device("10.77.0.22", Mac(3), "eth1"), Device("10.99.0.23", Mac(4), "")};
  ReaddressPlan plan = CsvPlan(Mac(1) + ",10.99.1.20,255.255.0.0,10.99.0.254,10.99.0.253\n" + Mac(2) +
                                   ",10.99.0.30,255.255.255.0,10.99.0.254,10.99.0.253\n",
                               listed, own);
  EXPECT_FALSE(plan.Refused());
  EXPECT_THAT(plan.warnings,
              ElementsAre("line 1: the device will not be reachable from eth0 (10.99.0.1/24, 192.168.0.1/16)"));
  // A selection: one line per interface, naming its rows.
  plan = SequentialPlan(listed, Static("10.99.1.1", "255.255.0.0", "10.99.0.254"), listed, own);
  EXPECT_FALSE(plan.Refused());
  EXPECT_THAT(plan.warnings,
              ElementsAre(Mac(1) + ", " + Mac(2) +
                              ": the device will not be reachable from eth0 (10.99.0.1/24, 192.168.0.1/16)",
                          Mac(3) + ": the device will not be reachable from eth1 (10.77.0.1/16)"));
}

// Network Setup rules without a window: address and gateway checks, network
// type, the outgoing record and its limits, and the record lookup of a row.
#include "netsetup/net_setup_rules.h"

#include <gtest/gtest.h>

#include "capturing_sender.h"
#include "records.h"

namespace {

NetFormTexts Texts(const std::string& ip, const std::string& netmask, const std::string& gateway) {
  NetFormTexts t;
  t[NetEdit::kModel] = "M100";
  t[NetEdit::kProj] = "P1";
  t[NetEdit::kName] = "Lobby";
  t[NetEdit::kMac] = "00:11:22:33:44:55";
  t[NetEdit::kIp] = ip;
  t[NetEdit::kNetmask] = netmask;
  t[NetEdit::kGateway] = gateway;
  t[NetEdit::kDns] = "192.168.1.2";
  t[NetEdit::kDev] = "D1";
  t[NetEdit::kPort] = "80";
  return t;
}

std::string ExitNotice(NetEdit edit, const NetFormTexts& texts, bool* refocus = nullptr) {
  NetSetupRules::ExitCheck check = NetSetupRules::CheckAddressExit(edit, texts);
  if (refocus != nullptr) *refocus = check.refocus;
  if (!check.notice.Empty()) {
    EXPECT_EQ(check.notice.caption, "Warning");
  }
  return check.notice.text;
}

}  // namespace

// The edits take strict dotted quads only (and never 255.255.255.255, which
// the dotted conversion never took): every other form that the C library
// reads stands for an address other than the one a person reads.
TEST(NetSetupRules, AddressCheckAcceptsOnlyStrictDottedQuads) {
  for (const char* bad : {"255.255.255.255", "", "abc", "1.2.3.4.5", "256.1.1.1", "10", "10.1", "0x0a.1",
                          "010.0.0.1", "10.99.0.012", "10.99.0.62 x", "10.99.0.68 ;x", " 10.99.0.1", "10.99.65"})
    EXPECT_FALSE(NetSetupRules::IsValidAddress(bad)) << bad;
  for (const char* good : {"0.0.0.0", "192.168.1.10", "255.255.255.254"})
    EXPECT_TRUE(NetSetupRules::IsValidAddress(good)) << good;

  bool refocus = false;
  NetFormTexts t = Texts("255.255.255.255", "255.255.255.0", "");
  EXPECT_EQ(ExitNotice(NetEdit::kIp, t, &refocus), "Invalid IP Address - [255.255.255.255]");
  EXPECT_TRUE(refocus);
  // An invalid gateway is reported as invalid, not as outside the subnet.
  EXPECT_EQ(ExitNotice(NetEdit::kGateway, t, &refocus), "Invalid Gateway - []");
  EXPECT_TRUE(refocus);
  t[NetEdit::kDns] = "10.1";
  EXPECT_EQ(ExitNotice(NetEdit::kDns, t, &refocus), "Invalid DNS - [10.1]");
  EXPECT_TRUE(refocus);
  t[NetEdit::kDns] = "10.0.0.1";
  EXPECT_EQ(ExitNotice(NetEdit::kDns, t), "");
  t[NetEdit::kNetmask] = "%s%n";  // texts are never taken as formats
  EXPECT_EQ(ExitNotice(NetEdit::kNetmask, t), "Invalid Netmask - [%s%n]");
}

TEST(NetSetupRules, GatewayOutsideTheSubnetIsOnlyAWarning) {
  bool refocus = true;
  EXPECT_EQ(ExitNotice(NetEdit::kGateway, Texts("192.168.1.10", "255.255.255.0", "192.168.2.1"),
                       &refocus),
            "Unresonable Gateway - [192.168.2.1]");
  EXPECT_FALSE(refocus);
  EXPECT_EQ(ExitNotice(NetEdit::kGateway, Texts("192.168.1.10", "255.255.255.0", "192.168.1.1")),
            "");
  // Only leaving Gateway runs the subnet test.
  EXPECT_EQ(ExitNotice(NetEdit::kIp, Texts("192.168.1.10", "255.255.255.0", "192.168.2.1")), "");
  EXPECT_EQ(ExitNotice(NetEdit::kNetmask, Texts("192.168.1.10", "255.255.255.0", "192.168.2.1")),
            "");
  // A netmask that does not convert compares all 32 bits.
  EXPECT_EQ(ExitNotice(NetEdit::kGateway, Texts("192.168.1.10", "bad", "192.168.1.1")),
            "Unresonable Gateway - [192.168.1.1]");
  EXPECT_EQ(ExitNotice(NetEdit::kGateway, Texts("192.168.1.10", "bad", "192.168.1.10")), "");
  // An ip that does not convert counts as 255.255.255.255 too.
  EXPECT_TRUE(NetSetupRules::GatewayOutsideSubnet("", "255.255.255.0", "192.168.1.1"));
  EXPECT_FALSE(NetSetupRules::GatewayOutsideSubnet("", "255.255.0.0", "255.255.1.1"));
}

TEST(NetSetupRules, NetworkTypeAndEnabledState) {
  using R = NetSetupRules;
  EXPECT_EQ(R::ChooseNetworkType(false, false, false), NetworkType::kNone);
  EXPECT_EQ(R::ChooseNetworkType(true, true, true), NetworkType::kStatic);
  EXPECT_EQ(R::ChooseNetworkType(false, true, true), NetworkType::kDhcp);
  EXPECT_EQ(R::ChooseNetworkType(false, false, true), NetworkType::kZonet);
  EXPECT_STREQ(R::Keyword(NetworkType::kStatic), "static");
  EXPECT_STREQ(R::Keyword(NetworkType::kDhcp), "dhcp");
  EXPECT_STREQ(R::Keyword(NetworkType::kZonet), "zonet");
  EXPECT_FALSE(R::NetworkEditsEnabled(false, false, false));
  EXPECT_TRUE(R::NetworkEditsEnabled(true, true, false));
  EXPECT_FALSE(R::NetworkEditsEnabled(false, true, true));
  EXPECT_TRUE(R::NetworkEditsEnabled(false, false, true));
}

TEST(NetSetupRules, ApplyBuildsTheControlPackageFromTheTexts) {
  CapturingSender sender;
  MemoryLog log;
  NetSetupRules rules(sender, log);

  NetSetupRules::ApplyResult none = rules.Apply(NetworkType::kNone, Texts("1.2.3.4", "", ""));
  EXPECT_EQ(none.notice.text, "Please specify the network type first.");
  EXPECT_EQ(none.notice.caption, "Warning");
  EXPECT_FALSE(none.close);
  EXPECT_TRUE(sender.sent.empty());

  // A gateway that is no address is refused, unless it is the device's own
  // text, which goes back to it as it came: an empty one here.
  NetSetupRules::ApplyResult refused =
      rules.Apply(NetworkType::kStatic, Texts("192.168.1.10", "255.255.255.0", ""));
  EXPECT_EQ(refused.notice.text, "Invalid Gateway - []");
  EXPECT_FALSE(refused.close);
  EXPECT_EQ(refused.focus, NetEdit::kGateway);
  EXPECT_TRUE(sender.sent.empty());
  tComUnitInfo device = MakeRecord({.model = "M100", .proj = "P1", .name = "Lobby", .ip = "192.168.1.20",
                                    .trigger_port = "80", .netmask = "255.255.255.0", .gateway = "",
                                    .dns = "192.168.1.2", .mac = "00:11:22:33:44:55", .dev = "D1"});
  rules.SetNeighbours({{device, "eth0"}, {}, {}});
  NetSetupRules::ApplyResult ok =
      rules.Apply(NetworkType::kStatic, Texts("192.168.1.10", "255.255.255.0", ""));
  const std::string plain =
      "Zentravox,03,M100,P1,Lobby,192.168.1.10,80,255.255.255.0,,192.168.1.2,"
      "00:11:22:33:44:55,D1,static";
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(PlainText(sender.sent[0]), plain);
  EXPECT_TRUE(log.Contains("[" + plain + "]"));
  EXPECT_TRUE(ok.sent);
  EXPECT_TRUE(ok.close);
  EXPECT_EQ(ok.notice.text,
            "Control package sent.\nPlease try to re-search the device after one minute.");
  EXPECT_EQ(ok.notice.caption, "Note");

  sender.result = -1;
  NetSetupRules::ApplyResult failed = rules.Apply(NetworkType::kZonet, Texts("10", "10", "10"));
  EXPECT_EQ(PlainText(sender.sent.back()),
            "Zentravox,03,M100,P1,Lobby,10,80,10,10,192.168.1.2,00:11:22:33:44:55,D1,zonet");
  EXPECT_FALSE(failed.sent);
  EXPECT_TRUE(failed.close);
  EXPECT_EQ(failed.notice.text, "Failed to send the control package.");
  EXPECT_EQ(failed.notice.caption, "Note");
}

TEST(NetSetupRules, TextsLongerThanTheirFieldAreRefused) {
  CapturingSender sender;
  MemoryLog log;
  NetSetupRules rules(sender, log);

  // 192.168.001.0010 converts, but is 16 characters for a 16-byte field.
  NetFormTexts t = Texts("192.168.001.0010", "255.255.255.0", "192.168.1.1");
  NetSetupRules::ApplyResult r = rules.Apply(NetworkType::kStatic, t);
  EXPECT_EQ(r.notice.text, "IP Address is too long - at most 15 characters");
  EXPECT_EQ(r.notice.caption, "Warning");
  EXPECT_FALSE(r.close);
  EXPECT_TRUE(r.has_focus);
  EXPECT_EQ(r.focus, NetEdit::kIp);
  EXPECT_TRUE(sender.sent.empty());
  EXPECT_TRUE(log.lines.empty());

  // Exactly width less one fits, one more does not; for every field.
  const struct {
    NetEdit edit;
    std::size_t limit;
  } limits[] = {{NetEdit::kModel, 31},   {NetEdit::kProj, 31},    {NetEdit::kName, 31},
                {NetEdit::kIp, 15},      {NetEdit::kPort, 7},     {NetEdit::kNetmask, 15},
                {NetEdit::kGateway, 15}, {NetEdit::kDns, 15},     {NetEdit::kMac, 23},
                {NetEdit::kDev, 15}};
  for (const auto& l : limits) {
    NetFormTexts texts = Texts("1.2.3.4", "255.0.0.0", "1.1.1.1");
    texts[l.edit] = std::string(l.limit, '7');
    tComUnitInfo info{};
    Notice notice;
    NetEdit refused = NetEdit::kModel;
    ASSERT_TRUE(NetSetupRules::AssembleRecord(texts, NetworkType::kDhcp, &info, &notice, &refused))
        << NetSetupRules::Caption(l.edit);
    const int field = NetSetupRules::FieldOf(l.edit);
    EXPECT_EQ(std::string(UnitField(info, field)), texts[l.edit]);
    EXPECT_EQ(std::string(info.note), "dhcp");
    texts[l.edit] += "7";
    EXPECT_FALSE(NetSetupRules::AssembleRecord(texts, NetworkType::kDhcp, &info, &notice, &refused));
    EXPECT_EQ(refused, l.edit);
    EXPECT_EQ(notice.text, std::string(NetSetupRules::Caption(l.edit)) + " is too long - at most " +
                               std::to_string(l.limit) + " characters");
  }
}

TEST(NetSetupRules, RowLookupByIpAndMacCells) {
  DeviceTable table;
  table.devices.Append(TestDevice("10.0.0.1", "00:00:00:00:00:01", "first"), "eth0");
  table.devices.Append(TestDevice("10.0.0.2", "00:00:00:00:00:02", "other"));
  table.devices.Append(TestDevice("10.0.0.1", "00:00:00:00:00:01", "second"), "wlan0");
  table.devices.AppendUpnp(TestDevice("10.0.0.3", "NULL", "upnp"), 0);
  table.grid.SetRowCount(4);
  table.grid.SetRow(1, GridRowOf(table.devices.At(0)));
  table.grid.SetRow(2, GridRowOf(table.devices.At(1)));
  table.grid.SetRow(3, GridRowOf(table.devices.At(3)));

  table.selected_row = 1;
  std::vector<tComUnitInfo> found = NetworkSetupRecords(table);
  ASSERT_EQ(found.size(), 2u);
  EXPECT_STREQ(found[0].name, "first");
  EXPECT_STREQ(found[1].name, "second");
  std::vector<std::string> interfaces = {"stale"};
  EXPECT_EQ(NetworkSetupRecords(table, &interfaces).size(), 2u);
  EXPECT_EQ(interfaces, (std::vector<std::string>{"eth0", "wlan0"}));

  table.selected_row = 3;  // a row found by UPnP
  EXPECT_TRUE(NetworkSetupRecords(table, &interfaces).empty());
  EXPECT_TRUE(interfaces.empty());

  // Exact and case-sensitive.
  table.grid.SetCell(kMacColumn, 2, "00:00:00:00:00:02 ");
  table.selected_row = 2;
  EXPECT_TRUE(NetworkSetupRecords(table).empty());

  // Rows outside the grid name nothing, even if their old texts are kept.
  table.grid.SetRow(4, GridRowOf(table.devices.At(1)));
  table.selected_row = 4;
  EXPECT_TRUE(NetworkSetupRecords(table).empty());
  table.selected_row = 0;
  EXPECT_TRUE(NetworkSetupRecords(table).empty());
}

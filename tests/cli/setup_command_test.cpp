// `device-search setup`: arguments, the device's record as the starting
// point, the gateway warning and the package sent.
#include "cli/setup_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "capturing_sender.h"
#include "cli/search_options.h"
#include "netsetup/readdress_plan.h"
#include "protocol/ipv4_text.h"
#include "records.h"

namespace {

const char kMac[] = "00:11:22:33:44:55";

tComUnitInfo Device() {
  return MakeRecord({.model = "M100", .proj = "P1", .name = "Lobby", .ip = "10.99.0.20", .trigger_port = "80",
                     .netmask = "255.255.255.0", .gateway = "10.99.0.1", .dns = "10.99.0.1",
                     .mac = "00:11:22:33:44:55", .dev = "D1", .note = "old"});
}

std::optional<SetupCommand> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string e;
  auto cmd = ParseSetupArguments(args, e);
  if (error) *error = e;
  return cmd;
}

}  // namespace

TEST(SetupCommand, ReadsTheTypeAndWhereToSend) {
  ASSERT_TRUE(Parse({"--mac", kMac, "--dhcp"}));
  auto cmd = Parse({"--mac", kMac, "--static", "--ip", "10.0.0.1", "--netmask", "255.0.0.0",
                    "--gateway", "10.0.0.254", "--relay", "10.99.0.2", "--protocol", "udp"});
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->type, NetworkType::kStatic);
  EXPECT_TRUE(cmd->settings.ip_relay);
  EXPECT_EQ(cmd->settings.relay_protocol, "UDP");
  cmd = Parse({"--mac", kMac, "--dhcp", "--interface", "eth1", "--interface", "eth2"});
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->settings.interfaces, (std::vector<std::string>{"eth1", "eth2"}));
}

TEST(SetupCommand, RefusesMissingOrContradictoryArgumentsBeforeAnythingIsSent) {
  std::string error;
  EXPECT_FALSE(Parse({"--dhcp"}, &error));
  EXPECT_EQ(error, "--mac is required");
  EXPECT_FALSE(Parse({"--mac", kMac, "--dhcp", "--static"}, &error));
  EXPECT_FALSE(Parse({"--mac", kMac}, &error));
  EXPECT_EQ(error, "give exactly one of --dhcp and --static");
  EXPECT_FALSE(Parse({"--mac", kMac, "--static", "--ip", "10.0.0.1"}, &error));
  EXPECT_EQ(error, "--static needs --ip, --netmask and --gateway");
  EXPECT_FALSE(Parse({"--mac", kMac, "--dhcp", "--ip", "10.0.0.1"}, &error));
  EXPECT_FALSE(Parse({"--mac", kMac, "--dhcp", "--interface", "eth1", "--relay", "10.99.0.2"}, &error));
  EXPECT_EQ(error, kInterfaceWithRelayError);
  // An empty relay address would send the package to 255.255.255.255.
  EXPECT_FALSE(Parse({"--mac", kMac, "--dhcp", "--relay", ""}, &error));
  EXPECT_EQ(error, "--relay needs an address");
}

// Given addresses are checked with the dialog's rule and message.
TEST(SetupCommand, RefusesAddressesTheDialogRefuses) {
  std::string error;
  EXPECT_FALSE(Parse({"--mac", kMac, "--static", "--ip", "255.255.255.255", "--netmask", "255.0.0.0",
                      "--gateway", "10.0.0.1"},
                     &error));
  EXPECT_EQ(error, "Invalid IP Address - [255.255.255.255]");
  EXPECT_FALSE(Parse({"--mac", kMac, "--static", "--ip", "10.0.0.2", "--netmask", "255.0.0.0",
                      "--gateway", "10.0.0.1", "--dns", ""},
                     &error));
  EXPECT_EQ(error, "Invalid DNS - []");
}

// --help needs none of the required options, but is no MAC's value.
TEST(SetupCommand, HelpNeedsNoOtherOption) {
  auto cmd = Parse({"--help"});
  ASSERT_TRUE(cmd);
  EXPECT_TRUE(cmd->help);
  std::string error;
  EXPECT_FALSE(Parse({"--mac", "-h", "--dhcp"}, &error));
  EXPECT_EQ(error, "--mac needs six hexadecimal pairs such as 00:11:22:33:44:55, not '-h'");
}

TEST(SetupCommand, DhcpCarriesTheDevicesAddressesUnchanged) {
  auto cmd = Parse({"--mac", "00:11:22:33:44:55", "--dhcp"});
  ASSERT_TRUE(cmd);
  CapturingSender sender;
  NullLog log;
  std::ostringstream out, err;
  EXPECT_EQ(ApplySetup(*cmd, {{Device(), "eth0"}, {}, {}}, sender, log, out, err), 0);
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(PlainText(sender.sent[0]),
            "Zentravox,03,M100,P1,Lobby,10.99.0.20,80,255.255.255.0,10.99.0.1,10.99.0.1,"
            "00:11:22:33:44:55,D1,dhcp");
  EXPECT_EQ(out.str(), "Control package sent.\nPlease try to re-search the device after one minute.\n");
  EXPECT_EQ(err.str(), "");
}

TEST(SetupCommand, StaticKeepsWhatIsNotGivenAndWarnsAboutTheGateway) {
  auto cmd = Parse({"--mac", "00:11:22:33:44:55", "--static", "--ip", "192.168.1.10", "--netmask",
                    "255.255.255.0", "--gateway", "192.168.2.1"});
  ASSERT_TRUE(cmd);
  CapturingSender sender;
  sender.result = -1;
  NullLog log;
  std::ostringstream out, err;
  EXPECT_EQ(ApplySetup(*cmd, {{Device(), "eth0"}, {}, {}}, sender, log, out, err), 1);
  ASSERT_EQ(sender.sent.size(), 1u);
  EXPECT_EQ(PlainText(sender.sent[0]),
            "Zentravox,03,M100,P1,Lobby,192.168.1.10,80,255.255.255.0,192.168.2.1,10.99.0.1,"
            "00:11:22:33:44:55,D1,static");
  EXPECT_EQ(err.str(), "Warning: Unresonable Gateway - [192.168.2.1]\n");
  EXPECT_EQ(out.str(), "Failed to send the control package.\n");
}

TEST(SetupCommand, FindsDevicesByMacIgnoringCase) {
  DeviceList list;
  tComUnitInfo a = Device(), b = Device();
  SetField(b.ip, "10.99.0.21");
  SetField(b.mac, "00:11:22:33:44:AA");
  list.Append(a);
  list.Append(b);
  EXPECT_EQ(DevicesWithMac(list, "00:11:22:33:44:aa").size(), 1u);
  EXPECT_EQ(DevicesWithMac(list, "00:11:22:33:44:55").size(), 1u);
  EXPECT_TRUE(DevicesWithMac(list, "00:11:22:33:44").empty());
  list.Append(a);
  EXPECT_EQ(DevicesWithMac(list, "00:11:22:33:44:55").size(), 2u);
}

// One table of static addresses run against the Network Setup dialog's
// "Apply", `setup --static` and a CSV plan alike: each refuses the same ones
// for the same reason and sends the others. The device answered on eth0 (or,
// with no interface, through a relay), where this PC is 10.0.0.100; this PC
// is 10.0.5.1 on eth1, and another device keeps 10.0.0.30.
TEST(AddressRules, TheDialogSetupAndPlansRefuseTheSameAddresses) {
  const std::string mac = "02:4B:44:00:00:01";
  const tComUnitInfo record = TestDevice("10.0.0.20", mac);
  const std::vector<OwnAddress> own = {{"eth0", *StrictAddress("10.0.0.100")}, {"eth1", *StrictAddress("10.0.5.1")}};
  const PlanDevice other = {TestDevice("10.0.0.30", "02:4B:44:00:00:02"), "eth0"};
  const AddressField ip = AddressField::kIp, netmask = AddressField::kNetmask;
  struct Case {
    std::string ip, netmask, gateway, interface;
    std::string reason;  // "": sent
    AddressField field = AddressField::kIp;
  };
  const Case cases[] = {
      {"10.0.0.50", "255.255.255.0", "10.0.0.1", "eth0", ""},
      {"10.0.0.50", "255.255.255.0", "0.0.0.0", "eth0", ""},  // no gateway: no warning either
      {"10.0.0.20", "255.255.255.0", "10.0.0.1", "eth0", ""},  // the device's own address
      {"10.0.5.1", "255.255.255.0", "0.0.0.0", "eth0", ""},    // this PC's, but on another interface
      {"10.0.0.100", "255.255.255.0", "10.0.0.1", "", ""},     // through a relay: another network
      {"10.0.0.50", "255.0.255.0", "10.0.0.1", "eth0", "255.0.255.0 is not a contiguous netmask", netmask},
      {"10.0.0.50", "0.0.0.0", "0.0.0.0", "eth0", "0.0.0.0 is not a usable netmask", netmask},
      {"0.0.0.0", "255.255.255.0", "0.0.0.0", "eth0", "0.0.0.0 is not a device address", ip},
      {"127.0.0.1", "255.0.0.0", "0.0.0.0", "eth0", "127.0.0.1 is a loopback address", ip},
      {"224.0.0.5", "255.255.255.0", "0.0.0.0", "eth0", "224.0.0.5 is a multicast address", ip},
      {"240.0.0.1", "255.255.255.0", "0.0.0.0", "eth0", "240.0.0.1 is a reserved (class E) address", ip},
      {"10.0.0.0", "255.255.255.0", "10.0.0.1", "eth0", "10.0.0.0 is the network address of netmask 255.255.255.0", ip},
      {"10.0.0.255", "255.255.255.0", "10.0.0.1", "eth0", "10.0.0.255 is the broadcast address of netmask 255.255.255.0",
       ip},
      {"10.0.0.1", "255.255.255.0", "10.0.0.1", "eth0", "10.0.0.1 is the gateway's address", ip},
      {"10.0.0.100", "255.255.255.0", "10.0.0.1", "eth0", "10.0.0.100 is this PC's address on eth0", ip},
      {"10.0.0.30", "255.255.255.0", "10.0.0.1", "eth0", "10.0.0.30 is held by 02:4B:44:00:00:02", ip},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ip + " " + c.netmask + " " + c.gateway + " on '" + c.interface + "'");
    const PlanDevice device = {record, c.interface};
    const AddressNeighbours neighbours = {device, own, {device, other}};
    const bool sent = c.reason.empty();
    const std::string invalid = (c.field == ip ? "Invalid IP Address - [" : "Invalid Netmask - [") +
                                (c.field == ip ? c.ip : c.netmask) + "]";
    NullLog log;

    // The dialog: refused on "Apply", the reason under the dialog's words,
    // the focus on the edit.
    CapturingSender dialog_sender;
    NetSetupRules rules(dialog_sender, log);
    rules.SetNeighbours(neighbours);
    NetFormTexts texts = TextsOfRecord(record);
    texts[NetEdit::kIp] = c.ip;
    texts[NetEdit::kNetmask] = c.netmask;
    texts[NetEdit::kGateway] = c.gateway;
    NetSetupRules::ApplyResult applied = rules.Apply(NetworkType::kStatic, texts);
    EXPECT_EQ(applied.sent, sent);
    EXPECT_EQ(dialog_sender.sent.size(), sent ? 1u : 0u);
    if (!sent) {
      EXPECT_EQ(applied.notice.text, invalid + "\n" + c.reason);
      EXPECT_FALSE(applied.close);
      EXPECT_EQ(applied.focus, c.field == ip ? NetEdit::kIp : NetEdit::kNetmask);
    }

    // setup --static: the rules that need no search refuse the arguments,
    // the others after the search; exit status 2 either way.
    CapturingSender setup_sender;
    std::string error;
    std::optional<SetupCommand> cmd = ParseSetupArguments(
        {"--mac", mac, "--static", "--ip", c.ip, "--netmask", c.netmask, "--gateway", c.gateway}, error);
    std::ostringstream out, err;
    const int status = cmd ? ApplySetup(*cmd, neighbours, setup_sender, log, out, err) : 2;
    EXPECT_EQ(status, sent ? 0 : 2);
    EXPECT_EQ(setup_sender.sent.size(), sent ? 1u : 0u);
    if (cmd)
      EXPECT_EQ(err.str(), sent ? "" : "device-search: " + invalid + ": " + c.reason + "; nothing was sent\n");
    else
      EXPECT_EQ(error, invalid + ": " + c.reason);

    // A plan: its line named, nothing else wrong with it.
    const ReaddressPlan plan =
        CsvPlan(mac + "," + c.ip + "," + c.netmask + "," + c.gateway + ",10.0.0.253", {device, other}, own);
    EXPECT_EQ(plan.Refused(), !sent);
    EXPECT_TRUE(plan.warnings.empty()) << plan.warnings.front();
    if (!sent) {
      ASSERT_EQ(plan.refusals.size(), 1u);
      EXPECT_EQ(plan.refusals[0].rfind("line 1: " + c.reason, 0), 0u) << plan.refusals[0];
    }
  }

  // DHCP hands out nothing: a device at 127.0.0.1 can always go back to it.
  const PlanDevice lost = {TestDevice("127.0.0.1", mac), "eth0"};
  const AddressNeighbours neighbours = {lost, own, {lost, other}};
  NullLog log;
  CapturingSender sender;
  NetSetupRules rules(sender, log);
  rules.SetNeighbours(neighbours);
  EXPECT_TRUE(rules.Apply(NetworkType::kDhcp, TextsOfRecord(lost.record)).sent);
  std::string error;
  std::optional<SetupCommand> cmd = ParseSetupArguments({"--mac", mac, "--dhcp"}, error);
  ASSERT_TRUE(cmd) << error;
  std::ostringstream out, err;
  EXPECT_EQ(ApplySetup(*cmd, neighbours, sender, log, out, err), 0);
  const ReaddressPlan plan = CsvPlan(mac + ",dhcp", {lost, other}, own);
  ASSERT_FALSE(plan.Refused()) << plan.refusals.front();
  EXPECT_TRUE(SendPlanRow(plan.rows[0], sender, log));
  ASSERT_EQ(sender.sent.size(), 3u);
  for (const std::string& package : sender.sent)
    EXPECT_EQ(PlainText(package),
              "Zentravox,03,M100,P1,Lobby,127.0.0.1,80,255.255.255.0,192.168.0.1,192.168.0.2," + mac + ",D1,dhcp");
}

// --mac is six hexadecimal pairs, refused before anything is searched.
TEST(SetupCommand, RefusesAMacThatIsNotSixHexadecimalPairs) {
  std::string error;
  for (const char* bad : {"zz:zz", "00:11:22:33:44", "00:11:22:33:44:55:66", "NULL:::::", "00:11:22:33:44:5g",
                          "00:11:22:33:44:555"}) {
    EXPECT_FALSE(Parse({"--mac", bad, "--dhcp"}, &error)) << bad;
    EXPECT_EQ(error, std::string("--mac needs six hexadecimal pairs such as 00:11:22:33:44:55, not '") + bad + "'");
  }
  EXPECT_TRUE(Parse({"--mac", "00-1a-2B-3c-4D-5e", "--dhcp"}));
}

// A device's text in the list of devices that share the MAC is escaped.
TEST(SetupCommand, DevicesWithTheSameMacAreListedEscaped) {
  tComUnitInfo a = Device(), b = Device();
  SetField(b.name, "\x1b]0;pwned\x07");
  SetField(b.ip, "\x1b[2J");
  std::ostringstream listing;
  PrintDevicesWithSameMac({a, b}, "00:11:22:33:44:55", listing);
  EXPECT_EQ(listing.str(),
            "device-search: 2 devices have MAC 00:11:22:33:44:55:\n"
            "  M100  Lobby  10.99.0.20  00:11:22:33:44:55\n"
            "  M100  \\x1b]0;pwned\\x07  \\x1b[2J  00:11:22:33:44:55\n");
}

// Each address option takes a strict dotted quad only: any other form that
// the C library would read as some address is refused before the search,
// with exit status 2. Before, "10.99.0.68 ;x" went out and the device kept
// that text as its address.
TEST(SetupCommand, AnAddressOutsideTheStrictRuleIsRefusedBeforeAnythingIsSent) {
  const std::pair<const char*, const char*> options[] = {
      {"--ip", "IP Address"}, {"--netmask", "Netmask"}, {"--gateway", "Gateway"}, {"--dns", "DNS"}};
  for (const char* text : {"10.99.0.68 ;x", "10.99.0.62 x", "10.99.0.012", "010.99.0.63", "0x0a.99.0.64", "10.99.65"}) {
    for (const auto& [option, caption] : options) {
      std::vector<std::string> args = {"--mac",       kMac,          "--static",  "--ip",
                                       "10.99.0.40",  "--netmask",   "255.255.255.0", "--gateway",
                                       "10.99.0.254", "--dns",       "10.99.0.253"};
      for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == option) args[i + 1] = text;
      std::string error;
      EXPECT_FALSE(Parse(args, &error)) << option << " " << text;
      EXPECT_EQ(error, std::string("Invalid ") + caption + " - [" + text + "]: " + NotStrictReason(text));
    }
  }
}

// A static address outside every subnet of this PC on the interface the
// device answered on is sent, with a warning; a refused one gets none.
TEST(SetupCommand, AnAddressOutsideTheInterfacesSubnetsIsSentWithAWarning) {
  const std::vector<OwnAddress> own = {{"eth0", *StrictAddress("10.99.0.1"), *StrictAddress("255.255.255.0")}};
  const PlanDevice device = {Device(), "eth0"};
  const PlanDevice other = {TestDevice("10.99.7.30", "02:4B:44:00:00:02"), "eth0"};
  auto setup = [&](const std::string& ip, const PlanDevice& d, std::string* err_text) {
    std::optional<SetupCommand> cmd = Parse(
        {"--mac", kMac, "--static", "--ip", ip, "--netmask", "255.255.0.0", "--gateway", "10.99.0.254"});
    if (!cmd) return -1;
    CapturingSender sender;
    NullLog log;
    std::ostringstream out, err;
    const int status = ApplySetup(*cmd, {d, own, {d, other}}, sender, log, out, err);
    *err_text = err.str();
    return status;
  };
  std::string err;
  EXPECT_EQ(setup("10.99.7.20", device, &err), 0);
  EXPECT_EQ(err, "Warning: the device will not be reachable from eth0 (10.99.0.1/24)\n");
  EXPECT_EQ(setup("10.99.0.21", device, &err), 0);
  EXPECT_EQ(err, "");
  EXPECT_EQ(setup("10.99.7.20", {Device(), ""}, &err), 0);  // through a relay
  EXPECT_EQ(err, "");
  EXPECT_EQ(setup("10.99.7.30", device, &err), 2);  // refused: the refusal alone
  EXPECT_EQ(err.find("Warning"), std::string::npos) << err;
}

// `device-search setup`: arguments, the device's record as the starting
// point, the gateway warning and the package sent.
#include "cli/setup_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "capturing_sender.h"
#include "cli/search_options.h"
#include "records.h"

namespace {

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
  ASSERT_TRUE(Parse({"--mac", "a:b:c:d:e:f", "--dhcp"}));
  auto cmd = Parse({"--mac", "a:b:c:d:e:f", "--static", "--ip", "10.1", "--netmask", "255.0.0.0",
                    "--gateway", "10.0.0.1", "--relay", "10.99.0.2", "--protocol", "udp"});
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->type, NetworkType::kStatic);
  EXPECT_TRUE(cmd->settings.ip_relay);
  EXPECT_EQ(cmd->settings.relay_protocol, "UDP");
  cmd = Parse({"--mac", "m", "--dhcp", "--interface", "eth1", "--interface", "eth2"});
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->settings.interfaces, (std::vector<std::string>{"eth1", "eth2"}));
}

TEST(SetupCommand, RefusesMissingOrContradictoryArgumentsBeforeAnythingIsSent) {
  std::string error;
  EXPECT_FALSE(Parse({"--dhcp"}, &error));
  EXPECT_EQ(error, "--mac is required");
  EXPECT_FALSE(Parse({"--mac", "m", "--dhcp", "--static"}, &error));
  EXPECT_FALSE(Parse({"--mac", "m"}, &error));
  EXPECT_EQ(error, "give exactly one of --dhcp and --static");
  EXPECT_FALSE(Parse({"--mac", "m", "--static", "--ip", "10.0.0.1"}, &error));
  EXPECT_EQ(error, "--static needs --ip, --netmask and --gateway");
  EXPECT_FALSE(Parse({"--mac", "m", "--dhcp", "--ip", "10.0.0.1"}, &error));
  EXPECT_FALSE(Parse({"--mac", "m", "--dhcp", "--interface", "eth1", "--relay", "10.99.0.2"}, &error));
  EXPECT_EQ(error, kInterfaceWithRelayError);
  // An empty relay address would send the package to 255.255.255.255.
  EXPECT_FALSE(Parse({"--mac", "m", "--dhcp", "--relay", ""}, &error));
  EXPECT_EQ(error, "--relay needs an address");
}

// Given addresses are checked with the dialog's rule and message.
TEST(SetupCommand, RefusesAddressesTheDialogRefuses) {
  std::string error;
  EXPECT_FALSE(Parse({"--mac", "m", "--static", "--ip", "255.255.255.255", "--netmask", "255.0.0.0",
                      "--gateway", "10.0.0.1"},
                     &error));
  EXPECT_EQ(error, "Invalid IP Address - [255.255.255.255]");
  EXPECT_FALSE(Parse({"--mac", "m", "--static", "--ip", "10.0.0.2", "--netmask", "255.0.0.0",
                      "--gateway", "10.0.0.1", "--dns", ""},
                     &error));
  EXPECT_EQ(error, "Invalid DNS - []");
}

// --help needs none of the required options, but is no MAC's value.
TEST(SetupCommand, HelpNeedsNoOtherOption) {
  auto cmd = Parse({"--help"});
  ASSERT_TRUE(cmd);
  EXPECT_TRUE(cmd->help);
  cmd = Parse({"--mac", "-h", "--dhcp"});
  ASSERT_TRUE(cmd);
  EXPECT_FALSE(cmd->help);
  EXPECT_EQ(cmd->mac, "-h");
}

TEST(SetupCommand, DhcpCarriesTheDevicesAddressesUnchanged) {
  auto cmd = Parse({"--mac", "00:11:22:33:44:55", "--dhcp"});
  ASSERT_TRUE(cmd);
  CapturingSender sender;
  NullLog log;
  std::ostringstream out, err;
  EXPECT_EQ(ApplySetup(*cmd, Device(), sender, log, out, err), 0);
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
  EXPECT_EQ(ApplySetup(*cmd, Device(), sender, log, out, err), 1);
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

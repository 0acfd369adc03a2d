// `device-search setup`: arguments, the device's record as the starting
// point, the gateway warning and the package sent.
#include "cli/setup_command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "cli/search_options.h"
#include "protocol/codec.h"

namespace {

struct CapturingSender : ControlPackageSender {
  int Send(const char* encoded) override {
    std::vector<unsigned char> bytes(strlen(encoded) + 1, 0);
    std::size_t n = Base64Decode(bytes.data(), bytes.size(), encoded, strlen(encoded));
    Complement(bytes.data(), n);
    plain.push_back(reinterpret_cast<char*>(bytes.data()));
    return result;
  }
  std::vector<std::string> plain;
  int result = 0;
};

tComUnitInfo Device() {
  tComUnitInfo d{};
  SetField(d.model, "M100");
  SetField(d.proj, "P1");
  SetField(d.name, "Lobby");
  SetField(d.ip, "10.99.0.20");
  SetField(d.trigger_port, "80");
  SetField(d.netmask, "255.255.255.0");
  SetField(d.gateway, "10.99.0.1");
  SetField(d.dns, "10.99.0.1");
  SetField(d.mac, "00:11:22:33:44:55");
  SetField(d.dev, "D1");
  SetField(d.note, "old");
  return d;
}

std::optional<SetupCommand> Parse(std::vector<std::string> args, std::string* error = nullptr) {
  std::string e;
  auto cmd = ParseSetupArguments(args, e);
  if (error) *error = e;
  return cmd;
}

}  // namespace

TEST(SetupCommand, ArgumentsAreCheckedBeforeAnythingIsSent) {
  ASSERT_TRUE(Parse({"--mac", "a:b:c:d:e:f", "--dhcp"}));
  auto cmd = Parse({"--mac", "a:b:c:d:e:f", "--static", "--ip", "10.1", "--netmask", "255.0.0.0",
                    "--gateway", "10.0.0.1", "--relay", "10.99.0.2", "--protocol", "udp"});
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->type, NetworkType::kStatic);
  EXPECT_TRUE(cmd->settings.ip_relay);
  EXPECT_EQ(cmd->settings.relay_protocol, "UDP");

  std::string error;
  EXPECT_FALSE(Parse({"--dhcp"}, &error));
  EXPECT_EQ(error, "--mac is required");
  EXPECT_FALSE(Parse({"--mac", "m", "--dhcp", "--static"}, &error));
  EXPECT_FALSE(Parse({"--mac", "m"}, &error));
  EXPECT_EQ(error, "give exactly one of --dhcp and --static");
  EXPECT_FALSE(Parse({"--mac", "m", "--static", "--ip", "10.0.0.1"}, &error));
  EXPECT_EQ(error, "--static needs --ip, --netmask and --gateway");
  EXPECT_FALSE(Parse({"--mac", "m", "--dhcp", "--ip", "10.0.0.1"}, &error));
  EXPECT_FALSE(Parse({"--mac", "m", "--static", "--ip", "255.255.255.255", "--netmask", "255.0.0.0",
                      "--gateway", "10.0.0.1"},
                     &error));
  EXPECT_EQ(error, "Invalid IP Address - [255.255.255.255]");
  EXPECT_FALSE(Parse({"--mac", "m", "--static", "--ip", "10.0.0.2", "--netmask", "255.0.0.0",
                      "--gateway", "10.0.0.1", "--dns", ""},
                     &error));
  EXPECT_EQ(error, "Invalid DNS - []");

  // --help needs none of the required options, but is no MAC's value.
  cmd = Parse({"--help"});
  ASSERT_TRUE(cmd);
  EXPECT_TRUE(cmd->help);
  cmd = Parse({"--mac", "-h", "--dhcp"});
  ASSERT_TRUE(cmd);
  EXPECT_FALSE(cmd->help);
  EXPECT_EQ(cmd->mac, "-h");
  cmd = Parse({"--mac", "m", "--dhcp", "--interface", "eth1", "--interface", "eth2"});
  ASSERT_TRUE(cmd);
  EXPECT_EQ(cmd->settings.interfaces, (std::vector<std::string>{"eth1", "eth2"}));
  EXPECT_FALSE(Parse({"--mac", "m", "--dhcp", "--interface", "eth1", "--relay", "10.99.0.2"}, &error));
  EXPECT_EQ(error, kInterfaceWithRelayError);
  // An empty relay address would send the package to 255.255.255.255.
  EXPECT_FALSE(Parse({"--mac", "m", "--dhcp", "--relay", ""}, &error));
  EXPECT_EQ(error, "--relay needs an address");
}

TEST(SetupCommand, DhcpCarriesTheDevicesAddressesUnchanged) {
  auto cmd = Parse({"--mac", "00:11:22:33:44:55", "--dhcp"});
  ASSERT_TRUE(cmd);
  CapturingSender sender;
  NullLog log;
  std::ostringstream out, err;
  EXPECT_EQ(ApplySetup(*cmd, Device(), sender, log, out, err), 0);
  ASSERT_EQ(sender.plain.size(), 1u);
  EXPECT_EQ(sender.plain[0],
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
  ASSERT_EQ(sender.plain.size(), 1u);
  EXPECT_EQ(sender.plain[0],
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

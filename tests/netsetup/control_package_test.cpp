// The simulator's handling of control packages: static and DHCP
// re-addressing, the pool, restarts, and the packages it ignores.
#include "control_package.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "capturing_sender.h"
#include "netsetup/net_setup_rules.h"
#include "records.h"

namespace {

const char kMac1[] = "00:00:00:00:00:01";
const char kMac2[] = "00:00:00:00:00:02";

std::string Package(const std::string& ip, const std::string& mac, const std::string& keyword,
                    const std::string& netmask = "255.255.0.0") {
  return "Zentravox,03,M100,P1,Lobby," + ip + ",80," + netmask + ",10.1.0.1,10.1.0.2," + mac +
         ",D1," + keyword;
}

bool Same(const std::vector<tComUnitInfo>& a, const std::vector<tComUnitInfo>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(tComUnitInfo)) == 0);
}

}  // namespace

TEST(ControlPackage, StaticSetsTheAddressingOfTheNamedDeviceOnly) {
  DeviceSet set({TestDevice("192.168.0.20", kMac1, "one"), TestDevice("192.168.0.21", kMac2, "two")});
  DhcpPool pool;
  std::string line = ApplyControlPackage(Package("10.1.0.50", kMac2, "static") + "\n", set, pool);
  EXPECT_EQ(line,
            "control package applied: 00:00:00:00:00:02 static ip 10.1.0.50 netmask 255.255.0.0 "
            "gateway 10.1.0.1 dns 10.1.0.2");
  std::vector<tComUnitInfo> now = set.Snapshot();
  EXPECT_STREQ(now[0].ip, "192.168.0.20");
  EXPECT_STREQ(now[1].ip, "10.1.0.50");
  EXPECT_STREQ(now[1].netmask, "255.255.0.0");
  EXPECT_STREQ(now[1].gateway, "10.1.0.1");
  EXPECT_STREQ(now[1].dns, "10.1.0.2");
  EXPECT_STREQ(now[1].name, "two");  // the rest stays the device's own
  EXPECT_STREQ(now[1].note, "x");

  EXPECT_NE(ApplyControlPackage(Package("10.1.0.51", kMac1, "zonet"), set, pool)
                .find("zonet (as static)"),
            std::string::npos);
  EXPECT_STREQ(set.Snapshot()[0].ip, "10.1.0.51");
}

TEST(ControlPackage, DhcpLeasesFreeAddressesFromThePool) {
  DeviceSet set({TestDevice("10.99.0.100", "00:00:00:00:00:09", "holds the first"),
                 TestDevice("192.168.0.20", kMac1), TestDevice("192.168.0.21", kMac2)});
  DhcpPool pool("10.99.0.100", "10.99.0.102");
  EXPECT_EQ(ApplyControlPackage(Package("192.168.0.20", kMac1, "dhcp"), set, pool),
            "control package applied: 00:00:00:00:00:01 dhcp -> 10.99.0.101");
  EXPECT_EQ(ApplyControlPackage(Package("", kMac2, "dhcp"), set, pool),
            "control package applied: 00:00:00:00:00:02 dhcp -> 10.99.0.102");
  std::vector<tComUnitInfo> now = set.Snapshot();
  EXPECT_STREQ(now[1].netmask, "255.255.255.0");
  EXPECT_STREQ(now[1].gateway, "10.99.0.1");
  EXPECT_STREQ(now[2].ip, "10.99.0.102");
  // Asking again keeps the lease.
  EXPECT_EQ(ApplyControlPackage(Package("", kMac1, "dhcp"), set, pool),
            "control package applied: 00:00:00:00:00:01 dhcp -> 10.99.0.101");
  // A third device finds the pool used up and keeps its address.
  set.Update([](std::vector<tComUnitInfo>& list) {
    list.push_back(TestDevice("192.168.0.22", "00:00:00:00:00:03"));
  });
  EXPECT_EQ(ApplyControlPackage(Package("", "00:00:00:00:00:03", "dhcp"), set, pool),
            "control package applied: 00:00:00:00:00:03 dhcp -> none (pool exhausted)");
  EXPECT_STREQ(set.Snapshot()[3].ip, "192.168.0.22");
}

TEST(ControlPackage, IgnoredPackagesChangeNothing) {
  DeviceSet set({TestDevice("192.168.0.20", kMac1)});
  DhcpPool pool;
  const std::vector<tComUnitInfo> before = set.Snapshot();
  const struct {
    std::string text;
    std::string reason;
  } cases[] = {
      {Package("10.1.0.5", "00:00:00:00:00:07", "static"), "no device with mac"},
      {Package("10.1.0.5", kMac1, "Static"), "unknown network type \"Static\""},
      {Package("10.1.0.5", kMac1, ""), "unknown network type"},
      {Package("10.1.0.5", kMac1, "static") + ",extra", "14 fields"},
      {Package("10.1.0.5,", kMac1, "static"), "14 fields"},
      {"Zentravox,03,M100", "3 fields"},
      {Package("255.255.255.255", kMac1, "static"), "is no address"},
      {Package("10.1.0.5", kMac1, "static", ""), "is no address"},
      {Package("10.1.0.5", kMac1 + std::string(8, '0'), "static"), "mac longer than 23"},
      {"Zentravox,01,M100,P1,Lobby,10.1.0.5,80,255.0.0.0,g,d,00:00:00:00:00:01,D1,static",
       "not a flag-03 packet"},
      {"zentravox,03", "not a flag-03 packet"},
      {"", "not a flag-03 packet"},
  };
  for (const auto& c : cases) {
    std::string line = ApplyControlPackage(c.text, set, pool);
    EXPECT_EQ(line.rfind("control package ignored: ", 0), 0u) << c.text;
    EXPECT_NE(line.find(c.reason), std::string::npos) << line;
  }
  EXPECT_TRUE(Same(set.Snapshot(), before));
  EXPECT_TRUE(IsControlPackage(Package("1.2.3.4", kMac1, "dhcp")));
  EXPECT_TRUE(IsControlPackage(std::string("Zentravox,3,x\0junk", 18)));
  EXPECT_FALSE(IsControlPackage("Zentravox,00,????"));
}

TEST(ControlPackage, ARestartingDeviceIsSilentAndADeviceMayIgnorePackages) {
  DeviceSet set({TestDevice("192.168.0.20", kMac1, "one"), TestDevice("192.168.0.21", kMac2, "two")});
  DhcpPool pool;
  ControlBehaviour behaviour{600000, {kMac2}};
  EXPECT_EQ(ApplyControlPackage(Package("10.1.0.5", kMac1, "static"), set, pool, behaviour),
            "control package applied: 00:00:00:00:00:01 static ip 10.1.0.5 netmask 255.255.0.0 gateway 10.1.0.1 "
            "dns 10.1.0.2, restarting for 600000 ms");
  // While it restarts it answers nothing and takes no package.
  ASSERT_EQ(set.Snapshot().size(), 1u);
  EXPECT_STREQ(set.Snapshot()[0].name, "two");
  EXPECT_EQ(ApplyControlPackage(Package("10.1.0.6", kMac1, "static"), set, pool, behaviour),
            "control package ignored: 00:00:00:00:00:01 is restarting");
  EXPECT_EQ(ApplyControlPackage(Package("10.1.0.7", kMac2, "static"), set, pool, behaviour),
            "control package ignored: 00:00:00:00:00:02 ignores control packages");
  EXPECT_STREQ(set.Snapshot()[0].ip, "192.168.0.21");

  // After its restart it answers at its new settings.
  behaviour.restart_ms = 1;
  DeviceSet quick({TestDevice("192.168.0.20", kMac1, "one")});
  ApplyControlPackage(Package("10.1.0.5", kMac1, "static"), quick, pool, behaviour);
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (quick.Snapshot().empty() && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_EQ(quick.Snapshot().size(), 1u);
  EXPECT_STREQ(quick.Snapshot()[0].ip, "10.1.0.5");
}

TEST(ControlPackage, WhatTheDialogSendsReAddressesTheDevice) {
  CapturingSender sender;
  NullLog log;
  NetSetupRules rules(sender, log);
  NetFormTexts texts;
  const char* values[kNetEditCount] = {"M100",     "P1",          "Lobby",         kMac1, "10.1.0.77",
                                       "10.1.0.1", "255.255.0.0", "10.1.0.2",      "D1",  "80"};
  for (int i = 0; i < kNetEditCount; ++i) texts.text[i] = values[i];
  rules.Apply(NetworkType::kStatic, texts);
  rules.Apply(NetworkType::kDhcp, texts);
  ASSERT_EQ(sender.sent.size(), 2u);

  DeviceSet set({TestDevice("192.168.0.20", kMac1)});
  DhcpPool pool;
  ApplyControlPackage(PlainText(sender.sent[0]), set, pool);
  EXPECT_STREQ(set.Snapshot()[0].ip, "10.1.0.77");
  EXPECT_STREQ(set.Snapshot()[0].netmask, "255.255.0.0");
  ApplyControlPackage(PlainText(sender.sent[1]), set, pool);
  EXPECT_STREQ(set.Snapshot()[0].ip, "10.99.0.100");
}

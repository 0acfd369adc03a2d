// The machine's interfaces and the broadcast out of each, in a private
// network namespace with veth interfaces of its own: which interfaces a
// search uses, that each datagram leaves by the one it names (its broadcast
// comes back to a local socket with that interface's index), that a failure
// on one leaves the others, that a search without an interface ends at once,
// and that a short receive buffer is noted once a run.
#include "protocol/interfaces.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "protocol/string_printf.h"
#include "protocol/transport.h"
#include "test_network.h"

namespace {

class LocalInterfaces : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!scope_.Entered()) GTEST_SKIP() << "needs a private network namespace: " << scope_.Error();
    ASSERT_EQ(AddLocalInterface("kt0", "10.5.0.1/24"), "");
    ASSERT_EQ(AddLocalInterface("kt1", "10.7.0.1/16"), "");
  }

  static std::vector<std::string> Names(const std::vector<NetInterface>& list) {
    std::vector<std::string> names;
    for (const NetInterface& i : list) names.push_back(i.name);
    return names;
  }

  NetnsScope scope_ = NetnsScope::PrivateLoopback();
  MemoryLog log_;
};

// What arrives until `ms` pass quietly: interface name -> texts.
std::map<std::string, std::vector<std::string>> Arrivals(int sock, int ms) {
  std::map<std::string, std::vector<std::string>> seen;
  for (const auto& [name, text] : ReceiveArrivals(sock, ms)) seen[name].push_back(text);
  return seen;
}

}  // namespace

TEST_F(LocalInterfaces, ListsEachUpBroadcastIpv4InterfaceOnceAndNeverLoopback) {
  ASSERT_EQ(AddLocalInterface("kt2", ""), "");  // up, but no IPv4 address
  // A second address (with an alias label) does not list kt0 twice.
  ASSERT_EQ(RunCommand({"ip", "addr", "add", "10.5.1.1/24", "label", "kt0:1", "dev", "kt0"}).exit_code, 0);
  ASSERT_EQ(AddLocalInterface("kt3", "10.8.0.1/24"), "");
  ASSERT_EQ(RunCommand({"ip", "link", "set", "kt3", "down"}).exit_code, 0);

  std::vector<NetInterface> all = BroadcastInterfaces();
  ASSERT_EQ(Names(all), (std::vector<std::string>{"kt0", "kt1"}));
  EXPECT_EQ(DottedAddress(all[0].address), "10.5.0.1");
  EXPECT_EQ(DottedAddress(all[0].netmask), "255.255.255.0");
  ASSERT_EQ(all[0].addresses.size(), 2u);  // the first, then the alias's
  EXPECT_EQ(DottedAddress(all[0].addresses[1].address), "10.5.1.1");
  EXPECT_EQ(all[1].addresses.size(), 1u);
  EXPECT_EQ(all[1].index, if_nametoindex("kt1"));
  EXPECT_EQ(InterfaceNames(all), "kt0, kt1");

  EXPECT_EQ(Names(SelectInterfaces(all, {})), Names(all));
  EXPECT_EQ(Names(SelectInterfaces(all, {"kt1", "lo"})), (std::vector<std::string>{"kt1"}));
  EXPECT_EQ(UnknownInterfaces(all, {"kt1", "lo", "kt3", "kt0"}), (std::vector<std::string>{"lo", "kt3"}));

  // An interface that comes up is there at the next look.
  ASSERT_EQ(RunCommand({"ip", "link", "set", "kt3", "up"}).exit_code, 0);
  EXPECT_EQ(Names(BroadcastInterfaces()), (std::vector<std::string>{"kt0", "kt1", "kt3"}));
}

TEST_F(LocalInterfaces, BroadcastLeavesByEachInterfaceAndAFailureLeavesTheOthers) {
  int receiver = ArrivalSocket(kRequestPort);
  ASSERT_GE(receiver, 0);
  std::vector<NetInterface> targets = BroadcastInterfaces();
  ASSERT_EQ(targets.size(), 2u);
  NetInterface gone;  // an interface that went away after it was listed
  gone.name = "gone0";
  gone.index = 999999;
  gone.address = inet_addr("10.9.9.9");
  targets.insert(targets.begin() + 1, gone);

  EXPECT_EQ(SendBroadcastOn(targets, kRequestPort, "hello", log_), (std::vector<std::string>{"kt0", "kt1"}));
  auto seen = Arrivals(receiver, 500);
  EXPECT_EQ(seen["kt0"], std::vector<std::string>{"hello"});
  EXPECT_EQ(seen["kt1"], std::vector<std::string>{"hello"});
  EXPECT_EQ(seen.size(), 2u);
  ASSERT_EQ(log_.lines.size(), 2u);
  EXPECT_EQ(log_.lines[0].rfind("sendto() error : ", 0), 0u) << log_.lines[0];
  EXPECT_EQ(log_.lines[1], "Not sent on gone0 (10.9.9.9)\n");
  close(receiver);
}

// An answer sent to a subnet's broadcast address reached that subnet's
// address; one sent to the limited broadcast names none.
TEST(InterfaceAddresses, ABroadcastAnswerReachedTheAddressOfItsSubnet) {
  NetInterface i;
  i.addresses = {{inet_addr("10.99.0.1"), inet_addr("255.255.255.0")},
                 {inet_addr("192.168.0.1"), inet_addr("255.255.0.0")}};
  EXPECT_EQ(LocalAddressFor(i, inet_addr("10.99.0.255")), inet_addr("10.99.0.1"));
  EXPECT_EQ(LocalAddressFor(i, inet_addr("192.168.255.255")), inet_addr("192.168.0.1"));
  EXPECT_EQ(LocalAddressFor(i, inet_addr("192.168.0.255")), inet_addr("192.168.0.255"));  // a host there
  EXPECT_EQ(LocalAddressFor(i, htonl(INADDR_BROADCAST)), 0u);
}

TEST_F(LocalInterfaces, SearchGoesOutOfEveryInterfaceOrTheChosenOnes) {
  int receiver = ArrivalSocket(kRequestPort);
  ASSERT_GE(receiver, 0);
  ExchangeLimits limits;
  limits.quiet_ms = 50;
  SearchSettings settings;
  UdpSearchExchange(0, settings, log_, AnswerSink(), limits);
  auto seen = Arrivals(receiver, 300);
  EXPECT_EQ(seen["kt0"].size(), 2u);  // both passes
  EXPECT_EQ(seen["kt1"].size(), 2u);

  settings.interfaces = {"kt1"};
  UdpSearchExchange(0, settings, log_, AnswerSink(), limits);
  seen = Arrivals(receiver, 300);
  EXPECT_EQ(seen.count("kt0"), 0u);
  EXPECT_EQ(seen["kt1"].size(), 2u);
  EXPECT_TRUE(log_.lines.empty()) << log_.lines.front();

  // Named interfaces that are not there: nothing is sent and the log says so.
  settings.interfaces = {"eth7", "eth8"};
  UdpSearchExchange(0, settings, log_, AnswerSink(), limits);
  EXPECT_TRUE(Arrivals(receiver, 200).empty());
  EXPECT_EQ(log_.lines, (std::vector<std::string>{StringPrintf(kNoChosenInterfaceLog, "eth7, eth8")}));
  close(receiver);
}

TEST(NoInterface, BroadcastSearchEndsAtOnceSayingWhy) {
  NetnsScope scope = NetnsScope::PrivateLoopback();  // loopback only
  if (!scope.Entered()) GTEST_SKIP() << "needs a private network namespace: " << scope.Error();
  MemoryLog log;
  int answers = 0;
  UdpSearchExchange(0, SearchSettings{}, log, [&](const unsigned char*, std::size_t, std::size_t,
                                                  std::string_view) { ++answers; });
  // Only the reason: no reply socket was opened, so no quiet gap was waited.
  EXPECT_EQ(log.lines, (std::vector<std::string>{kNoInterfaceLog}));
  EXPECT_EQ(answers, 0);
}

TEST(ReceiveBuffer, ShortfallIsNotedOnceARun) {
  NetnsScope scope = NetnsScope::PrivateLoopback();
  if (!scope.Entered()) GTEST_SKIP() << "needs a private network namespace: " << scope.Error();
  // No process gets INT_MAX bytes: the system grants at most INT_MAX / 2, doubled.
  MemoryLog log;
  for (int search = 0; search < 2; ++search) {
    int sock = -1;
    sockaddr_in addr{};
    ASSERT_EQ(DM_CreateUDPBroadcastSocket(40001, &sock, &addr, log), 0);
    EXPECT_LT(EnlargeReceiveBuffer(sock, INT_MAX, log), INT_MAX);
    close(sock);
  }
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_NE(log.lines[0].find("less than the 2147483647 asked"), std::string::npos) << log.lines[0];
}

// The control package's way out, in a private network namespace with veth
// interfaces of its own: out of the interface the device was seen on, out of
// every (chosen) interface when that one is unknown or gone, and "sent" only
// when a datagram went out. Each broadcast comes back to a local socket with
// the index of the interface it left by.
#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>

#include "netsetup/control_sender.h"
#include "protocol/string_printf.h"
#include "protocol/transport.h"
#include "test_network.h"

namespace {

class ControlSender : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!scope_.Entered()) GTEST_SKIP() << "needs a private network namespace: " << scope_.Error();
    ASSERT_EQ(AddLocalInterface("kt0", "10.5.0.1/24"), "");
    ASSERT_EQ(AddLocalInterface("kt1", "10.7.0.1/16"), "");
    receiver_ = ArrivalSocket(kRequestPort);
    ASSERT_GE(receiver_, 0);
  }
  void TearDown() override {
    if (receiver_ >= 0) close(receiver_);
  }

  // The interfaces the packages sent meanwhile left by.
  std::multiset<std::string> LeftBy() {
    std::multiset<std::string> names;
    for (const auto& arrival : ReceiveArrivals(receiver_, 300)) names.insert(arrival.first);
    return names;
  }

  NetnsScope scope_ = NetnsScope::PrivateLoopback();
  int receiver_ = -1;
  SearchSettings settings_;
  MemoryLog log_;
};

}  // namespace

TEST_F(ControlSender, GoesOutOfTheDevicesInterfaceOrEveryOneWhenItIsUnknownOrGone) {
  UdpControlPackageSender sender(settings_, log_);
  sender.SetDeviceInterface("kt1");
  EXPECT_EQ(sender.Send("pkg"), 0);
  EXPECT_EQ(LeftBy(), (std::multiset<std::string>{"kt1"}));
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"Control package sent on kt1\n"}));

  log_.lines.clear();
  sender.SetDeviceInterface("");  // unknown
  EXPECT_EQ(sender.Send("pkg"), 0);
  EXPECT_EQ(LeftBy(), (std::multiset<std::string>{"kt0", "kt1"}));
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"Control package sent on kt0, kt1\n"}));

  log_.lines.clear();
  sender.SetDeviceInterface("eth9");  // gone since the search
  settings_.interfaces = {"kt0"};     // and the command line chose kt0
  EXPECT_EQ(sender.Send("pkg"), 0);
  EXPECT_EQ(LeftBy(), (std::multiset<std::string>{"kt0"}));
  EXPECT_EQ(log_.lines, (std::vector<std::string>{StringPrintf(kControlInterfaceGoneLog, "eth9"),
                                                 "Control package sent on kt0\n"}));
}

TEST_F(ControlSender, WithoutAnInterfaceNothingIsSentAndItSaysSo) {
  ASSERT_EQ(RunCommand({"ip", "link", "set", "kt0", "down"}).exit_code, 0);
  ASSERT_EQ(RunCommand({"ip", "link", "set", "kt1", "down"}).exit_code, 0);
  UdpControlPackageSender sender(settings_, log_);
  sender.SetDeviceInterface("kt1");
  EXPECT_EQ(sender.Send("pkg"), -1);
  EXPECT_TRUE(LeftBy().empty());
  EXPECT_EQ(log_.lines, (std::vector<std::string>{StringPrintf(kControlInterfaceGoneLog, "kt1"),
                                                 kNoControlInterfaceLog}));
}

// End-to-end: the UDP search exchange and the TCP relay exchange, run on the
// client side of a test network against device-sim on the devices side, with
// every answer fed through the reply intake into a device table.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "protocol/codec.h"
#include "protocol/intake.h"
#include "protocol/string_printf.h"
#include "protocol/transport.h"
#include "test_network.h"

namespace {

using Clock = std::chrono::steady_clock;

// Bounds short enough to keep the suite quick, long enough for a busy machine.
ExchangeLimits Fast() {
  ExchangeLimits l;
  l.quiet_ms = 200;
  l.pass_cap_ms = 2500;
  l.tcp_connect_ms = 1000;
  l.tcp_pause_ms = 100;
  l.tcp_read_ms = 2500;
  return l;
}

class TransportNet : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!TestNetwork::Supported(&why)) GTEST_SKIP() << "needs a test network: " << why;
    net_ = std::make_unique<TestNetwork>();
    ASSERT_TRUE(net_->Ready()) << net_->Error();
  }

  ChildProcess* Sim(const std::vector<std::string>& args) {
    ChildProcess* sim = net_->StartDeviceSim(args);
    EXPECT_NE(sim, nullptr) << net_->Error();
    return sim;
  }

  AnswerSink Intake() {
    return [this](const unsigned char* decoded, std::size_t size, std::size_t bound,
                  std::string_view interface) {
      interfaces_.emplace_back(interface);
      appended_.push_back(ParserPlainPkg(table_, settings_, log_, decoded, size, bound));
    };
  }

  // Runs the UDP exchange as a client; returns its wall time in ms.
  long Udp(int flag, const ExchangeLimits& limits = Fast()) {
    NetnsScope client = net_->EnterClient();
    EXPECT_TRUE(client.Entered()) << client.Error();
    Clock::time_point start = Clock::now();
    UdpSearchExchange(flag, settings_, log_, Intake(), limits);
    return Ms(start);
  }

  long Tcp(const ExchangeLimits& limits = Fast()) {
    NetnsScope client = net_->EnterClient();
    EXPECT_TRUE(client.Entered()) << client.Error();
    Clock::time_point start = Clock::now();
    TcpRelayExchange(settings_, log_, Intake(), limits);
    return Ms(start);
  }

  static long Ms(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
  }

  std::set<std::string> Addresses() const {
    std::set<std::string> ips;
    for (const tComUnitInfo& d : table_.devices.Records()) ips.insert(std::string(FieldText(d.ip)));
    return ips;
  }

  std::string Log() const {
    std::string all;
    for (const std::string& l : log_.lines) all += "[" + l + "]";
    return all;
  }

  void RelayTo(const std::string& address) {
    settings_.ip_relay = true;
    settings_.relay_address = address;
  }

  std::unique_ptr<TestNetwork> net_;
  DeviceTable table_;
  SearchSettings settings_;
  MemoryLog log_;
  std::vector<int> appended_;  // records appended per answer
  std::vector<std::string> interfaces_;  // each answer's arrival interface
};

TEST_F(TransportNet, BroadcastFindsEveryDeviceOnceOverTwoPasses) {
  // Every device answers both passes, each answer twice, in random order.
  ChildProcess* sim = Sim({"--count", "40", "--answer-twice", "--delay-ms", "80", "--models",
                           "M100,X2,A7", "--projs", "P1,P2"});
  ASSERT_NE(sim, nullptr);
  long ms = Udp(0);

  EXPECT_EQ(table_.devices.Size(), 40u);
  EXPECT_EQ(Addresses().size(), 40u);
  EXPECT_EQ(table_.row_counter, 41);
  EXPECT_EQ(table_.grid.RowCount(), 41);
  EXPECT_TRUE(log_.lines.empty()) << Log();
  EXPECT_EQ(sim->CountLines("udp request flag=00 from 10.99.0.1:"), 2) << sim->Output();
  EXPECT_GE(ms, 2 * 200);

  const tComUnitInfo* first = nullptr;
  for (const tComUnitInfo& d : table_.devices.Records()) {
    if (FieldText(d.name) == "Cam1") first = &d;
  }
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(FieldText(first->ip), "10.99.1.1");
  EXPECT_EQ(FieldText(first->mac), "02:4B:44:00:00:01");
  EXPECT_EQ(FieldText(first->model), "M100");
  EXPECT_EQ(FieldText(first->proj), "P1");
  EXPECT_EQ(FieldText(first->trigger_port), "80");
  EXPECT_EQ(FieldText(first->note), "sim");
}

TEST_F(TransportNet, TwoAnswersInOneDatagramBothArrive) {
  char path[] = "/tmp/kds-devices-XXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  {
    std::ofstream out(path);
    out << "# two devices, one datagram\n"
        << "Zentravox,01,M100,P1,Lobby,192.168.0.20,80,255.255.255.0,192.168.0.1,192.168.0.1,"
           "00:11:22:33:44:55,D1,x\n"
        << "Zentravox,01,M200,P2,Gate,192.168.0.21,8080,255.255.255.0,192.168.0.1,192.168.0.1,"
           "00:11:22:33:44:56,D2,y\n";
  }
  ChildProcess* sim = Sim({"--file", path, "--per-datagram", "2"});
  std::remove(path);
  ASSERT_NE(sim, nullptr);
  Udp(0);

  EXPECT_EQ(sim->CountLines("devices=2 datagrams=1"), 2) << sim->Output();
  ASSERT_EQ(appended_, (std::vector<int>{2, 0}));  // one datagram per pass
  EXPECT_EQ(table_.grid.Cell(kNameColumn, 1), "Lobby");
  EXPECT_EQ(table_.grid.Cell(kNameColumn, 2), "Gate");
  EXPECT_EQ(table_.grid.Cell(kPortColumn, 2), "8080");
  EXPECT_TRUE(log_.lines.empty()) << Log();
}

TEST_F(TransportNet, UdpRelayGoesToTheRelayAddress) {
  ChildProcess* sim = Sim({"--count", "3"});
  ASSERT_NE(sim, nullptr);
  RelayTo(TestNetwork::kDevicesAddress);
  Udp(2);
  EXPECT_EQ(sim->CountLines("udp request flag=02 from 10.99.0.1:"), 2) << sim->Output();
  EXPECT_EQ(sim->CountLines("flag=00"), 0);
  EXPECT_EQ(table_.devices.Size(), 3u);
  EXPECT_TRUE(log_.lines.empty()) << Log();
}

TEST_F(TransportNet, TcpRelayGivesEveryDevice) {
  ChildProcess* sim = Sim({"--count", "5", "--no-udp"});
  ASSERT_NE(sim, nullptr);
  RelayTo(TestNetwork::kDevicesAddress);
  long ms = Tcp();
  EXPECT_EQ(table_.devices.Size(), 5u);
  EXPECT_EQ(appended_, (std::vector<int>{5}));
  EXPECT_TRUE(log_.lines.empty()) << Log();
  EXPECT_TRUE(sim->WaitForLine("tcp request flag=02 from 10.99.0.1:", 1000)) << sim->Output();
  EXPECT_GE(ms, Fast().tcp_pause_ms);
}

TEST_F(TransportNet, TcpRelayThatClosesAtOnceGivesNothingAndNoMessage) {
  ChildProcess* sim = Sim({"--count", "5", "--tcp-fault", "close"});
  ASSERT_NE(sim, nullptr);
  RelayTo(TestNetwork::kDevicesAddress);
  Tcp();
  EXPECT_EQ(table_.devices.Size(), 0u);
  EXPECT_TRUE(log_.lines.empty()) << Log();
  EXPECT_TRUE(sim->WaitForLine("tcp closed at once 10.99.0.1:", 1000)) << sim->Output();
}

TEST_F(TransportNet, SilentRelayEndsAtTheReadLimit) {
  ChildProcess* sim = Sim({"--count", "5", "--tcp-fault", "silent"});
  ASSERT_NE(sim, nullptr);
  RelayTo(TestNetwork::kDevicesAddress);
  ExchangeLimits limits = Fast();
  limits.tcp_read_ms = 700;
  long ms = Tcp(limits);
  EXPECT_GE(ms, 690);
  EXPECT_LT(ms, 700 + 800);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{StringPrintf(kReadLimitLog, 700, 0)}));
  EXPECT_EQ(table_.devices.Size(), 0u);
  EXPECT_TRUE(sim->WaitForLine("tcp silent to 10.99.0.1:", 1000)) << sim->Output();
}

TEST_F(TransportNet, SlowRelayIsReadWithinTheLimitAndCutBeyondIt) {
  // Two devices, about 270 bytes at 2 ms a byte: well within 2.5 s.
  ChildProcess* sim = Sim({"--count", "2", "--tcp-fault", "slow", "--slow-byte-ms", "2"});
  ASSERT_NE(sim, nullptr);
  RelayTo(TestNetwork::kDevicesAddress);
  Tcp();
  EXPECT_EQ(table_.devices.Size(), 2u);
  EXPECT_TRUE(log_.lines.empty()) << Log();
  sim->Stop();

  // Twenty devices at 20 ms a byte would take a minute: cut at the limit.
  sim = Sim({"--count", "20", "--tcp-fault", "slow", "--slow-byte-ms", "20"});
  ASSERT_NE(sim, nullptr);
  ExchangeLimits limits = Fast();
  limits.tcp_read_ms = 800;
  long ms = Tcp(limits);
  EXPECT_LT(ms, 800 + 800);
  ASSERT_EQ(log_.lines.size(), 1u) << Log();
  EXPECT_EQ(log_.lines[0].rfind("TCP relay read stopped at its 800 ms limit; ", 0), 0u) << Log();
  EXPECT_EQ(log_.lines[0].find("; 0 bytes kept"), std::string::npos) << Log();
}

TEST_F(TransportNet, RelayThatNeverAcceptsEndsAtTheConnectLimit) {
  RelayTo(TestNetwork::kAbsentAddress);
  ExchangeLimits limits = Fast();
  limits.tcp_connect_ms = 500;
  long ms = Tcp(limits);
  EXPECT_GE(ms, 490);
  EXPECT_LT(ms, 500 + 800);
  EXPECT_EQ(log_.lines,
            (std::vector<std::string>{StringPrintf(kConnectTimeoutLog, 500), "CONNECT ERROR"}));
}

TEST_F(TransportNet, CustomizedRelayTextBroadcastsOverUdpAndFailsOverTcp) {
  ChildProcess* sim = Sim({"--count", "3"});
  ASSERT_NE(sim, nullptr);
  RelayTo("<Customized>");
  Udp(2);
  EXPECT_EQ(sim->CountLines("udp request flag=02 from 10.99.0.1:"), 2) << sim->Output();
  EXPECT_EQ(table_.devices.Size(), 3u);
  EXPECT_TRUE(log_.lines.empty()) << Log();

  Tcp();
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"CONNECT ERROR"}));
  EXPECT_EQ(sim->CountLines("tcp connection"), 0);
}

TEST_F(TransportNet, TakenReplyPortSendsNothing) {
  ChildProcess* sim = Sim({"--count", "3"});
  ASSERT_NE(sim, nullptr);
  {
    NetnsScope client = net_->EnterClient();
    ASSERT_TRUE(client.Entered()) << client.Error();
    int holder = socket(AF_INET, SOCK_DGRAM, 0);  // no address reuse
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kReplyPort);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    UdpSearchExchange(0, settings_, log_, Intake(), Fast());
    close(holder);

    // A marker request: once the simulator has logged it, anything the
    // exchange had sent would have been logged before it.
    RelayTo(TestNetwork::kDevicesAddress);
    char request[kPacketBufferSize] = {};
    NullLog quiet;
    ASSERT_EQ(BuildPacket(2, request, sizeof(request), nullptr, quiet), 0);
    ASSERT_EQ(SendDatagram(kRequestPort, request, settings_, quiet), 0);
  }
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"bind() error : Address already in use\n",
                                                 "DM_CreateUDPBroadcastSocket(6667) failed!\n"}));
  ASSERT_TRUE(sim->WaitForLine("udp request flag=02", 2000)) << sim->Output();
  EXPECT_EQ(sim->CountLines("udp request flag=00"), 0) << sim->Output();
  EXPECT_EQ(table_.devices.Size(), 0u);
}

TEST_F(TransportNet, FloodIsCutAtThePassLimitAndDevicesStayListedOnce) {
  ChildProcess* sim = Sim({"--count", "5", "--flood-ms", "20000", "--flood-interval-ms", "20"});
  ASSERT_NE(sim, nullptr);
  ExchangeLimits limits = Fast();
  limits.pass_cap_ms = 600;
  long ms = Udp(0, limits);
  EXPECT_GE(ms, 2 * 600 - 10);
  EXPECT_LT(ms, 2 * 600 + 800);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{StringPrintf(kPassCapLog, 1, 600),
                                                 StringPrintf(kPassCapLog, 2, 600)}));
  EXPECT_EQ(table_.devices.Size(), 5u);
  EXPECT_EQ(table_.row_counter, 6);
  EXPECT_GT(appended_.size(), 20u);  // the flood did arrive
}

TEST_F(TransportNet, GarbageAnswersAreSkipped) {
  ChildProcess* sim = Sim({"--count", "4", "--garbage"});
  ASSERT_NE(sim, nullptr);
  Udp(0);
  EXPECT_EQ(table_.devices.Size(), 4u);
  EXPECT_EQ(table_.row_counter, 5);
  EXPECT_TRUE(log_.Contains("flag(99) not implemented.\n")) << Log();
}

}  // namespace

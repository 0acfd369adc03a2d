// Transport: the reply-socket opener, the sender, and both exchanges against a relay played on 127.0.0.1 inside a
// private loopback-only network namespace (so the fixed ports meet no one).
#include "protocol/transport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "protocol/answer_codec.h"
#include "protocol/codec.h"
#include "protocol/intake.h"
#include "protocol/string_printf.h"
#include "test_network.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::string Device(int n) {
  return "Zentravox,01,M,P,Cam" + std::to_string(n) + ",10.0.0." + std::to_string(n) +
         ",80,255.255.255.0,10.0.0.254,10.0.0.254,00:00:00:00:00:0" + std::to_string(n) + ",D,x";
}

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

int BoundUdp(int port) {
  int s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = Loopback(port);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    close(s);
    return -1;
  }
  return s;
}

void SendTo(int sock, const std::string& text, int port) {
  sockaddr_in to = Loopback(port);
  sendto(sock, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
}

// Receives one datagram within `ms`; empty when none came.
std::string Receive(int sock, int ms) {
  pollfd p{sock, POLLIN, 0};
  if (poll(&p, 1, ms) <= 0) return "";
  char buf[65536];
  ssize_t n = recv(sock, buf, sizeof(buf), 0);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : "";
}

class TransportLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!scope_.Entered()) GTEST_SKIP() << "needs a private network namespace: " << scope_.Error();
    ASSERT_TRUE(scope_.Error().empty()) << scope_.Error();
    settings_.ip_relay = true;
    settings_.relay_address = "127.0.0.1";
    limits_.quiet_ms = 200;
    limits_.tcp_pause_ms = 50;
    limits_.tcp_connect_ms = 1000;
    limits_.tcp_read_ms = 2000;
  }
  void TearDown() override {
    if (relay_.joinable()) relay_.join();
  }

  AnswerSink Intake() {
    return [this](const unsigned char* decoded, std::size_t size, std::size_t bound,
                  std::string_view interface) {
      bounds_.push_back(bound);
      interfaces_.emplace_back(interface);
      appended_.push_back(ParserPlainPkg(table_, settings_, log_, decoded, size, bound));
    };
  }

  NetnsScope scope_ = NetnsScope::PrivateLoopback();
  SearchSettings settings_;
  ExchangeLimits limits_;
  DeviceTable table_;
  MemoryLog log_;
  std::vector<std::size_t> bounds_;
  std::vector<std::string> interfaces_;  // each answer's arrival interface
  std::vector<int> appended_;
  std::thread relay_;
};

}  // namespace

TEST_F(TransportLoopback, OpenerSharesItsPortButNotATakenOne) {
  int a = -1, b = -1;
  sockaddr_in addr{};
  ASSERT_EQ(DM_CreateUDPBroadcastSocket(6667, &a, &addr, log_), 0);
  EXPECT_GE(a, 0);
  EXPECT_EQ(ntohs(addr.sin_port), 6667);
  EXPECT_EQ(addr.sin_addr.s_addr, htonl(INADDR_ANY));
  ASSERT_EQ(DM_CreateUDPBroadcastSocket(6667, &b, &addr, log_), 0);  // both reuse
  close(a);
  close(b);
  EXPECT_TRUE(log_.lines.empty());

  int holder = BoundUdp(40000);  // without address reuse
  ASSERT_GE(holder, 0);
  int c = 7;
  EXPECT_EQ(DM_CreateUDPBroadcastSocket(40000, &c, &addr, log_), -1);
  EXPECT_EQ(c, -1);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"bind() error : Address already in use\n"}));
  close(holder);
}

TEST_F(TransportLoopback, SenderSendsTheTextWithoutItsZero) {
  int relay = BoundUdp(kRequestPort);
  ASSERT_GE(relay, 0);
  EXPECT_EQ(SendDatagram(kRequestPort, "Zentravox", settings_, log_), 0);
  EXPECT_EQ(Receive(relay, 1000), "Zentravox");
  close(relay);

  // Broadcast with no route (only loopback here) is a send failure.
  settings_.ip_relay = false;
  EXPECT_EQ(SendDatagram(kRequestPort, "x", settings_, log_), -1);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"sendto() error : Network is unreachable len=-1\n"}));
}

TEST_F(TransportLoopback, UdpRelayExchangeTakesAnswersOfBothPasses) {
  int relay = BoundUdp(kRequestPort);
  ASSERT_GE(relay, 0);
  std::vector<std::string> requests;
  relay_ = std::thread([&] {
    for (int pass = 0; pass < 2; ++pass) {
      requests.push_back(Receive(relay, 2000));
      // Two packets in one datagram, then a third device on its own.
      SendTo(relay, EncodeAnswer({Device(1), Device(2)}), kReplyPort);
      SendTo(relay, EncodeAnswer({Device(3)}), kReplyPort);
    }
    close(relay);
  });
  UdpSearchExchange(2, settings_, log_, Intake(), limits_);
  relay_.join();

  char expected[64] = {};
  NullLog quiet;
  ASSERT_EQ(BuildPacket(2, expected, sizeof(expected), nullptr, quiet), 0);
  EXPECT_EQ(requests, (std::vector<std::string>{expected, expected}));
  EXPECT_EQ(std::strlen(expected), 24u);
  EXPECT_EQ(appended_, (std::vector<int>{2, 1, 0, 0}));
  EXPECT_EQ(table_.row_counter, 4);
  EXPECT_EQ(table_.grid.Cell(kNameColumn, 3), "Cam3");
  EXPECT_EQ(bounds_[0], EncodeAnswer({Device(1), Device(2)}).size());  // bytes received
  EXPECT_TRUE(log_.lines.empty()) << log_.lines.front();
}

// Answers beyond what the reply reader may hold are dropped; the search
// says how many in one line at its end.
TEST_F(TransportLoopback, AnswersBeyondTheReadersLimitAreCountedOnce) {
  int relay = BoundUdp(kRequestPort);
  ASSERT_GE(relay, 0);
  limits_.reader_max_held_bytes = 10;  // less than any answer
  relay_ = std::thread([&, relay] {
    for (int pass = 0; pass < 2; ++pass) {
      Receive(relay, 2000);
      SendTo(relay, EncodeAnswer({Device(1)}), kReplyPort);
      SendTo(relay, EncodeAnswer({Device(2)}), kReplyPort);
    }
    close(relay);
  });
  UdpSearchExchange(2, settings_, log_, Intake(), limits_);
  relay_.join();
  EXPECT_TRUE(appended_.empty());
  EXPECT_EQ(log_.lines, std::vector<std::string>{StringPrintf(kReaderFullLog, 4ULL, 10ULL)});
}

TEST_F(TransportLoopback, PassLastsUntilAQuietGap) {
  int relay = BoundUdp(kRequestPort);
  ASSERT_GE(relay, 0);
  relay_ = std::thread([&, relay] {  // relay by value: it may outlast the test body
    Receive(relay, 2000);
    for (int i = 1; i <= 3; ++i) {  // 120 ms apart: each one extends the pass
      SendTo(relay, EncodeAnswer({Device(i)}), kReplyPort);
      std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }
    Receive(relay, 2000);  // the second pass: no answer
    close(relay);
  });
  Clock::time_point start = Clock::now();
  UdpSearchExchange(2, settings_, log_, Intake(), limits_);
  long ms = MsSince(start);
  EXPECT_EQ(appended_, (std::vector<int>{1, 1, 1}));
  EXPECT_GE(ms, 2 * 120 + 2 * 200 - 20);  // last datagram, its quiet gap, the quiet second pass
  EXPECT_LT(ms, 2 * 120 + 2 * 200 + 600);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(TransportLoopback, PassStopsAtItsLimitKeepingWhatArrived) {
  int relay = BoundUdp(kRequestPort);
  ASSERT_GE(relay, 0);
  limits_.pass_cap_ms = 400;
  relay_ = std::thread([&] {
    Receive(relay, 2000);
    Clock::time_point start = Clock::now();
    for (int i = 0; MsSince(start) < 1500; ++i) {  // never quiet for 200 ms
      SendTo(relay, EncodeAnswer({Device(1 + i % 5)}), kReplyPort);
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    close(relay);
  });
  Clock::time_point start = Clock::now();
  UdpSearchExchange(2, settings_, log_, Intake(), limits_);
  long ms = MsSince(start);
  relay_.join();
  EXPECT_GE(ms, 2 * 400 - 10);
  EXPECT_LT(ms, 2 * 400 + 500);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{StringPrintf(kPassCapLog, 1, 400),
                                                 StringPrintf(kPassCapLog, 2, 400)}));
  EXPECT_EQ(table_.devices.Size(), 5u);
}

namespace {

// A TCP listener on 127.0.0.1:6666.
int Listener(int backlog) {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in a = Loopback(kRequestPort);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || listen(s, backlog) != 0) {
    close(s);
    return -1;
  }
  return s;
}

}  // namespace

TEST_F(TransportLoopback, TcpRelayAnswerIsReadToTheCloseAndCutAtTheBuffer) {
  int listener = Listener(4);
  ASSERT_GE(listener, 0);
  std::string request;
  // listener by value: the relay closes it after the test body has returned.
  relay_ = std::thread([&, listener] {
    for (int round = 0; round < 2; ++round) {
      int c = accept(listener, nullptr, nullptr);
      char buf[256];
      ssize_t n = recv(c, buf, sizeof(buf), 0);
      if (round == 0) {
        request.assign(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
        std::string answer = EncodeAnswer({Device(1), Device(2), Device(3)});
        send(c, answer.data(), answer.size(), 0);
      } else {
        std::string big(70000, 'A');  // more than the buffer holds
        send(c, big.data(), big.size(), MSG_NOSIGNAL);
      }
      shutdown(c, SHUT_WR);
      while (recv(c, buf, sizeof(buf), 0) > 0) {
      }
      close(c);
    }
    close(listener);
  });
  TcpRelayExchange(settings_, log_, Intake(), limits_);
  char expected[64] = {};
  NullLog quiet;
  ASSERT_EQ(BuildPacket(2, expected, sizeof(expected), nullptr, quiet), 0);
  EXPECT_EQ(request, expected);
  EXPECT_EQ(appended_, (std::vector<int>{3}));

  TcpRelayExchange(settings_, log_, Intake(), limits_);
  ASSERT_EQ(bounds_.size(), 2u);
  EXPECT_EQ(bounds_[1], 65535u);
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(TransportLoopback, TcpConnectFailsAtOnceOrAtItsLimit) {
  // Nobody listens: refused at once.
  Clock::time_point start = Clock::now();
  TcpRelayExchange(settings_, log_, Intake(), limits_);
  EXPECT_LT(MsSince(start), 500);
  EXPECT_EQ(log_.lines, (std::vector<std::string>{"CONNECT ERROR"}));
  EXPECT_TRUE(bounds_.empty());

  // A listener whose queue is full never completes another handshake.
  log_.lines.clear();
  int listener = Listener(0);
  ASSERT_GE(listener, 0);
  int first = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = Loopback(kRequestPort);
  ASSERT_EQ(connect(first, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
  limits_.tcp_connect_ms = 300;
  start = Clock::now();
  TcpRelayExchange(settings_, log_, Intake(), limits_);
  long ms = MsSince(start);
  EXPECT_GE(ms, 290);
  EXPECT_LT(ms, 300 + 500);
  EXPECT_EQ(log_.lines,
            (std::vector<std::string>{StringPrintf(kConnectTimeoutLog, 300), "CONNECT ERROR"}));
  close(first);
  close(listener);
}

// The reply reader: arrival order whatever the wall clock does (the kernel
// stamps on the wall clock; the test steps the reader's wall clock instead
// of the machine's), and the bound on what it holds.
// Datagrams go over 127.0.0.1 inside a private loopback-only namespace.
#include "protocol/reply_reader.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "test_network.h"

namespace {

using Clock = ReplyReader::Clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

class ReaderLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!scope_.Entered()) GTEST_SKIP() << "needs a private network namespace: " << scope_.Error();
    for (int port : {7001, 7002}) {
      int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
      sockaddr_in a = Loopback(port);
      ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
      int on = 1;
      setsockopt(s, IPPROTO_IP, IP_PKTINFO, &on, sizeof(on));
      setsockopt(s, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof(on));
      setsockopt(s, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof(on));
      socks_.push_back(s);
    }
    sender_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    // The system turns receive time stamps on a moment after the first
    // socket asks for them; until then it stamps a datagram when it is read.
    // One datagram each, read after a pause, sees them on.
    for (int port : {7001, 7002}) Send("warm", port);
    std::this_thread::sleep_for(milliseconds(50));
    char text[8];
    for (int s : socks_) recv(s, text, sizeof(text), MSG_DONTWAIT);
  }
  void TearDown() override {
    for (int s : socks_) close(s);
    if (sender_ >= 0) close(sender_);
  }

  static sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }
  void Send(const std::string& text, int port) {
    sockaddr_in to = Loopback(port);
    sendto(sender_, text.data(), text.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
  }
  // Takes batches until `count` datagrams came or `wait` passed: their texts
  // in the order handed on.
  static std::vector<std::string> TakeTexts(ReplyReader& reader, std::size_t count, milliseconds wait) {
    std::vector<std::string> texts;
    const Clock::time_point deadline = Clock::now() + wait;
    std::deque<ReplyReader::Batch> batches;
    while (texts.size() < count && reader.Take(deadline, &batches)) {
      for (const ReplyReader::Batch& b : batches)
        for (const ReplyReader::Datagram& d : b.datagrams) texts.emplace_back(b.bytes.data() + d.offset, d.length);
    }
    return texts;
  }

  NetnsScope scope_ = NetnsScope::PrivateLoopback();
  std::vector<int> socks_;
  int sender_ = -1;
};

// Answers reach the sink at once in every case, in the order they came when
// the wall clock keeps time, and in each socket's order when it has stepped
// (a reader that dated answers by the wall clock held them an hour back).
TEST_F(ReaderLoopback, AWallClockThatStepsNeitherHoldsNorLosesAnswers) {
  for (seconds step : {seconds(0), seconds(-3600), seconds(3600)}) {
    SCOPED_TRACE("wall clock stepped by " + std::to_string(step.count()) + " s");
    ReplyReader::Options options;
    options.wall_clock = [step] {
      timespec t{};
      clock_gettime(CLOCK_REALTIME, &t);
      t.tv_sec += static_cast<time_t>(step.count());
      return t;
    };
    ReplyReader reader(socks_, options);
    ASSERT_TRUE(reader.Running());
    std::vector<std::string> sent;
    for (int i = 0; i < 4; ++i) {
      for (int port : {7001, 7002}) {
        sent.push_back(std::to_string(port) + "/" + std::to_string(i));
        Send(sent.back(), port);
        std::this_thread::sleep_for(milliseconds(3));
      }
    }
    std::vector<std::string> got = TakeTexts(reader, sent.size(), milliseconds(10000));
    ASSERT_EQ(got.size(), sent.size());
    if (step == seconds(0)) {
      EXPECT_EQ(got, sent);
    } else {
      for (const char* port : {"7001/", "7002/"}) {
        std::vector<std::string> mine;
        for (const std::string& g : got)
          if (g.rfind(port, 0) == 0) mine.push_back(g);
        EXPECT_EQ(mine, (std::vector<std::string>{std::string(port) + "0", std::string(port) + "1",
                                                  std::string(port) + "2", std::string(port) + "3"}));
      }
    }
  }
}

// What the reader holds is bounded; beyond, datagrams are dropped and
// counted, and once taken there is room again.
TEST_F(ReaderLoopback, HoldsAtMostItsLimitAndCountsWhatItDrops) {
  ReplyReader::Options options;
  options.max_held_bytes = 5000;
  ReplyReader reader(socks_, options);
  ASSERT_TRUE(reader.Running());
  for (int i = 0; i < 10; ++i) Send(std::string(1000, static_cast<char>('a' + i)), 7001);
  const Clock::time_point deadline = Clock::now() + seconds(10);
  while (reader.Discarded() < 5 && Clock::now() < deadline) std::this_thread::sleep_for(milliseconds(5));
  EXPECT_EQ(reader.Discarded(), 5u);
  std::vector<std::string> got = TakeTexts(reader, 5, milliseconds(10000));
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got.front(), std::string(1000, 'a'));  // the first ones are kept
  EXPECT_EQ(got.back(), std::string(1000, 'e'));

  for (int i = 0; i < 5; ++i) Send(std::string(1000, 'z'), 7002);
  EXPECT_EQ(TakeTexts(reader, 5, milliseconds(10000)).size(), 5u);
  EXPECT_EQ(reader.Discarded(), 5u);
}

}  // namespace

// The claim on a UDP port among searches: one holder at a time, free again
// when released or when its holder dies, and a wait that ends when it is.
#include "protocol/port_claim.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

using std::chrono::milliseconds;
using Result = PortClaim::Result;

// A port of this test run's own: the claims are names, and another run (or
// a search on this machine) must not meet them.
int TestPort(int offset = 0) { return 20000 + static_cast<int>(getpid() % 20000) + offset; }

}  // namespace

TEST(PortClaim, OneHolderAtATime) {
  const int port = TestPort();
  PortClaim first, second, other_port;
  struct Step {
    const char* what;
    PortClaim* claim;
    int port;
    bool release_first;  // before asking
    Result result;
  } steps[] = {
      {"the first asks: taken", &first, port, false, Result::kTaken},
      {"a second asks while it is held: held", &second, port, false, Result::kHeld},
      {"another port is another claim", &other_port, port + 1, false, Result::kTaken},
      {"the first releases: the second gets it", &second, port, true, Result::kTaken},
      {"now the first is refused", &first, port, false, Result::kHeld},
  };
  for (const Step& s : steps) {
    if (s.release_first) first.Release();
    EXPECT_EQ(s.claim->TryTake(s.port), s.result) << s.what;
    EXPECT_EQ(s.claim->Holding(), s.result == Result::kTaken) << s.what;
  }
  // Gone with its object.
  {
    PortClaim scoped;
    EXPECT_EQ(scoped.TryTake(port + 2), Result::kTaken);
  }
  EXPECT_EQ(first.TryTake(port + 2), Result::kTaken);
}

TEST(PortClaim, TakeWaitsUntilTheHolderReleasesOrTheWaitIsOver) {
  const int port = TestPort(3);
  PortClaim holder, waiter;
  ASSERT_EQ(holder.TryTake(port), Result::kTaken);

  // Held throughout: gives up once the wait has passed, not before.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(waiter.Take(port, milliseconds(150)), Result::kHeld);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, milliseconds(150));
  EXPECT_LT(waited, milliseconds(1500));

  // Released during the wait: taken soon after, long before the wait is over.
  std::thread release([&] {
    std::this_thread::sleep_for(milliseconds(200));
    holder.Release();
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(waiter.Take(port, milliseconds(10000)), Result::kTaken);
  waited = std::chrono::steady_clock::now() - start;
  release.join();
  EXPECT_GE(waited, milliseconds(150));
  EXPECT_LT(waited, milliseconds(5000));
  EXPECT_TRUE(waiter.Holding());
}

// A holder that is killed holds nothing: the kernel closes its socket.
TEST(PortClaim, AKilledHolderFreesIt) {
  const int port = TestPort(4);
  PortClaim taken;
  ASSERT_EQ(taken.TryTake(port), Result::kTaken);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {  // holds the inherited socket until killed
    for (;;) pause();
  }
  taken.Release();  // the child's copy still holds it
  PortClaim other;
  EXPECT_EQ(other.TryTake(port), Result::kHeld);
  kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(other.TryTake(port), Result::kTaken);
}

// Work from a worker thread runs on the owner's thread, in order, and in
// slices between which the owner's event loop handles whatever else waits.
#include "search/owner_queue.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QThread>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(OwnerQueue, RunsTheItemsInOrderOnTheOwnersThread) {
  QObject owner;
  OwnerQueue queue(&owner);
  std::vector<int> ran;
  bool elsewhere = false;
  std::thread worker([&] {
    for (int i = 0; i < 1000; ++i)
      queue.Post([&, i] {
        ran.push_back(i);
        elsewhere = elsewhere || QThread::currentThread() != owner.thread();
      });
  });
  worker.join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return ran.size() == 1000; }, 30000));
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(ran[static_cast<std::size_t>(i)], i);
  EXPECT_FALSE(elsewhere);
}

// A burst of items takes more than one slice; a call queued behind the first
// slice runs before the burst is through, not after it.
TEST(OwnerQueue, LetsTheEventLoopRunBetweenSlices) {
  QObject owner;
  OwnerQueue queue(&owner);
  int done = 0;
  for (int i = 0; i < 100; ++i)  // at least 100 ms in all: several slices
    queue.Post([&done] {
      std::this_thread::sleep_for(1ms);
      ++done;
    });
  int done_when_other_ran = -1;
  QMetaObject::invokeMethod(&owner, [&] { done_when_other_ran = done; }, Qt::QueuedConnection);
  ASSERT_TRUE(QTest::qWaitFor([&] { return done == 100; }, 30000));
  EXPECT_GE(done_when_other_ran, 0);
  EXPECT_LT(done_when_other_ran, 100);
}

// The bounded log: the last entries in order, the count of those dropped,
// and a clear that starts over.
#include "protocol/debug_log.h"

#include <gtest/gtest.h>

#include <string>

TEST(BoundedLog, KeepsTheLastEntriesAndCountsTheDropped) {
  BoundedLog log(3);
  log.Append("a\n");
  log.Append("b");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"a\n", "b"}));
  EXPECT_EQ(log.Dropped(), 0u);
  for (const char* line : {"c", "d", "e"}) log.Append(line);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"c", "d", "e"}));
  EXPECT_EQ(log.Size(), 3u);
  EXPECT_EQ(log.Dropped(), 2u);

  log.Clear();
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(log.Dropped(), 0u);
  log.Append("f");
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"f"});

  BoundedLog none(0);  // keeps nothing, counts everything
  none.Append("x");
  EXPECT_EQ(none.Size(), 0u);
  EXPECT_EQ(none.Dropped(), 1u);
}

// The bounded log: the last entries in order, the count of those dropped, a
// clear that starts over, and long entries cut.
#include "protocol/debug_log.h"

#include <gtest/gtest.h>

#include <string>

TEST(BoundedLog, KeepsTheLastEntriesAndCountsTheDropped) {
  BoundedLog log(3, 100);
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

  BoundedLog none(0, 100);  // keeps nothing, counts everything
  none.Append("x");
  EXPECT_EQ(none.Size(), 0u);
  EXPECT_EQ(none.Dropped(), 1u);
}

TEST(BoundedLog, CutsLongEntriesWithoutSplittingACharacter) {
  EXPECT_EQ(CutLogEntry("short\n", 6), "short\n");
  const std::string long_line = std::string(100, 'x') + "\n";
  const std::string cut = CutLogEntry(long_line, 40);
  EXPECT_EQ(cut, std::string(22, 'x') + " [101 bytes, cut]\n");
  EXPECT_EQ(cut.size(), 40u);
  EXPECT_EQ(CutLogEntry(cut, 40), cut);  // a cut entry stays as it is

  // "\xc3\xa9" (é) across the cut: the whole character goes.
  std::string accents;
  for (int i = 0; i < 20; ++i) accents += "\xc3\xa9";
  const std::string cut_accents = CutLogEntry(accents, 30);
  EXPECT_EQ(cut_accents, "\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9 [40 bytes, cut]");
  EXPECT_EQ(CutLogEntry(accents, 31), cut_accents);  // 15 bytes would end inside the eighth
  EXPECT_EQ(CutLogEntry(accents, 3), " [40 bytes, cut]");  // no room: the note alone

  BoundedLog log(2, 40);
  log.Append(long_line);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{cut});
}

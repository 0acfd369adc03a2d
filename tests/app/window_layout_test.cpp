// Caption, column proportions and resize formulas.
#include "app/window_layout.h"

#include <gtest/gtest.h>

TEST(WindowLayout, RecordsProportionsWithFourteenLogLines) {
  MemoryLog log;
  std::vector<float> p = RecordColumnProportions(kDesignColumnWidths, log);
  ASSERT_EQ(log.lines.size(), 14u);
  EXPECT_EQ(log.lines.front(), "Col[0] - (114, 114)\n");
  EXPECT_EQ(log.lines[6], "Col[6] - (153, 802)\n");
  EXPECT_EQ(log.lines[7], "Col[0] - (114, 802, 0.142145)\n");
  EXPECT_EQ(log.lines[11], "Col[4] - (29, 802, 0.036160)\n");
  EXPECT_EQ(log.lines.back(), "Col[6] - (153, 802, 0.190773)\n");
  ASSERT_EQ(p.size(), 7u);

  MemoryLog zero_log;
  EXPECT_TRUE(RecordColumnProportions({0, 0, 0, 0, 0, 0, 0}, zero_log).empty());
  EXPECT_EQ(zero_log.lines.size(), 7u);
}

TEST(WindowLayout, GridAndColumnsFollowTheWindow) {
  MemoryLog log;
  std::vector<float> p = RecordColumnProportions(kDesignColumnWidths, log);
  GridGeometry g = LayoutGrid(807, 624, p, kDesignColumnWidths);
  EXPECT_EQ(g.width, 787);
  EXPECT_EQ(g.height, 503);
  EXPECT_EQ(g.columns, (std::array<int, 7>{111, 122, 176, 101, 28, 96, 150}));
  g = LayoutGrid(1007, 624, p, kDesignColumnWidths);
  EXPECT_EQ(g.columns, (std::array<int, 7>{140, 153, 221, 126, 35, 120, 188}));

  // Before the proportions exist only the grid's size changes.
  g = LayoutGrid(1007, 700, {}, kDesignColumnWidths);
  EXPECT_FALSE(g.has_columns);
  EXPECT_EQ(g.columns, kDesignColumnWidths);
  EXPECT_EQ(g.height, 579);

  // Tiny windows clamp at zero.
  g = LayoutGrid(10, 50, p, kDesignColumnWidths);
  EXPECT_EQ(g.width, 0);
  EXPECT_EQ(g.height, 0);
  EXPECT_EQ(g.columns, (std::array<int, 7>{0, 0, 0, 0, 0, 0, 0}));
}

TEST(WindowLayout, CaptionCarriesAFourNumberVersion) {
  EXPECT_EQ(CaptionWithVersion(kDesignCaption, "1.0.0.29"), "Kestra Device Search - 1.0.0.29");
  EXPECT_EQ(CaptionWithVersion(kDesignCaption, ""), "Kestra Device Search");
  EXPECT_EQ(CaptionWithVersion(kDesignCaption, "1.0"), "Kestra Device Search");
}

// The strip below the grid: 40 pixels are left without a frame; a frame that
// takes more than 10 of them puts the strip over the grid's lower edge.
TEST(WindowLayout, StripStandsBelowTheGridOrOverItsLowerEdge) {
  StripGeometry unframed = LayoutStrip(624, 81 + 503);
  EXPECT_EQ(unframed.top, 584);
  EXPECT_EQ(unframed.covered, 0);
  StripGeometry framed = LayoutStrip(594, 81 + 503);  // a 30-pixel title bar
  EXPECT_EQ(framed.top, 564);
  EXPECT_EQ(framed.covered, 20);
  EXPECT_EQ(LayoutStrip(20, 0).top, 0);  // never above the window
}

// Caption, column proportions and resize formulas.
#include "app/window_layout.h"

#include <gtest/gtest.h>

#include <algorithm>

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

// The strip below the grid: 40 pixels are left without a frame; where a
// frame or a taller strip (its line of messages) takes more, the strip
// stands at the bottom and the grid ends above it, never under it.
TEST(WindowLayout, StripStandsBelowTheGridWhichNeverReachesUnderIt) {
  struct Case {
    int client_height, strip_height, top, grid_height;
  } cases[] = {
      {624, 30, 584, 503},  // no frame: as designed
      {594, 30, 564, 483},  // a 30-pixel title bar
      {624, 50, 574, 493},  // a line of messages under the controls
      {594, 50, 544, 463},
      {100, 50, 50, 0},     // smaller than the design: no negative grid
      {20, 30, 0, 0},       // never above the window
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.client_height << " " << c.strip_height);
    const StripGeometry strip = LayoutStrip(c.client_height, 81, 81 + 503, c.strip_height);
    EXPECT_EQ(strip.top, c.top);
    EXPECT_EQ(strip.grid_height, c.grid_height);
    EXPECT_LE(81 + strip.grid_height, std::max(strip.top, 81));
  }
  EXPECT_EQ(MinimumClientSize(500, 400, 100).height, 81 + 100 + 40);
  EXPECT_EQ(MinimumClientSize(500, 400, 100, 50).height, 81 + 100 + 50);
}

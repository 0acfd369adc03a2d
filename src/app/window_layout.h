// The main window's layout rules that need no window: the caption with the
// build's version, the column proportions recorded at start-up (with their
// log lines), the grid and column sizes for a window size, and the strip of
// controls below the grid.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "protocol/debug_log.h"

constexpr int kDesignWidth = 807;
constexpr int kDesignHeight = 624;
constexpr int kGridTop = 81;
constexpr int kGridLeft = 0;
constexpr int kPanelHeight = 79;
constexpr std::array<int, 7> kDesignColumnWidths = {114, 125, 180, 103, 29, 98, 153};
extern const char kDesignCaption[];  // "Kestra Device Search"

// "<caption> - <version>" for a four-number version, else the caption as it is.
std::string CaptionWithVersion(const std::string& caption, const std::string& version);

// Records each column's share of the total width as a 32-bit float, logging
// "Col[%d] - (%d, %d)\n" per column with the running total, then
// "Col[%d] - (%d, %d, %f)\n" per column with the proportion.
std::vector<float> RecordColumnProportions(const std::array<int, 7>& widths, DebugLog& log);

struct GridGeometry {
  int width = 0;
  int height = 0;
  std::array<int, 7> columns{};  // only meaningful where `has_columns`
  bool has_columns = false;
};

// The grid's size for an outer window size (never below zero), and, once the
// proportions exist, each column's width: proportion x grid width, truncated.
// A column whose proportion is 0 keeps `current` width.
GridGeometry LayoutGrid(int window_width, int window_height, const std::vector<float>& proportions,
                        const std::array<int, 7>& current);

// The strip below the grid (filter, "Export...", "Log") is this high.
constexpr int kStripHeight = 30;

// The room kept right of the panel's farthest control.
constexpr int kPanelRightMargin = 8;
// The grid shows at least its heading and this many rows.
constexpr int kMinimumGridRows = 3;

struct ClientSize {
  int width = 0;
  int height = 0;
};

// The least client size at which every control shows whole and none lies
// over another, the resize rule kept: as wide as the panel's farthest
// control edge (`panel_right`, with kPanelRightMargin) and as the strip's
// least width; as high as the panel, the grid's least height and the 40
// pixels the rule leaves below the grid, or the strip's height
// (`strip_height`) where that is more.
ClientSize MinimumClientSize(int panel_right, int strip_min_width, int grid_min_height,
                             int strip_height = kStripHeight);

struct StripGeometry {
  int top = 0;          // the strip's top edge inside the window
  int grid_height = 0;  // the grid's height, which ends above the strip
};

// The strip (`strip_height` high) stands right below the grid, whose top is
// `grid_top` and whose bottom by the resize rule is `grid_bottom`, where the
// client area leaves it room there; where a window frame or a taller strip
// takes more of the design's 40 pixels, the strip stands at the client
// area's bottom and the grid ends above it, never under it.
StripGeometry LayoutStrip(int client_height, int grid_top, int grid_bottom, int strip_height = kStripHeight);

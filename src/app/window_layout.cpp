// Caption, column proportions and resize formulas of the main window.
#include "app/window_layout.h"

#include <algorithm>

#include "protocol/string_printf.h"

const char kDesignCaption[] = "Kestra Device Search";

std::string CaptionWithVersion(const std::string& caption, const std::string& version) {
  int dots = static_cast<int>(std::count(version.begin(), version.end(), '.'));
  if (version.empty() || dots != 3) return caption;
  return caption + " - " + version;
}

std::vector<float> RecordColumnProportions(const std::array<int, 7>& widths, DebugLog& log) {
  std::vector<float> proportions;
  int total = 0;
  for (int i = 0; i < 7; ++i) {
    total += widths[static_cast<std::size_t>(i)];
    log.Append(StringPrintf("Col[%d] - (%d, %d)\n", i, widths[static_cast<std::size_t>(i)], total));
  }
  if (total > 0) {
    for (int i = 0; i < 7; ++i) {
      int w = widths[static_cast<std::size_t>(i)];
      float proportion = static_cast<float>(w) / static_cast<float>(total);
      log.Append(StringPrintf("Col[%d] - (%d, %d, %f)\n", i, w, total, static_cast<double>(proportion)));
      proportions.push_back(proportion);
    }
  }
  return proportions;
}

GridGeometry LayoutGrid(int window_width, int window_height, const std::vector<float>& proportions,
                        const std::array<int, 7>& current) {
  GridGeometry g;
  g.height = std::max(0, window_height - kGridTop - 40);
  g.width = std::max(0, window_width - kGridLeft - 20);
  g.columns = current;
  if (proportions.empty()) return g;
  g.has_columns = true;
  for (std::size_t i = 0; i < 7 && i < proportions.size(); ++i) {
    if (proportions[i] > 0) g.columns[i] = static_cast<int>(proportions[i] * static_cast<float>(g.width));
  }
  return g;
}

StripGeometry LayoutStrip(int client_height, int grid_top, int grid_bottom, int strip_height) {
  StripGeometry strip;
  strip.top = std::max(std::min(grid_bottom, client_height - strip_height), 0);
  strip.grid_height = std::max(std::min(grid_bottom, strip.top) - grid_top, 0);
  return strip;
}

ClientSize MinimumClientSize(int panel_right, int strip_min_width, int grid_min_height, int strip_height) {
  return {std::max(panel_right + kPanelRightMargin, strip_min_width),
          kGridTop + grid_min_height + std::max(40, strip_height)};
}

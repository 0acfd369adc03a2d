// The memory log.
#include "protocol/debug_log.h"

#include <algorithm>

bool MemoryLog::Contains(const std::string& line) const {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

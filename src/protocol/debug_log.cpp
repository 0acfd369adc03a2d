// The memory log and the bounded log.
#include "protocol/debug_log.h"

#include <algorithm>

bool MemoryLog::Contains(const std::string& line) const {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void BoundedLog::Append(const std::string& line) {
  if (capacity_ == 0) {
    ++dropped_;
    return;
  }
  if (lines_.size() == capacity_) {
    lines_.pop_front();
    ++dropped_;
  }
  lines_.push_back(line);
}

void BoundedLog::Clear() {
  lines_.clear();
  dropped_ = 0;
}

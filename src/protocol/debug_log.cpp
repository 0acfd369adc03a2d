// The memory log and the bounded log.
#include "protocol/debug_log.h"

#include <algorithm>

bool MemoryLog::Contains(const std::string& line) const {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string CutLogEntry(const std::string& line, std::size_t max_bytes) {
  if (line.size() <= max_bytes) return line;
  const std::string note =
      " [" + std::to_string(line.size()) + " bytes, cut]" + (line.back() == '\n' ? "\n" : "");
  std::size_t keep = max_bytes > note.size() ? max_bytes - note.size() : 0;
  while (keep > 0 && (static_cast<unsigned char>(line[keep]) & 0xC0) == 0x80) --keep;  // inside a character
  return line.substr(0, keep) + note;
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
  lines_.push_back(CutLogEntry(line, max_entry_bytes_));
}

void BoundedLog::Clear() {
  lines_.clear();
  dropped_ = 0;
}

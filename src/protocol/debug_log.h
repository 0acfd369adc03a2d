// The debug log: a sink to which any part of the program appends one text as a
// new line. The codec, transport and intake know nothing of windows; the main
// window, the headless mode and the tests each supply their own sink.
#pragma once

#include <string>
#include <vector>

class DebugLog {
 public:
  virtual ~DebugLog() = default;
  // Appends one entry. A trailing line feed, where the text has one, belongs
  // to the entry.
  virtual void Append(const std::string& line) = 0;
};

// Keeps every entry in memory, in order.
class MemoryLog : public DebugLog {
 public:
  void Append(const std::string& line) override { lines.push_back(line); }
  bool Contains(const std::string& line) const;
  std::vector<std::string> lines;
};

// Discards everything.
class NullLog : public DebugLog {
 public:
  void Append(const std::string&) override {}
};

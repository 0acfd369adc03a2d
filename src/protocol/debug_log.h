// The debug log: a sink to which any part of the program appends one text as a
// new line. The codec, transport and intake know nothing of windows; the main
// window, the headless mode and the tests each supply their own sink.
#pragma once

#include <cstddef>
#include <deque>
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

// `line` when it has at most `max_bytes` bytes; else its first bytes (no
// UTF-8 character split) and " [<n> bytes, cut]", at most `max_bytes` in all
// (the note alone where `max_bytes` leaves it no room), with the line feed
// it ended in.
std::string CutLogEntry(const std::string& line, std::size_t max_bytes);

// Keeps the last `capacity` entries in order, each cut to `max_entry_bytes`
// (CutLogEntry), and counts the older ones it dropped, so that a long run, or
// a device that sends long texts, cannot fill the memory with its log.
class BoundedLog : public DebugLog {
 public:
  BoundedLog(std::size_t capacity, std::size_t max_entry_bytes)
      : capacity_(capacity), max_entry_bytes_(max_entry_bytes) {}
  void Append(const std::string& line) override;
  // Forgets every entry and the count of dropped ones.
  virtual void Clear();

  std::vector<std::string> Lines() const { return {lines_.begin(), lines_.end()}; }
  std::size_t Size() const { return lines_.size(); }
  std::size_t Capacity() const { return capacity_; }
  std::size_t MaxEntryBytes() const { return max_entry_bytes_; }
  // How many entries were dropped since the start (or the last Clear) to
  // keep within the capacity.
  std::size_t Dropped() const { return dropped_; }

 private:
  std::size_t capacity_;
  std::size_t max_entry_bytes_;
  std::deque<std::string> lines_;
  std::size_t dropped_ = 0;
};

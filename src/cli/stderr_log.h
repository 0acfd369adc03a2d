// The debug log of the commands without a window: copied to standard error
// with --verbose, else dropped, so that standard output carries nothing but
// what the command prints.
#pragma once

#include <string>

#include "protocol/debug_log.h"

class StderrLog : public DebugLog {
 public:
  explicit StderrLog(bool verbose) : verbose_(verbose) {}
  // One line per entry, as ShownLogEntry shows it (a device's controls
  // escaped; an entry without its own line feed gets one).
  void Append(const std::string& line) override;

 private:
  bool verbose_;
};

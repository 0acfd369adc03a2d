// The commands' debug log on standard error.
#include "cli/stderr_log.h"

#include <iostream>

#include "protocol/shown_text.h"

void StderrLog::Append(const std::string& line) {
  if (!verbose_) return;
  std::cerr << ShownLogEntry(line) << std::flush;
}

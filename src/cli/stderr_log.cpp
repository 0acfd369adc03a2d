// The commands' debug log on standard error.
#include "cli/stderr_log.h"

#include <iostream>

void StderrLog::Append(const std::string& line) {
  if (!verbose_) return;
  std::cerr << line;
  if (line.empty() || line.back() != '\n') std::cerr << '\n';
  std::cerr.flush();
}

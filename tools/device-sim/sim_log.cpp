// Line-at-a-time output of the simulator's log.
#include "sim_log.h"

#include <cstdarg>

void SimLog::Line(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void SimLog::Linef(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, ap);
    text.resize(static_cast<std::size_t>(n));
  }
  va_end(ap);
  Line(text);
}

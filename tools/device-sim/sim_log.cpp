// Line-at-a-time output of the simulator's log.
#include "sim_log.h"

#include <cstdarg>

#include "protocol/string_printf.h"

void SimLog::Line(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(text.data(), 1, text.size(), out_);
  std::fputc('\n', out_);
  std::fflush(out_);
}

void SimLog::Linef(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::string text = StringVPrintf(format, ap);
  va_end(ap);
  Line(text);
}

// printf-style formatting into a std::string.
#include "protocol/string_printf.h"

#include <cstdio>

std::string StringVPrintf(const char* format, va_list ap) {
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), format, ap);
    out.resize(static_cast<std::size_t>(n));
  }
  return out;
}

std::string StringPrintf(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  std::string out = StringVPrintf(format, ap);
  va_end(ap);
  return out;
}

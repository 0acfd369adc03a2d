// printf-style formatting into a std::string, for the log lines and texts
// whose exact form the program fixes ("%d device(s) found!", ...).
#pragma once

#include <cstdarg>
#include <string>

// The formatted text; "" when formatting fails.
std::string StringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string StringVPrintf(const char* format, va_list ap) __attribute__((format(printf, 1, 0)));

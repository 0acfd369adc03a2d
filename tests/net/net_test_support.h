// Small helpers shared by the end-to-end tests: skipping where no test
// network can be made, and splitting a command's output into lines.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_network.h"

// Skips the test, with the reason, where this machine cannot make namespaces.
#define SKIP_WITHOUT_NETWORK()                              \
  do {                                                      \
    std::string why;                                        \
    if (!TestNetwork::Supported(&why)) GTEST_SKIP() << why; \
  } while (0)

// The lines of `text`, without their line feeds or a carriage return before it.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Small helpers shared by the end-to-end tests: skipping where no test
// network can be made, splitting a command's output into lines, and files of
// devices for device-sim --file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
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

// A device as a line of a device-sim --file.
inline std::string DeviceLine(const std::string& name, const std::string& ip, const std::string& mac) {
  return "Zentravox,01,M200,P1," + name + "," + ip + ",80,255.255.255.0,0.0.0.0,0.0.0.0," + mac + ",IPC,sim";
}

// A file of device lines, removed with the object.
class DeviceFile {
 public:
  explicit DeviceFile(const std::vector<std::string>& lines) {
    char name[] = "/tmp/kds-devices-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    path_ = name;
    std::ofstream out(path_);
    for (const std::string& line : lines) out << line << "\n";
  }
  ~DeviceFile() { unlink(path_.c_str()); }
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

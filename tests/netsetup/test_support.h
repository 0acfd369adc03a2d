// Helpers shared by the Network Setup tests: a sender that keeps what it is
// given, the decoding of a captured package, and records to work with.
#pragma once

#include <string>
#include <vector>

#include "netsetup/control_sender.h"
#include "protocol/codec.h"
#include "protocol/unit_info.h"

struct CapturingSender : ControlPackageSender {
  void SetDeviceInterface(const std::string& interface) override { device_interface = interface; }
  int Send(const char* encoded) override {
    sent.emplace_back(encoded);
    sent_for.push_back(device_interface);
    return result;
  }
  int result = 0;
  std::vector<std::string> sent;
  std::string device_interface;
  std::vector<std::string> sent_for;  // the device interface of each package
};

// Base64-decodes and complements a package, giving its plain text.
inline std::string PlainText(const std::string& encoded) {
  std::vector<unsigned char> bytes(encoded.size() + 1, 0);
  std::size_t n = Base64Decode(bytes.data(), bytes.size(), encoded.c_str(), encoded.size());
  Complement(bytes.data(), n);
  return std::string(reinterpret_cast<const char*>(bytes.data()));
}

inline tComUnitInfo Record(const std::string& ip, const std::string& mac,
                           const std::string& name = "Lobby") {
  tComUnitInfo info{};
  SetField(info.model, "M100");
  SetField(info.proj, "P1");
  SetField(info.name, name);
  SetField(info.ip, ip);
  SetField(info.trigger_port, "80");
  SetField(info.netmask, "255.255.255.0");
  SetField(info.gateway, "192.168.0.1");
  SetField(info.dns, "192.168.0.2");
  SetField(info.mac, mac);
  SetField(info.dev, "D1");
  SetField(info.note, "x");
  return info;
}

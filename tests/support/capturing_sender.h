// A control package sender that keeps what it is given instead of sending
// it, and the plain text of a kept package.
#pragma once

#include <string>
#include <vector>

#include "netsetup/control_sender.h"
#include "protocol/answer_codec.h"

struct CapturingSender : ControlPackageSender {
  void SetDeviceInterface(const std::string& interface) override { device_interface = interface; }
  int Send(const char* encoded) override {
    sent.emplace_back(encoded);
    sent_for.push_back(device_interface);
    return result;
  }
  int result = 0;                     // what Send returns
  std::vector<std::string> sent;      // each package as sent (encoded)
  std::string device_interface;
  std::vector<std::string> sent_for;  // the device interface of each package
};

// The plain text of an encoded package: its first text ("" for none).
inline std::string PlainText(const std::string& encoded) {
  std::vector<std::string> texts = DecodeAnswerTexts(encoded);
  return texts.empty() ? std::string() : texts.front();
}

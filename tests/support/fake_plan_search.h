// A stand-in for the search that checks a re-addressing plan: it counts what
// it is asked and keeps the callback until the test answers it; and the
// devices such tests plan for.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "netsetup/readdress_session.h"
#include "records.h"

// TestDevice `ip` with MAC 02:4B:44:00:00:<n> (n in hexadecimal) and name
// Cam<n>, seen on eth0.
inline PlanDevice NumberedDevice(const std::string& ip, int n) {
  char mac[24];
  std::snprintf(mac, sizeof(mac), "02:4B:44:00:00:%02X", n);
  return {TestDevice(ip, mac, "Cam" + std::to_string(n)), "eth0"};
}

struct FakePlanSearch : PlanSearch {
  void Expect() override { ++expected; }
  void Start(std::function<void(std::vector<PlanDevice>)> found) override {
    ++starts;
    pending = std::move(found);
  }
  void Cancel() override {
    ++cancels;
    pending = nullptr;
  }
  // Reports `devices` as found by the search started last.
  void Answer(const std::vector<PlanDevice>& devices) {
    auto found = std::move(pending);
    pending = nullptr;
    found(devices);
  }
  int expected = 0, starts = 0, cancels = 0;
  std::function<void(std::vector<PlanDevice>)> pending;
};

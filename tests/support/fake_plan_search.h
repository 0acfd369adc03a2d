// A stand-in for the search that checks a re-addressing plan: it counts what
// it is asked and keeps the callback until the test answers it.
#pragma once

#include <functional>
#include <vector>

#include "netsetup/readdress_session.h"

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

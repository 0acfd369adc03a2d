// Stand-ins for what the live watch drives: a round search whose rounds the
// test answers by hand, a description fetcher that logs what it was asked,
// and a clock the test moves.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "watch/device_watch.h"

struct FakeWatchSearch : WatchSearch {
  void Start(std::function<void(std::vector<WatchedDevice>)> found_devices, std::function<void()> round_done) override {
    ++starts;
    found = std::move(found_devices);
    done = std::move(round_done);
  }
  // Answers the round under way with `devices` (in one batch) and ends it.
  void Answer(std::vector<WatchedDevice> devices) {
    auto report = std::move(found);
    auto end = std::move(done);
    found = nullptr;
    done = nullptr;
    if (!devices.empty()) report(std::move(devices));
    end();
  }
  bool Running() const { return done != nullptr; }
  bool RoundSearched() const override { return searched; }
  int starts = 0;
  bool searched = true;  // what RoundSearched says
  std::function<void(std::vector<WatchedDevice>)> found;
  std::function<void()> done;
};

// Logs each request as "udn location".
struct FakeDescriptionRequests : DescriptionRequests {
  void Request(const std::string& udn, const std::string& location) override {
    requests.push_back(udn + " " + location);
  }
  std::vector<std::string> requests;
};

struct FakeClock {
  DeviceWatch::Clock::time_point now{std::chrono::hours(1000)};
  std::function<DeviceWatch::Clock::time_point()> Function() {
    return [this] { return now; };
  }
  void Advance(std::chrono::milliseconds by) { now += by; }
};

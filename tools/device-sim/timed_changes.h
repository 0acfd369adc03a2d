// Devices that come, go and move while the simulator runs, for tests and
// benchmarks of the live watch: some answer only from a time on, some stop
// answering at a time, some take another address at a time. Times count from
// the moment the simulator is ready. Which devices, by their place in the
// device list: the first ones vanish, the next ones move, the last ones
// appear.
//
// Log lines (standard output), each when it happens:
//   "appear MAC IP"
//   "vanish MAC IP"
//   "move MAC OLD -> NEW"
#pragma once

#include <string>
#include <vector>

#include "device_set.h"
#include "sim_log.h"
#include "sim_module.h"

struct TimedChangeOptions {
  int appear = 0, appear_ms = 0;  // the last `appear` devices answer from appear_ms on
  int vanish = 0, vanish_ms = 0;  // the first `vanish` devices stop answering at vanish_ms
  int move = 0, move_ms = 0;      // the `move` devices after them move at move_ms
};

// The address a moving device takes: its own with 100 added to the third
// number ("10.99.1.7" becomes "10.99.101.7", "10.99.200.7" becomes
// "10.99.44.7"); a text that is no dotted quad stays as it is.
std::string MovedAddress(const std::string& ip);

// False with *error when the options name more devices than `count`.
bool CheckTimedChanges(const TimedChangeOptions& o, std::size_t count, std::string* error);

class TimedChanges : public SimModule {
 public:
  // REQUIRES: CheckTimedChanges holds for the devices' number.
  TimedChanges(DeviceSet& devices, SimLog& log, TimedChangeOptions options);

  std::string Name() const override { return "changes"; }
  // Hides the devices that appear later.
  bool Open() override;
  void Serve(const StopSignal& stop) override;

 private:
  DeviceSet& devices_;
  SimLog& log_;
  TimedChangeOptions options_;
  std::vector<std::string> appearing_, vanishing_, moving_;  // MACs
};

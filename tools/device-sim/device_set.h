// The simulator's devices, shared by its UDP, TCP, HTTP and control-package
// handlers, which may run on threads of their own. A device may be
// restarting (after a control package): it is left out of what the others
// answer until its restart is over. A hidden device (one that has not
// appeared yet) is left out until it is shown.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "protocol/unit_info.h"

class DeviceSet {
 public:
  explicit DeviceSet(std::vector<tComUnitInfo> devices = {}) : devices_(std::move(devices)) {}

  using Clock = std::chrono::steady_clock;

  // A copy of every device that answers now (none that is restarting), in
  // order.
  std::vector<tComUnitInfo> Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (restarting_.empty() && hidden_.empty()) return devices_;
    const Clock::time_point now = Clock::now();
    std::vector<tComUnitInfo> answering;
    for (const tComUnitInfo& device : devices_)
      if (!RestartingLocked(FieldText(device.mac), now) && !hidden_.count(std::string(FieldText(device.mac))))
        answering.push_back(device);
    return answering;
  }

  // The devices with this MAC answer nothing until shown again.
  void Hide(const std::string& mac) {
    std::lock_guard<std::mutex> lock(mutex_);
    hidden_.insert(mac);
  }
  void Show(const std::string& mac) {
    std::lock_guard<std::mutex> lock(mutex_);
    hidden_.erase(mac);
  }

  // Runs `change` on every device, restarting ones included, under the lock.
  void Update(const std::function<void(std::vector<tComUnitInfo>&)>& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(devices_);
  }

  // The devices with this MAC restart: they answer nothing until `until`.
  void Restart(const std::string& mac, Clock::time_point until) {
    std::lock_guard<std::mutex> lock(mutex_);
    restarting_[mac] = until;
  }
  bool Restarting(const std::string& mac) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return RestartingLocked(mac, Clock::now());
  }

 private:
  bool RestartingLocked(std::string_view mac, Clock::time_point now) const {
    auto it = restarting_.find(std::string(mac));
    return it != restarting_.end() && now < it->second;
  }

  mutable std::mutex mutex_;
  std::vector<tComUnitInfo> devices_;
  std::map<std::string, Clock::time_point> restarting_;  // mac -> end of its restart
  std::set<std::string> hidden_;                         // macs
};

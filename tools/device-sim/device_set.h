// The simulator's devices, shared by its UDP, TCP, HTTP and control-package
// handlers, which may run on threads of their own.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "protocol/unit_info.h"

class DeviceSet {
 public:
  explicit DeviceSet(std::vector<tComUnitInfo> devices = {}) : devices_(std::move(devices)) {}

  // A copy of every device, in order.
  std::vector<tComUnitInfo> Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return devices_;
  }

  // Runs `change` on the devices under the lock.
  void Update(const std::function<void(std::vector<tComUnitInfo>&)>& change) {
    std::lock_guard<std::mutex> lock(mutex_);
    change(devices_);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<tComUnitInfo> devices_;
};

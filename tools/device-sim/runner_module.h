// Adapts a service that runs as one blocking call, stopped through an atomic
// flag (the HTTP relay, the UPnP host), to the simulator's module interface.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "sim_module.h"
#include "stop_signal.h"

class RunnerModule : public SimModule {
 public:
  // `run` serves until its flag is set and returns 0, or returns -1 at once
  // when it cannot start. `wait_ready`, when given, is called by Open() after
  // the run has started and tells whether it came up (it may block briefly).
  RunnerModule(std::string name, std::function<int(std::atomic<bool>& stop)> run,
               std::function<bool()> wait_ready = nullptr);
  ~RunnerModule() override;

  std::string Name() const override { return name_; }
  bool Open() override;
  void Serve(const StopSignal& stop) override;

 private:
  std::string name_;
  std::function<int(std::atomic<bool>&)> run_;
  std::function<bool()> wait_ready_;
  std::atomic<bool> stop_{false};
  std::atomic<int> result_{0};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

// Blocking services as simulator modules.
#include "runner_module.h"

#include <poll.h>

#include <cstdio>

RunnerModule::RunnerModule(std::string name, std::function<int(std::atomic<bool>&)> run,
                           std::function<bool()> wait_ready)
    : name_(std::move(name)), run_(std::move(run)), wait_ready_(std::move(wait_ready)) {}

RunnerModule::~RunnerModule() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

bool RunnerModule::Open() {
  thread_ = std::thread([this] {
    result_.store(run_(stop_));
    ended_.store(true);
  });
  bool ready = wait_ready_ ? wait_ready_() : true;
  if (!ready || (ended_.load() && result_.load() != 0)) {
    std::fprintf(stderr, "device-sim: the %s service could not start\n", name_.c_str());
    return false;
  }
  return true;
}

void RunnerModule::Serve(const StopSignal& stop) {
  while (!ended_.load()) {
    pollfd p{stop.Fd(), POLLIN, 0};
    if (poll(&p, 1, 100) > 0) break;
  }
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
}

// device-sim: plays any number of the maker's devices (and a relay) for
// tests, benchmarks and demos. Run it only inside a test network namespace.
//
// Structure: the devices live in one DeviceSet shared by every module. Each
// module is opened here on the main thread, then served on a thread of its
// own; the main thread waits for SIGINT or SIGTERM, requests the stop signal
// and joins the modules. To add a module: construct it with `devices` and
// `log` below and push it onto `modules`.
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "device_set.h"
#include "sim_devices.h"
#include "sim_log.h"
#include "sim_module.h"
#include "sim_options.h"
#include "stop_signal.h"
#include "tcp_relay.h"
#include "udp_discovery.h"

int main(int argc, char** argv) {
  BlockStopSignals();  // before any thread exists, so that all inherit it

  SimOptions options;
  std::string error;
  if (!ParseSimOptions(argc - 1, argv + 1, &options, &error)) {
    std::fprintf(stderr, "device-sim: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(SimUsage().c_str(), stdout);
    return 0;
  }
  std::vector<tComUnitInfo> loaded;
  if (!LoadSimDevices(options, &loaded, &error)) {
    std::fprintf(stderr, "device-sim: %s\n", error.c_str());
    return 2;
  }
  DeviceSet devices(std::move(loaded));
  SimLog log;

  std::vector<std::unique_ptr<SimModule>> modules;
  UdpDiscovery* udp = nullptr;
  if (options.udp) {
    UdpDiscovery::Options o;
    o.per_datagram = options.per_datagram;
    o.delay_ms = options.delay_ms;
    o.answer_twice = options.answer_twice;
    o.garbage = options.garbage;
    o.flood_ms = options.flood_ms;
    o.flood_interval_ms = options.flood_interval_ms;
    o.seed = options.seed;
    auto module = std::make_unique<UdpDiscovery>(devices, log, o);
    udp = module.get();
    modules.push_back(std::move(module));
  }
  if (options.tcp) {
    TcpRelay::Options o;
    o.fault = options.tcp_fault;
    o.slow_byte_ms = options.slow_byte_ms;
    modules.push_back(std::make_unique<TcpRelay>(devices, log, o));
  }
  // ---- Control packages (flag 03): the module that applies them to
  // `devices` hooks in here, e.g. udp->SetControlHandler(...). Until then
  // they are only logged ("control <plain packet text>").
  (void)udp;
  // ---- Further modules (HTTP relay, UPnP hosting) are added here.

  for (auto& module : modules) {
    if (!module->Open()) return 1;
  }
  log.Linef("ready udp=%s tcp=%s devices=%zu", options.udp ? "6666" : "off",
            options.tcp ? "6666" : "off", devices.Snapshot().size());

  StopSignal stop;
  std::vector<std::thread> threads;
  for (auto& module : modules) {
    SimModule* m = module.get();
    threads.emplace_back([m, &stop] { m->Serve(stop); });
  }
  int sig = WaitForStopSignal();
  stop.Request();
  for (std::thread& t : threads) t.join();
  log.Linef("stopped by signal %d", sig);
  return 0;
}

// device-sim: plays any number of the maker's devices, a UDP/TCP relay, an
// HTTP relay, UPnP root devices and ONVIF cameras, for tests, benchmarks and
// demos. Run it only inside a test network namespace.
//
// Structure: the devices live in one DeviceSet shared by every module. Each
// module is opened here on the main thread, then served on a thread of its
// own; the main thread waits for SIGINT or SIGTERM, requests the stop signal
// and joins the modules. To add a module: construct it with `devices` and
// `log` below and push it onto `modules`.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "control_package.h"
#include "device_set.h"
#include "http_relay.h"
#include "onvif_host.h"
#include "runner_module.h"
#include "sim_devices.h"
#include "sim_log.h"
#include "sim_module.h"
#include "sim_options.h"
#include "ssdp_flood.h"
#include "stop_signal.h"
#include "tcp_relay.h"
#include "timed_changes.h"
#include "udp_discovery.h"
#include "upnp_host.h"

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
  TimedChangeOptions changes{options.appear, options.appear_ms, options.vanish,
                             options.vanish_ms, options.move,   options.move_ms};
  if (!CheckTimedChanges(changes, loaded.size(), &error)) {
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
    o.answer_broadcast = options.answer_broadcast;
    o.garbage = options.garbage;
    o.flood_ms = options.flood_ms;
    o.flood_interval_ms = options.flood_interval_ms;
    o.flood_burst = options.flood_burst;
    o.junk_sizes = options.junk_sizes;
    o.junk_random = options.junk_random;
    o.extra_texts = LongFieldPacketTexts(options.long_fields);
    o.seed = options.seed;
    auto module = std::make_unique<UdpDiscovery>(devices, log, o);
    udp = module.get();
    modules.push_back(std::move(module));
  }
  if (options.tcp) {
    TcpRelay::Options o;
    o.fault = options.tcp_fault;
    o.slow_byte_ms = options.slow_byte_ms;
    o.flood_bytes = static_cast<std::size_t>(options.tcp_flood_bytes);
    o.extra_texts = LongFieldPacketTexts(options.long_fields);
    modules.push_back(std::make_unique<TcpRelay>(devices, log, o));
  }
  if (options.appear + options.vanish + options.move > 0)
    modules.push_back(std::make_unique<TimedChanges>(devices, log, changes));
  // Control packages (flag 03) re-address the device they name.
  DhcpPool pool;
  ControlBehaviour behaviour{options.restart_ms, options.ignore_control};
  if (udp != nullptr) {
    udp->SetControlHandler([&devices, &pool, &log, &behaviour](const std::string& text, const sockaddr_in&) {
      log.Line(ApplyControlPackage(text, devices, pool, behaviour));
    });
  }
  std::mutex ready_mutex;
  std::condition_variable ready_cv;
  int http_port = -1;
  if (options.http) {
    HttpRelayOptions o;
    o.port = options.http_port;
    o.no_items = options.http_no_items;
    o.delay_ms = options.http_delay_ms;
    o.endless_body = options.http_endless;
    o.stall_after = options.http_stall_after;
    o.padding_bytes = static_cast<std::size_t>(options.http_padding);
    o.redirect = options.http_redirect;
    o.on_listening = [&](int port) {
      std::lock_guard<std::mutex> lock(ready_mutex);
      http_port = port;
      ready_cv.notify_all();
    };
    modules.push_back(std::make_unique<RunnerModule>(
        "http",
        [&devices, o](std::atomic<bool>& stop) {
          int result = RunHttpRelay(devices, o, stop, std::cout);
          return result;
        },
        [&] {
          std::unique_lock<std::mutex> lock(ready_mutex);
          return ready_cv.wait_for(lock, std::chrono::seconds(5), [&] { return http_port >= 0; });
        }));
  }
  if (options.upnp_axis + options.upnp_vivotek + options.upnp_other + options.upnp_silent > 0 ||
      !options.upnp_hostile.empty()) {
    UpnpHostOptions o;
    o.axis = options.upnp_axis;
    o.vivotek = options.upnp_vivotek;
    o.other = options.upnp_other;
    o.silent = options.upnp_silent;
    o.interface = options.upnp_interface;
    o.address = options.upnp_address;
    o.hostile = options.upnp_hostile;
    o.huge_bytes = static_cast<std::size_t>(options.upnp_huge_bytes);
    o.mx_honour = options.upnp_mx_honour;
    o.cache_control = options.upnp_cache_control;
    o.notify_only = options.upnp_notify_only;
    o.pretty = options.upnp_pretty;
    o.appear = options.upnp_appear;
    o.appear_ms = options.upnp_appear_ms;
    o.byebye = options.upnp_byebye;
    o.byebye_ms = options.upnp_byebye_ms;
    modules.push_back(std::make_unique<RunnerModule>(
        "upnp", [o](std::atomic<bool>& stop) { return RunUpnpHost(o, stop, std::cout); }));
  }
  if (options.ssdp_flood > 0) {
    SsdpFloodOptions o;
    o.address = options.upnp_address;
    o.rate = options.ssdp_flood;
    o.duration_ms = options.ssdp_flood_ms;
    modules.push_back(std::make_unique<RunnerModule>(
        "ssdp-flood", [o, &log](std::atomic<bool>& stop) { return RunSsdpFlood(o, stop, log); }));
  }
  if (options.onvif + options.onvif_computer > 0 || !options.onvif_hostile.empty()) {
    if (options.onvif_bye + options.onvif_move > options.onvif || options.onvif_appear > options.onvif) {
      std::fprintf(stderr, "device-sim: --onvif-appear, --onvif-bye and --onvif-move name more cameras than --onvif\n");
      return 2;
    }
    OnvifHostOptions o;
    o.cameras = options.onvif;
    o.computers = options.onvif_computer;
    o.hostile = options.onvif_hostile;
    o.address = options.onvif_address;
    o.http_port = options.onvif_http_port;
    o.delay_ms = options.onvif_delay_ms;
    o.plain = options.onvif_plain;
    o.appear = options.onvif_appear;
    o.appear_ms = options.onvif_appear_ms;
    o.bye = options.onvif_bye;
    o.bye_ms = options.onvif_bye_ms;
    o.move = options.onvif_move;
    o.move_ms = options.onvif_move_ms;
    modules.push_back(std::make_unique<OnvifHost>(o, log));
  }

  for (auto& module : modules) {
    if (!module->Open()) return 1;
  }
  log.Linef("ready udp=%s tcp=%s http=%s devices=%zu", options.udp ? "6666" : "off",
            options.tcp ? "6666" : "off", options.http ? std::to_string(http_port).c_str() : "off",
            devices.Snapshot().size());

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

// Load benchmark: whole default searches (broadcast and UPnP) run from the
// window, in-process on Qt's offscreen platform, against device-sim in a test
// network of its own (needs root). Three loads:
//   large   10,000 protocol devices and 200 UPnP root devices (AXIS and Vivotek)
//   small   100 protocol devices and 50 UPnP root devices
//   stalls  the small load beside 20 root devices whose description servers
//           never answer (a search then lasts its window and its grace)
// Each load is searched with the UPnP timing of today ("after": MX 1, a
// second M-SEARCH within 150 ms, the final count 1.2 s after the first) and
// with the earlier one ("before": MX 2, a 3 s window), side by side in one
// run. For each search: devices found against simulated (protocol and UPnP
// apart), the time from the button to the protocol rows and to the final
// count, the longest stall of the window's event loop (the longest gap
// between the ticks of a 10 ms timer) and the peak resident memory of this
// process.
//
// usage: bench_load [--only large|small|stalls] [--runs N] [--devices N] [--upnp N]
//                   [--small-devices N] [--small-upnp N] [--stalls N]
//                   [--timing before|after|both] [--mx-honour on|off]
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "search/engine_upnp_phase.h"
#include "test_network.h"
#include "upnp/gupnp_finder.h"
#include "upnp/upnp_merge.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  return -1;
}

struct Result {
  bool finished = false;
  int protocol_found = 0;     // distinct protocol rows (by MAC)
  int protocol_rows = 0;      // protocol rows in all (duplicates would count twice)
  int upnp_kept = 0;          // AXIS and Vivotek root devices the engine kept
  int upnp_distinct = 0;      // ... by unique device name
  int upnp_rows = 0;          // rows they gave (some are skipped by the merge's rules)
  int upnp_rows_expected = 0; // rows the merge's rules give for the kept devices
  double exchange_s = 0;      // button to the end of the broadcast exchange
  double final_s = 0;         // button to the final count
  long longest_stall_ms = 0;
  double stall_end_s = 0;     // when the longest stall ended, from the button
  long peak_rss_mb = 0;
  std::string label;
};

struct Timing {
  const char* name;
  UpnpSearchTiming timing;
};
const Timing kTimings[] = {{"before", kUpnpSearchTimingBefore}, {"after", kUpnpSearchTiming}};

Result SearchOnce(const TestNetwork& net, const UpnpSearchTiming& timing) {
  Result r;
  NetnsScope client = net.EnterClient();
  TMainForm form;
  form.UseNetwork();
  auto phase = std::make_unique<EngineUpnpPhase>(
      &form, form.Table(), form.Settings(), form.Log(),
      std::make_unique<UpnpEngine>(std::make_unique<GupnpFinder>(timing)));
  EngineUpnpPhase* upnp = phase.get();
  form.SetUpnpPhase(std::move(phase));
  form.show();

  Clock::time_point exchange_done{}, finished_at{};
  form.Driver().SetOnExchangeDone([&] { exchange_done = Clock::now(); });
  form.SetOnSearchFinished([&] {
    finished_at = Clock::now();
    r.finished = true;
  });
  QElapsedTimer since_tick;
  qint64 longest = 0;
  QTimer ticker;
  ticker.setInterval(10);
  Clock::time_point start = Clock::now();
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    qint64 gap = since_tick.restart();
    if (gap > longest) {
      longest = gap;
      r.stall_end_s = Seconds(start, Clock::now());
    }
  });
  ticker.start();
  since_tick.start();
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  while (!r.finished && Seconds(start, Clock::now()) < 60) QApplication::processEvents(QEventLoop::AllEvents, 20);
  longest = std::max(longest, since_tick.elapsed());
  ticker.stop();

  r.exchange_s = Seconds(start, exchange_done);
  r.final_s = Seconds(start, finished_at);
  r.longest_stall_ms = static_cast<long>(longest);
  r.label = form.Label1->text().toStdString();
  const StringGrid& grid = form.Table().grid;
  std::set<std::string> macs;
  for (int row = 1; row < grid.RowCount(); ++row) {
    if (grid.Cell(kNetmaskColumn, row) == "NULL") {
      ++r.upnp_rows;
    } else if (!grid.Cell(kMacColumn, row).empty()) {
      ++r.protocol_rows;
      macs.insert(grid.Cell(kMacColumn, row));
    }
  }
  r.protocol_found = static_cast<int>(macs.size());
  std::set<std::string> udns;
  for (const DeviceInformationContainer& d : upnp->Engine().results) {
    udns.insert(d.unique_device_name);
    r.upnp_rows_expected += UpnpRecordOf(d).has_value();
  }
  r.upnp_kept = static_cast<int>(upnp->Engine().results.size());
  r.upnp_distinct = static_cast<int>(udns.size());
  r.peak_rss_mb = StatusKb("VmHWM:") / 1024;
  return r;
}

// The smallest and largest of some figures, as "a" or "a-b".
std::string Range(const std::vector<double>& values) {
  if (values.empty()) return "-";
  auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  char low[24], high[24];
  std::snprintf(low, sizeof(low), "%.2f", *lo);
  std::snprintf(high, sizeof(high), "%.2f", *hi);
  return std::string(low) == high ? low : std::string(low) + "-" + high;
}

struct LoadOptions {
  int runs = 1;
  std::vector<const Timing*> timings;
  std::string mx_honour = "on";
};

// `stalls` more root devices have description servers that never answer.
bool RunLoad(const char* name, int devices, int upnp_devices, int stalls, const LoadOptions& o) {
  std::printf("\n== %s: %d protocol devices, %d UPnP root devices (%d AXIS, %d Vivotek, MX honoured: %s), "
              "%d stalling description servers, %d run(s) per timing\n",
              name, devices, upnp_devices, upnp_devices - upnp_devices / 2, upnp_devices / 2,
              o.mx_honour.c_str(), stalls, o.runs);
  TestNetwork net;
  if (!net.Ready()) {
    std::fprintf(stderr, "test network: %s\n", net.Error().c_str());
    return false;
  }
  Clock::time_point sim_start = Clock::now();
  std::vector<std::string> args = {"--count", std::to_string(devices), "--no-tcp", "--upnp-axis",
                                   std::to_string(upnp_devices - upnp_devices / 2), "--upnp-vivotek",
                                   std::to_string(upnp_devices / 2), "--upnp-address",
                                   TestNetwork::kDevicesAddress, "--upnp-mx-honour", o.mx_honour};
  if (stalls > 0) {
    std::string kinds = "stall";
    for (int i = 1; i < stalls; ++i) kinds += ",stall";
    args.insert(args.end(), {"--upnp-hostile", kinds});
  }
  ChildProcess* sim = net.StartDeviceSim(args, 30000);
  if (!sim || !sim->WaitForLine("upnp ready", 60000)) {
    std::fprintf(stderr, "device-sim did not start: %s\n", sim ? sim->Output().c_str() : net.Error().c_str());
    return false;
  }
  std::printf("simulator ready in %.1f s\n", Seconds(sim_start, Clock::now()));
  std::printf("%-7s %-4s %-18s %-22s %-10s %-10s %-14s %-9s %s\n", "timing", "run", "protocol found",
              "UPnP kept (rows)", "exchange", "final", "stall (at)", "peak RSS", "label");
  bool all = true;
  std::vector<std::string> summary;
  for (const Timing* timing : o.timings) {
    std::vector<double> exchange, final_count;
    bool timing_all = true;
    for (int run = 1; run <= o.runs; ++run) {
      Result r = SearchOnce(net, timing->timing);
      char protocol[64], upnp[64];
      std::snprintf(protocol, sizeof(protocol), "%d/%d%s", r.protocol_found, devices,
                    r.protocol_rows != r.protocol_found ? " DUP" : "");
      std::snprintf(upnp, sizeof(upnp), "%d/%d (%d/%d)%s", r.upnp_kept, upnp_devices, r.upnp_rows,
                    r.upnp_rows_expected, r.upnp_distinct != r.upnp_kept ? " DUP" : "");
      char stall[32];
      std::snprintf(stall, sizeof(stall), "%ld (%.2f)", r.longest_stall_ms, r.stall_end_s);
      std::printf("%-7s %-4d %-18s %-22s %-10.2f %-10.2f %-14s %-9ld %s%s\n", timing->name, run, protocol, upnp,
                  r.exchange_s, r.final_s, stall, r.peak_rss_mb, r.label.c_str(),
                  r.finished ? "" : " (NOT FINISHED)");
      exchange.push_back(r.exchange_s);
      final_count.push_back(r.final_s);
      timing_all = timing_all && r.finished && r.protocol_found == devices && r.protocol_rows == devices &&
                   r.upnp_kept == upnp_devices && r.upnp_distinct == upnp_devices &&
                   r.upnp_rows == r.upnp_rows_expected;
    }
    summary.push_back(std::string(timing->name) + ": exchange " + Range(exchange) + " s, final " +
                      Range(final_count) + " s, " + (timing_all ? "nothing lost" : "DEVICES LOST OR DUPLICATED"));
    all = all && timing_all;
  }
  std::printf("columns: exchange/final = seconds from the button to the broadcast's end / to the final count;\n"
              "stall = longest gap (ms) between ticks of a 10 ms timer (at: when it ended, s);\n"
              "peak RSS (MB) of this process so far\n");
  for (const std::string& line : summary) std::printf("%s %s\n", name, line.c_str());
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::string only, timing = "both";
  int devices = 10000, upnp = 200, small_devices = 100, small_upnp = 50, stalls = 20;
  LoadOptions o;
  bool usage = false;
  for (int i = 1; i < argc && !usage; ++i) {
    std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--only" && value) {
      only = argv[++i];
    } else if (arg == "--runs" && value) {
      o.runs = std::atoi(argv[++i]);
    } else if (arg == "--timing" && value) {
      timing = argv[++i];
    } else if (arg == "--mx-honour" && value) {
      o.mx_honour = argv[++i];
    } else if (arg == "--devices" && value) {
      devices = std::atoi(argv[++i]);
    } else if (arg == "--upnp" && value) {
      upnp = std::atoi(argv[++i]);
    } else if (arg == "--small-devices" && value) {
      small_devices = std::atoi(argv[++i]);
    } else if (arg == "--small-upnp" && value) {
      small_upnp = std::atoi(argv[++i]);
    } else if (arg == "--stalls" && value) {
      stalls = std::atoi(argv[++i]);
    } else {
      usage = true;
    }
  }
  for (const Timing& t : kTimings)
    if (timing == "both" || timing == t.name) o.timings.push_back(&t);
  if (usage || o.timings.empty() || (o.mx_honour != "on" && o.mx_honour != "off")) {
    std::fprintf(stderr,
                 "usage: bench_load [--only large|small|stalls] [--runs N] [--devices N] [--upnp N]\n"
                 "                  [--small-devices N] [--small-upnp N] [--stalls N]\n"
                 "                  [--timing before|after|both] [--mx-honour on|off]\n");
    return 2;
  }
  std::string why;
  if (!TestNetwork::Supported(&why)) {
    std::fprintf(stderr, "bench_load needs a test network: %s\n", why.c_str());
    return 1;
  }
  bool ok = true;
  if (only.empty() || only == "small") ok = RunLoad("small", small_devices, small_upnp, 0, o) && ok;
  if (only.empty() || only == "large") ok = RunLoad("large", devices, upnp, 0, o) && ok;
  if (only.empty() || only == "stalls") ok = RunLoad("stalls", small_devices, small_upnp, stalls, o) && ok;
  return ok ? 0 : 1;
}

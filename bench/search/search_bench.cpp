// Search benchmark. (1) Whole UDP search exchanges with the default bounds
// against 100, 1,000 and 5,000 simulated devices that all answer at once, in
// a test network of its own: devices found against simulated, and the wall
// time against the floor of two quiet gaps (0.5 s). (2) Two rows beside
// them: a client with three interfaces (the default route on the first)
// and 2,000 devices behind each; and 20,000 devices behind one interface
// with the reply socket's receive buffer held to what a normal user gets on
// a Debian desktop (net.core.rmem_max 212,992: SO_RCVBUF 425,984). (3) The
// reply intake alone: packets per second into the device list and the grid.
//
// usage: bench_search [--runs N] [--sizes A,B,...] [--packing K,...] [--no-network]
//                     [--only-new-rows]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "answers.h"
#include "protocol/answer_codec.h"
#include "protocol/intake.h"
#include "protocol/transport.h"
#include "sim_devices.h"
#include "test_network.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<int> ParseList(const char* text) {
  std::vector<int> values;
  for (const char* p = text; *p;) {
    values.push_back(std::atoi(p));
    const char* comma = std::strchr(p, ',');
    if (!comma) break;
    p = comma + 1;
  }
  return values;
}

struct Run {
  std::size_t found;
  double seconds;
};

// What a desktop's normal user gets: rmem_max 212,992, which SO_RCVBUF doubles.
constexpr int kDesktopReceiveBuffer = 212992;

// A client with `interfaces` links (the default route on the first, none on
// the others), each with its own subnet and simulator.
std::vector<TestLink> Links(int interfaces) {
  std::vector<TestLink> links;
  for (int i = 0; i < interfaces; ++i) {
    TestLink link;
    link.client_address = "10." + std::to_string(99 - i) + ".0.1/24";
    link.devices_address = "10." + std::to_string(99 - i) + ".0.2/24";
    link.client_default_route = i == 0;
    links.push_back(link);
  }
  return links;
}

// `runs` whole exchanges against fresh simulators: `devices` behind each of
// `interfaces` links, `per_datagram` packets per answer datagram, no reply
// socket asking more than `receive_buffer_cap` bytes (0: no cap).
bool BenchExchange(int devices, int per_datagram, int runs, int interfaces = 1,
                   int receive_buffer_cap = 0, const char* label = nullptr) {
  TestNetwork net(Links(interfaces));
  if (!net.Ready()) {
    std::fprintf(stderr, "test network: %s\n", net.Error().c_str());
    return false;
  }
  for (int link = 0; link < interfaces; ++link) {
    // Distinct addresses behind each link, so that every device is new.
    ChildProcess* sim = net.StartDeviceSimOn(
        link, {"--count", std::to_string(devices), "--per-datagram", std::to_string(per_datagram), "--no-tcp",
               "--ip-base", "10." + std::to_string(99 - link) + ".1.1"});
    if (!sim) {
      std::fprintf(stderr, "%s\n", net.Error().c_str());
      return false;
    }
  }
  ExchangeLimits limits;
  limits.receive_buffer_cap = receive_buffer_cap;
  const int total = devices * interfaces;
  std::vector<Run> results;
  std::vector<std::string> notes;
  {
    NetnsScope client = net.EnterClient();
    if (!client.Entered()) {
      std::fprintf(stderr, "%s\n", client.Error().c_str());
      return false;
    }
    for (int r = 0; r < runs; ++r) {
      DeviceTable table;
      SearchSettings settings;
      MemoryLog log;
      Clock::time_point start = Clock::now();
      UdpSearchExchange(
          0, settings, log,
          [&](const unsigned char* decoded, std::size_t size, std::size_t bound, std::string_view interface) {
            ParserPlainPkg(table, settings, log, decoded, size, bound, interface);
          },
          limits);
      results.push_back(Run{table.devices.Size(), Seconds(start)});
      for (const std::string& line : log.lines) notes.push_back(line);
    }
  }
  std::vector<double> times;
  std::size_t min_found = results[0].found;
  for (const Run& r : results) {
    times.push_back(r.seconds);
    min_found = std::min(min_found, r.found);
  }
  std::sort(times.begin(), times.end());
  double median = times[times.size() / 2];
  if (label != nullptr) std::printf("  %s\n", label);
  std::printf("%8d %6d   %5zu/%-5d   %6.3f  %6.3f  %6.3f   %+6.3f\n", total, per_datagram, min_found,
              total, times.front(), median, times.back(), median - 0.5);
  for (const std::string& n : notes) {
    // Each device's interface line is the intake's, not news about the exchange.
    if (n.rfind("Device ", 0) == 0 || n == kAnsweredOnLogEnd) continue;
    std::printf("    log: %s", n.c_str());
  }
  return true;
}

// The intake alone over `devices` packets, `per_answer` packets per call,
// first with every packet new, then again with every packet a duplicate.
void BenchIntake(int devices, int per_answer) {
  SimOptions o;
  o.count = devices;
  o.models = {"M100", "X2", "A7"};
  o.projs = {"P1", "P2"};
  std::vector<tComUnitInfo> records;
  std::string error;
  GenerateDevices(o, &records, &error);
  std::vector<std::string> texts = DevicePacketTexts(records);
  // All packets one after another, each with its zero; answer starts noted.
  std::vector<unsigned char> all;
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i % per_answer == 0) starts.push_back(all.size());
    all.insert(all.end(), texts[i].begin(), texts[i].end());
    all.push_back(0);
  }
  starts.push_back(all.size());
  all.push_back(0);

  double best_new = 1e9, best_dup = 1e9;
  for (int rep = 0; rep < 5; ++rep) {
    DeviceTable table;
    SearchSettings settings;
    NullLog log;
    for (int pass = 0; pass < 2; ++pass) {
      Clock::time_point start = Clock::now();
      for (std::size_t a = 0; a + 1 < starts.size(); ++a) {
        ParserPlainPkg(table, settings, log, all.data() + starts[a], all.size() - starts[a],
                       starts[a + 1] - starts[a]);
      }
      double s = Seconds(start);
      (pass == 0 ? best_new : best_dup) = std::min(pass == 0 ? best_new : best_dup, s);
    }
    if (table.devices.Size() != static_cast<std::size_t>(devices)) std::printf("    lost devices!\n");
  }
  std::printf("  intake %d packets, %4d per answer:  new %9.0f packets/s (%6.1f ms)   "
              "duplicates %9.0f packets/s\n",
              devices, per_answer, devices / best_new, best_new * 1000, devices / best_dup);
}

// Decoding plus intake, one encoded datagram per device, as the exchange does.
void BenchDecodeAndIntake(int devices) {
  SimOptions o;
  o.count = devices;
  std::vector<tComUnitInfo> records;
  std::string error;
  GenerateDevices(o, &records, &error);
  std::vector<std::string> datagrams = EncodeAnswerDatagrams(records, 1);
  std::vector<unsigned char> decoded(65536, 0);
  double best = 1e9;
  for (int rep = 0; rep < 5; ++rep) {
    DeviceTable table;
    SearchSettings settings;
    NullLog log;
    std::size_t dirty = 0;
    Clock::time_point start = Clock::now();
    for (const std::string& d : datagrams) {
      DecodeAnswer(d.data(), d.size(), decoded.data(), decoded.size(), &dirty);
      ParserPlainPkg(table, settings, log, decoded.data(), decoded.size(), d.size());
    }
    best = std::min(best, Seconds(start));
  }
  std::printf("  decode+intake %d datagrams of one packet: %9.0f packets/s (%6.1f ms)\n", devices,
              devices / best, best * 1000);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  std::vector<int> sizes = {100, 1000, 5000};
  std::vector<int> packing = {1, 64};
  bool network = true;
  bool only_new_rows = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--sizes" && i + 1 < argc) {
      sizes = ParseList(argv[++i]);
    } else if (a == "--packing" && i + 1 < argc) {
      packing = ParseList(argv[++i]);
    } else if (a == "--no-network") {
      network = false;
    } else if (a == "--only-new-rows") {
      only_new_rows = true;
    } else {
      std::fprintf(stderr,
                   "usage: bench_search [--runs N] [--sizes A,B,...] [--packing K,...] [--no-network]\n"
                   "                    [--only-new-rows]\n");
      return 2;
    }
  }

  if (network) {
    std::string why;
    if (!TestNetwork::Supported(&why)) {
      std::printf("whole exchanges skipped: %s\n", why.c_str());
    } else {
      std::printf("Whole UDP search exchange, default bounds (quiet 250 ms, floor 0.500 s), %d runs\n",
                  runs);
      std::printf(" devices packing   found/sim     min     median  max      median-floor (s)\n");
      if (!only_new_rows) {
        for (int k : packing) {
          for (int n : sizes) {
            if (!BenchExchange(n, k, runs)) return 1;
          }
        }
      }
      if (!BenchExchange(2000, 1, runs, 3, 0,
                         "3 interfaces (default route on the first), 2,000 devices behind each:") ||
          !BenchExchange(20000, 1, runs, 1, kDesktopReceiveBuffer,
                         "20,000 devices, reply sockets asking at most SO_RCVBUF 212,992 (a desktop user's 425,984):"))
        return 1;
    }
  }
  std::printf("Reply intake alone (device list and grid), best of 5\n");
  BenchIntake(10000, 1);
  BenchIntake(10000, 400);
  BenchDecodeAndIntake(10000);
  return 0;
}

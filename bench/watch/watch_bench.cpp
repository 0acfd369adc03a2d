// Watch benchmark: the live watch and the ndjson UPnP rows against
// device-sim in a test network of its own (needs root). Four parts:
//   cost     `device-search watch --interval 5` for --seconds (60) over 1,000
//            protocol devices and 20 UPnP devices: the program's average CPU
//            (of one core) and its resident memory, sampled every second;
//   rss      the watch's rounds run in this process, back to back (the
//            interval cut to nothing, so that 100 rounds take minutes, not
//            500 s), over the same devices: resident memory after each round;
//   latency  a protocol device that appears between rounds (from the
//            simulator's first answer that holds it, and from its appearing,
//            to its "found" line) and UPnP devices that announce themselves
//            with ssdp:alive (from the announcement to their "found" lines);
//   ndjson   `device-search search --format ndjson` over 20 UPnP devices that
//            answer within their MX: each UPnP row's time against the time
//            its device's first SSDP answer went out, and against the start;
//            with --before PATH the same for another build of the program.
// Times of lines are taken when this process reads them (polled every 2 ms).
//
// usage: bench_watch [--only cost|rss|latency|ndjson] [--seconds S] [--rounds N]
//                    [--devices N] [--before PATH]
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "protocol/debug_log.h"
#include "watch/device_watch.h"
#include "watch/watch_round_search.h"
#include "test_network.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

struct Options {
  std::string only;
  int seconds = 60;
  int rounds = 100;
  int devices = 1000;
  std::string before;
};

// The lines of children as they arrive, each with the time it was read.
struct TimedLine {
  Clock::time_point at;
  std::string text;
};

class LineClock {
 public:
  explicit LineClock(ChildProcess* child) : child_(child) {}
  // Takes the lines read since the last call.
  void Poll() {
    std::vector<std::string> all = child_->Lines();
    const Clock::time_point now = Clock::now();
    for (std::size_t i = lines_.size(); i < all.size(); ++i) lines_.push_back({now, all[i]});
  }
  const std::vector<TimedLine>& Lines() const { return lines_; }
  // The first line holding `needle` read at or after `from`, or null.
  const TimedLine* First(const std::string& needle, Clock::time_point from = {}) const {
    for (const TimedLine& l : lines_)
      if (l.at >= from && l.text.find(needle) != std::string::npos) return &l;
    return nullptr;
  }

 private:
  ChildProcess* child_;
  std::vector<TimedLine> lines_;
};

// Polls the clocks every 2 ms until `done` or `seconds` pass.
template <typename Done>
void PollUntil(std::vector<LineClock*> clocks, Done done, double seconds) {
  const Clock::time_point until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
  while (Clock::now() < until) {
    for (LineClock* c : clocks) c->Poll();
    if (done()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

long RssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

// User and system CPU time of `pid`, in seconds.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  unsigned long utime = 0, stime = 0;
  // Fields after the name: state (3) ... utime (14), stime (15).
  if (std::sscanf(stat.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                  &stime) != 2)
    return -1;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::vector<std::string> DeviceArgs(int devices) {
  return {"--count", std::to_string(devices), "--per-datagram", "10", "--upnp-axis", "10", "--upnp-vivotek", "10",
          "--upnp-address", TestNetwork::kDevicesAddress};
}

void Cost(const Options& o) {
  TestNetwork net;
  if (!net.Ready()) return (void)std::printf("cost: no test network: %s\n", net.Error().c_str());
  ChildProcess* sim = net.StartDeviceSim(DeviceArgs(o.devices));
  if (sim == nullptr || !sim->WaitForLine("upnp ready", 10000)) return (void)std::printf("cost: no simulator\n");
  ChildProcess* watch = net.StartInClient({KDS_DEVICE_SEARCH_PATH, "watch", "--interval", "5", "--duration",
                                           std::to_string(o.seconds + 5)});
  const Clock::time_point start = Clock::now();
  std::vector<std::pair<double, long>> rss;  // (s, kB) each second
  double cpu_at_1 = 0, cpu_last = 0, last_s = 0;
  for (int s = 1; s <= o.seconds; ++s) {
    std::this_thread::sleep_until(start + std::chrono::seconds(s));
    const double cpu = CpuSeconds(watch->Pid());
    if (s == 1) cpu_at_1 = cpu;
    cpu_last = cpu;
    last_s = Seconds(start, Clock::now());
    rss.emplace_back(last_s, RssKb(watch->Pid()));
  }
  const int found = watch->CountLines("\"event\":\"found\"");
  watch->Stop();
  std::printf("cost: %d protocol + 20 UPnP devices, interval 5 s, %d s\n", o.devices, o.seconds);
  std::printf("  found events: %d\n", found);
  std::printf("  CPU: %.2f s in all = %.2f%% of a core on average; after the first second %.2f%%\n", cpu_last,
              100.0 * cpu_last / last_s, 100.0 * (cpu_last - cpu_at_1) / (last_s - 1));
  std::printf("  RSS (MiB) at");
  for (std::size_t i = 4; i < rss.size(); i += 5) std::printf(" %.0fs:%.1f", rss[i].first, rss[i].second / 1024.0);
  std::printf("\n");
}

void Rss(const Options& o) {
  TestNetwork net;
  if (!net.Ready()) return (void)std::printf("rss: no test network: %s\n", net.Error().c_str());
  ChildProcess* sim = net.StartDeviceSim(DeviceArgs(o.devices));
  if (sim == nullptr || !sim->WaitForLine("upnp ready", 10000)) return (void)std::printf("rss: no simulator\n");
  NetnsScope client = net.EnterClient();
  NullLog log;
  WatchRoundSearch rounds(SearchSettings{}, true, log);
  DeviceWatch watch(rounds, nullptr, {std::chrono::milliseconds(0), nullptr, nullptr});
  std::size_t events = 0;
  watch.SetOnEvent([&](const DeviceWatch::Event&) { ++events; });
  std::vector<long> rss;
  const Clock::time_point start = Clock::now();
  QTimer ticks;
  QObject::connect(&ticks, &QTimer::timeout, [&] {
    if (static_cast<int>(rss.size()) < watch.RoundsDone()) rss.push_back(RssKb(getpid()));
    if (watch.RoundsDone() >= o.rounds) return QCoreApplication::quit();
    watch.Tick();
  });
  ticks.start(10);
  QCoreApplication::exec();
  std::printf("rss: %d rounds back to back over %d protocol + 20 UPnP devices in %.0f s, %zu events\n", o.rounds,
              o.devices, Seconds(start, Clock::now()), events);
  std::printf("  RSS (MiB) after round");
  for (std::size_t i = 0; i < rss.size(); i += std::max<std::size_t>(1, rss.size() / 10))
    std::printf(" %zu:%.1f", i + 1, rss[i] / 1024.0);
  std::printf(" %zu:%.1f\n", rss.size(), rss.back() / 1024.0);
}

void Latency(const Options&) {
  TestNetwork net;
  if (!net.Ready()) return (void)std::printf("latency: no test network: %s\n", net.Error().c_str());
  // Cam20 appears at 7 s, between the rounds at about 5 and 10 s; five AXIS
  // devices announce themselves at 3 s.
  ChildProcess* sim = net.StartDeviceSim({"--count", "20", "--appear", "1", "--appear-ms", "7000", "--upnp-axis",
                                          "5", "--upnp-appear", "5", "--upnp-appear-ms", "3000", "--upnp-address",
                                          TestNetwork::kDevicesAddress});
  if (sim == nullptr || !sim->WaitForLine("upnp ready", 10000)) return (void)std::printf("latency: no simulator\n");
  ChildProcess* watch = net.StartInClient({KDS_DEVICE_SEARCH_PATH, "watch", "--interval", "5"});
  LineClock sim_lines(sim), watch_lines(watch);
  PollUntil({&sim_lines, &watch_lines},
            [&] { return watch_lines.First("\"name\":\"Cam20\"") != nullptr; }, 30);
  PollUntil({&sim_lines, &watch_lines}, [] { return false; }, 0.5);
  watch->Stop();
  const TimedLine* appear = sim_lines.First("appear ");
  const TimedLine* answer = appear ? sim_lines.First("udp answer", appear->at) : nullptr;
  const TimedLine* found = watch_lines.First("\"name\":\"Cam20\"");
  std::printf("latency: interval 5 s\n");
  if (appear && answer && found)
    std::printf("  protocol: first answer -> found %.3f s; appeared -> found %.3f s\n", Seconds(answer->at, found->at),
                Seconds(appear->at, found->at));
  else
    std::printf("  protocol: not measured (appear %d, answer %d, found %d)\n", appear != nullptr, answer != nullptr,
                found != nullptr);
  std::printf("  ssdp:alive -> found:");
  for (const TimedLine& l : sim_lines.Lines()) {
    if (l.text.rfind("upnp alive ", 0) != 0) continue;
    const std::string udn = l.text.substr(11);
    const TimedLine* f = watch_lines.First("\"unique_device_name\":\"" + udn + "\"");
    if (f) std::printf(" %.3f", Seconds(l.at, f->at));
    else std::printf(" never");
  }
  std::printf(" s\n");
}

void NdjsonOf(const char* label, const std::string& program) {
  TestNetwork net;
  if (!net.Ready()) return (void)std::printf("ndjson: no test network: %s\n", net.Error().c_str());
  ChildProcess* sim = net.StartDeviceSim({"--count", "100", "--upnp-axis", "10", "--upnp-vivotek", "10",
                                          "--upnp-address", TestNetwork::kDevicesAddress});
  if (sim == nullptr || !sim->WaitForLine("upnp ready", 10000)) return (void)std::printf("ndjson: no simulator\n");
  const Clock::time_point start = Clock::now();
  ChildProcess* search = net.StartInClient({program, "search", "--format", "ndjson"});
  LineClock sim_lines(sim), rows(search);
  PollUntil({&sim_lines, &rows}, [&] { return !search->Running(); }, 30);
  PollUntil({&sim_lines, &rows}, [] { return false; }, 0.2);
  const Clock::time_point end = Clock::now();
  std::map<std::string, Clock::time_point> answered;  // UDN -> its first answer
  for (const TimedLine& l : sim_lines.Lines())
    if (l.text.rfind("upnp answer ", 0) == 0) answered.emplace(l.text.substr(12), l.at);
  std::vector<double> after_answer, after_start;
  double protocol_at = -1;
  for (const TimedLine& l : rows.Lines()) {
    const QJsonObject row = QJsonDocument::fromJson(QByteArray::fromStdString(l.text)).object();
    if (row["source"].toString() != "upnp") {
      if (protocol_at < 0) protocol_at = Seconds(start, l.at);
      continue;
    }
    after_start.push_back(Seconds(start, l.at));
    auto it = answered.find(row["upnp"].toObject()["unique_device_name"].toString().toStdString());
    if (it != answered.end()) after_answer.push_back(Seconds(it->second, l.at));
  }
  std::sort(after_answer.begin(), after_answer.end());
  std::sort(after_start.begin(), after_start.end());
  auto span = [](const std::vector<double>& v) {
    if (v.empty()) return std::string("none");
    char text[96];
    std::snprintf(text, sizeof(text), "min %.3f, median %.3f, max %.3f s", v.front(), v[v.size() / 2], v.back());
    return std::string(text);
  };
  std::printf("ndjson (%s): %zu UPnP rows, search ended %.3f s after its start, first protocol row %.3f s\n", label,
              after_start.size(), Seconds(start, end), protocol_at);
  std::printf("  UPnP row after its SSDP answer: %s\n", span(after_answer).c_str());
  std::printf("  UPnP row after the start:       %s\n", span(after_start).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i], value = argv[i + 1];
    if (name == "--only") o.only = value;
    else if (name == "--seconds") o.seconds = std::atoi(value.c_str());
    else if (name == "--rounds") o.rounds = std::atoi(value.c_str());
    else if (name == "--devices") o.devices = std::atoi(value.c_str());
    else if (name == "--before") o.before = value;
    else return std::fprintf(stderr, "bench_watch: unknown option %s\n", name.c_str()), 2;
  }
  std::string why;
  if (!TestNetwork::Supported(&why)) return std::fprintf(stderr, "bench_watch: %s\n", why.c_str()), 1;
  auto wanted = [&](const char* part) { return o.only.empty() || o.only == part; };
  if (wanted("ndjson")) {
    NdjsonOf("this build", KDS_DEVICE_SEARCH_PATH);
    if (!o.before.empty()) NdjsonOf(o.before.c_str(), o.before);
  }
  if (wanted("latency")) Latency(o);
  if (wanted("cost")) Cost(o);
  if (wanted("rss")) Rss(o);
  return 0;
}

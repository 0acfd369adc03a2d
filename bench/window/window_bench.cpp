// Window stall benchmark: how long the window's event loop stops while it
// searches and while it watches, in-process on Qt's offscreen platform,
// against device-sim in a test network of its own (needs root). Two runs,
// each in a network and a window of its own:
//   search  one "Device Search" over --devices (10,000) protocol devices and
//           --upnp (20) UPnP root devices, from the button to the final count;
//   watch   after an unmeasured "Device Search" over the same devices, "Watch"
//           on with a --interval (5 s) for --seconds (30). Meanwhile --churn
//           (100) devices appear, as many vanish and as many move to another
//           address (at --churn-ms, 8 s, after the simulator is ready), so the
//           rounds also append, update and grey rows.
// A 5 ms timer ticks throughout; each gap between two ticks is measured. For
// each run: the longest gap (and when it ended), the 99th percentile and the
// median of the gaps, the number of ticks, the number of rounds (the watch's
// rounds; 1 for the search) and the rows listed at the end, by kind and by
// mark; for the watch also how long the click on "Watch" itself took and the
// longest gap after its first second, that is past turning it on.
//
// usage: bench_window [--only search|watch] [--devices N] [--upnp N]
//                     [--interval S] [--seconds S] [--churn N] [--churn-ms MS]
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "test_network.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

struct Options {
  std::string only;
  int devices = 10000;
  int upnp = 20;
  int interval_s = 5;
  int seconds = 30;
  int churn = 100;
  int churn_ms = 8000;
};

// Ticks every 5 ms and keeps each gap between two ticks (ms).
class StallMeter {
 public:
  StallMeter() {
    ticker_.setTimerType(Qt::PreciseTimer);
    ticker_.setInterval(5);
    QObject::connect(&ticker_, &QTimer::timeout, [this] {
      Record();
      since_tick_.restart();
    });
  }
  void Start() {
    gaps_.clear();
    ends_s_.clear();
    longest_ = 0;
    longest_at_s_ = 0;
    ticker_.start();
    since_tick_.start();
    since_start_.start();
  }
  void Stop() {
    Record();  // the last, unfinished gap
    ticker_.stop();
  }
  // The gap below which `fraction` of the gaps lie.
  double Percentile(double fraction) const {
    if (gaps_.empty()) return 0;
    std::vector<double> sorted = gaps_;
    std::sort(sorted.begin(), sorted.end());
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(at, sorted.size() - 1)];
  }
  double Longest() const { return longest_; }
  // When the longest gap ended, in seconds from Start.
  double LongestAt() const { return longest_at_s_; }
  // The longest gap that ended `from_s` seconds or more after Start.
  double LongestFrom(double from_s) const {
    double longest = 0;
    for (std::size_t i = 0; i < gaps_.size(); ++i)
      if (ends_s_[i] >= from_s) longest = std::max(longest, gaps_[i]);
    return longest;
  }
  std::size_t Ticks() const { return gaps_.size(); }

 private:
  void Record() {
    const double gap = static_cast<double>(since_tick_.nsecsElapsed()) / 1e6;
    if (gap > longest_) {
      longest_ = gap;
      longest_at_s_ = static_cast<double>(since_start_.elapsed()) / 1e3;
    }
    gaps_.push_back(gap);
    ends_s_.push_back(static_cast<double>(since_start_.elapsed()) / 1e3);
  }

  QTimer ticker_;
  QElapsedTimer since_tick_, since_start_;
  std::vector<double> gaps_;
  std::vector<double> ends_s_;  // when each gap ended, seconds from Start
  double longest_ = 0, longest_at_s_ = 0;
};

// Runs the event loop until `done` or `limit_s` seconds; false on the limit.
template <typename Done>
bool RunUntil(Done done, double limit_s) {
  const Clock::time_point start = Clock::now();
  while (!done()) {
    if (Seconds(start, Clock::now()) >= limit_s) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

int ListedRows(TMainForm& form) {
  const StringGrid& grid = form.Table().grid;
  int rows = 0;
  for (int row = 1; row < grid.RowCount(); ++row) rows += !grid.Cell(kMacColumn, row).empty();
  return rows;
}

// The listed rows by kind and by the watch's marks, as "N protocol, N UPnP; N new, N changed, N gone".
std::string RowKinds(TMainForm& form) {
  const StringGrid& grid = form.Table().grid;
  int protocol = 0, upnp = 0, fresh = 0, changed = 0, gone = 0;
  for (int row = 1; row < grid.RowCount(); ++row) {
    if (grid.Cell(kMacColumn, row).empty()) continue;
    (grid.Cell(kNetmaskColumn, row) == "NULL" ? upnp : protocol) += 1;
    const RowLook look = form.Marks().LookOf(row);
    fresh += look.tint == RowLook::Tint::kNew;
    changed += look.tint == RowLook::Tint::kChanged;
    gone += look.greyed;
  }
  char text[160];
  std::snprintf(text, sizeof(text), "%d protocol, %d UPnP; %d new, %d changed, %d gone", protocol, upnp, fresh,
                changed, gone);
  return text;
}

struct Figures {
  bool ok = false;
  double longest_rounds_ms = -1;  // the watch's longest after its first second (its start)
  double watch_on_ms = -1;        // the click on "Watch" itself
  double longest_ms = 0, longest_at_s = 0, p99_ms = 0, median_ms = 0;
  std::size_t ticks = 0;
  int rounds = 0;
  int rows = 0;
  double seconds = 0;
  std::string label;
  std::string kinds;
};

void Print(const char* run, const Figures& f) {
  char longest[40];
  std::snprintf(longest, sizeof(longest), "%.1f (%.1f)", f.longest_ms, f.longest_at_s);
  std::printf("%-7s %-14s %-9.2f %-10.2f %-8zu %-7d %-7d %-8.1f %s%s\n", run, longest, f.p99_ms, f.median_ms,
              f.ticks, f.rounds, f.rows, f.seconds, f.label.c_str(), f.ok ? "" : " (NOT FINISHED)");
  if (f.longest_rounds_ms >= 0)
    std::printf("        the click on \"Watch\" took %.1f; longest from 1 s after it: %.1f\n", f.watch_on_ms,
                f.longest_rounds_ms);
  std::printf("        rows: %s\n", f.kinds.c_str());
}

// Starts device-sim in `net` with the devices of `o`, and with the churn when `churn`.
bool StartDevices(TestNetwork& net, const Options& o, bool churn) {
  if (!net.Ready()) {
    std::fprintf(stderr, "test network: %s\n", net.Error().c_str());
    return false;
  }
  std::vector<std::string> args = {"--count",      std::to_string(o.devices),        "--no-tcp",
                                   "--upnp-axis",  std::to_string(o.upnp - o.upnp / 2), "--upnp-vivotek",
                                   std::to_string(o.upnp / 2), "--upnp-address",        TestNetwork::kDevicesAddress};
  if (churn && o.churn > 0) {
    const std::string n = std::to_string(o.churn), ms = std::to_string(o.churn_ms);
    args.insert(args.end(), {"--appear", n, "--appear-ms", ms, "--vanish", n, "--vanish-ms", ms, "--move", n,
                             "--move-ms", ms});
  }
  ChildProcess* sim = net.StartDeviceSim(args, 30000);
  if (sim == nullptr || (o.upnp > 0 && !sim->WaitForLine("upnp ready", 60000))) {
    std::fprintf(stderr, "device-sim did not start: %s\n", sim ? sim->Output().c_str() : net.Error().c_str());
    return false;
  }
  return true;
}

// Presses "Device Search" and runs the loop until the search has ended.
bool Search(TMainForm& form) {
  bool finished = false;
  form.SetOnSearchFinished([&] { finished = true; });
  form.Button1->click();
  const bool ok = RunUntil([&] { return finished; }, 120);
  form.SetOnSearchFinished(nullptr);
  return ok;
}

Figures SearchRun(const Options& o) {
  Figures f;
  TestNetwork net;
  if (!StartDevices(net, o, false)) return f;
  NetnsScope client = net.EnterClient();
  TMainForm form;
  form.UseNetwork();
  form.show();
  StallMeter meter;
  const Clock::time_point start = Clock::now();
  meter.Start();
  f.ok = Search(form);
  meter.Stop();
  f.seconds = Seconds(start, Clock::now());
  f.longest_ms = meter.Longest();
  f.longest_at_s = meter.LongestAt();
  f.kinds = RowKinds(form);
  f.p99_ms = meter.Percentile(0.99);
  f.median_ms = meter.Percentile(0.5);
  f.ticks = meter.Ticks();
  f.rounds = 1;
  f.rows = ListedRows(form);
  f.label = form.Label1->text().toStdString();
  return f;
}

Figures WatchRun(const Options& o) {
  Figures f;
  TestNetwork net;
  const Clock::time_point sim_start = Clock::now();
  if (!StartDevices(net, o, true)) return f;
  const Clock::time_point ready = Clock::now();
  NetnsScope client = net.EnterClient();
  TMainForm form;
  form.UseNetwork();
  form.show();
  if (!Search(form)) {
    std::fprintf(stderr, "the search before watching did not end\n");
    return f;
  }
  const std::string searched_rows = RowKinds(form);
  form.WatchInterval->setValue(o.interval_s);
  StallMeter meter;
  const Clock::time_point start = Clock::now();
  meter.Start();
  QElapsedTimer click;
  click.start();
  if (!form.WatchCheck->isChecked()) form.WatchCheck->click();
  f.watch_on_ms = static_cast<double>(click.nsecsElapsed()) / 1e6;
  RunUntil([] { return false; }, o.seconds);
  meter.Stop();
  f.seconds = Seconds(start, Clock::now());
  f.ok = form.Watch() != nullptr;
  f.longest_rounds_ms = meter.LongestFrom(1.0);
  f.rounds = form.Watch() != nullptr ? form.Watch()->RoundsDone() : 0;
  f.longest_ms = meter.Longest();
  f.longest_at_s = meter.LongestAt();
  f.kinds = RowKinds(form);
  f.p99_ms = meter.Percentile(0.99);
  f.median_ms = meter.Percentile(0.5);
  f.ticks = meter.Ticks();
  f.rows = ListedRows(form);
  f.label = form.Label1->text().toStdString();
  std::printf("(watch: simulator ready %.1f s after its start; rows before watching: %s; watching from %.1f s to "
              "%.1f s after ready; churn at %.1f s)\n",
              Seconds(sim_start, ready), searched_rows.c_str(), Seconds(ready, start), Seconds(ready, Clock::now()),
              o.churn_ms / 1000.0);
  if (form.WatchCheck->isChecked()) form.WatchCheck->click();
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  Options o;
  bool usage = false;
  for (int i = 1; i < argc && !usage; ++i) {
    const std::string arg = argv[i];
    const bool value = i + 1 < argc;
    auto number = [&](int* into) { *into = std::atoi(argv[++i]); };
    if (arg == "--only" && value) {
      o.only = argv[++i];
    } else if (arg == "--devices" && value) {
      number(&o.devices);
    } else if (arg == "--upnp" && value) {
      number(&o.upnp);
    } else if (arg == "--interval" && value) {
      number(&o.interval_s);
    } else if (arg == "--seconds" && value) {
      number(&o.seconds);
    } else if (arg == "--churn" && value) {
      number(&o.churn);
    } else if (arg == "--churn-ms" && value) {
      number(&o.churn_ms);
    } else {
      usage = true;
    }
  }
  if (usage || (!o.only.empty() && o.only != "search" && o.only != "watch") || o.devices < 1 || o.interval_s < 5 ||
      o.seconds < 1 || o.churn < 0 || 3 * o.churn > o.devices) {
    std::fprintf(stderr,
                 "usage: bench_window [--only search|watch] [--devices N] [--upnp N]\n"
                 "                    [--interval S (5 or more)] [--seconds S] [--churn N] [--churn-ms MS]\n");
    return 2;
  }
  std::string why;
  if (!TestNetwork::Supported(&why)) {
    std::fprintf(stderr, "bench_window needs a test network: %s\n", why.c_str());
    return 1;
  }
  std::printf("%d protocol devices, %d UPnP root devices; watch: %d s interval for %d s, %d devices each "
              "appear, vanish and move\n",
              o.devices, o.upnp, o.interval_s, o.seconds, o.churn);
  std::vector<std::pair<const char*, Figures>> results;
  if (o.only.empty() || o.only == "search") results.emplace_back("search", SearchRun(o));
  if (o.only.empty() || o.only == "watch") results.emplace_back("watch", WatchRun(o));
  std::printf("%-7s %-14s %-9s %-10s %-8s %-7s %-7s %-8s %s\n", "run", "longest (at)", "p99", "median", "ticks",
              "rounds", "rows", "seconds", "label");
  bool ok = true;
  for (const auto& [run, figures] : results) {
    Print(run, figures);
    ok = ok && figures.ok;
  }
  std::printf("gaps (ms) between ticks of a 5 ms timer on the window's thread, 5 ms when nothing stalls;\n"
              "at: when the longest ended, seconds from the button / from \"Watch\" on\n");
  return ok ? 0 : 1;
}

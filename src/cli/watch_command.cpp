// `device-search watch`: its options, its rounds and announcements on the core
// event loop, and its event lines.
#include "cli/watch_command.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <charconv>
#include <ctime>
#include <iostream>
#include <sstream>

#include "cli/closed_output.h"
#include "cli/options.h"
#include "cli/search_options.h"
#include "cli/stderr_log.h"
#include "protocol/interfaces.h"
#include "protocol/shown_text.h"
#include "protocol/string_printf.h"
#include "lists/row_writer.h"
#include "search/search_driver.h"
#include "watch/live_watch.h"

namespace {

// An option whose value is a whole number of seconds, at least `least`.
Option SecondsOption(const char* name, std::string help, long least, std::optional<std::chrono::seconds>* out) {
  const std::string option = name;
  return {{name}, "SECONDS", std::move(help), [option, least, out](const std::string& text, std::string* error) {
            long value = 0;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (ec != std::errc() || end != text.data() + text.size() || value < least || value > 315360000) {
              *error = option + " must be a whole number of seconds, at least " + std::to_string(least) + ", not " +
                       QuotedArgument(text);
              return false;
            }
            *out = std::chrono::seconds(value);
            return true;
          }};
}

std::vector<Option> WatchOptions(WatchCommand* cmd, bool* protocol_given, std::optional<std::chrono::seconds>* interval) {
  return {
      RelayOption(&cmd->settings, "ask the relay at ADDRESS each round instead of broadcasting"),
      ProtocolOption(&cmd->settings, protocol_given),
      InterfaceOption(&cmd->settings, "broadcast only out of this interface (repeatable)"),
      SecondsOption("--interval",
                    "search every SECONDS seconds (default " + std::to_string(DeviceWatch::kDefaultInterval.count()) +
                        ", at least " + std::to_string(DeviceWatch::kShortestInterval.count()) + ")",
                    DeviceWatch::kShortestInterval.count(), interval),
      SecondsOption("--duration", "stop after SECONDS seconds (default: until SIGINT\nor SIGTERM)", 1,
                    &cmd->duration),
      {{"--format"}, "FORMAT", "ndjson (the default: one JSON object per event) or\ntable (a readable line per event)",
       [cmd](const std::string& value, std::string* error) {
         if (value != "ndjson" && value != "table") {
           *error = "--format must be ndjson or table, not " + QuotedArgument(value);
           return false;
         }
         cmd->table = value == "table";
         return true;
       }},
      {{"--no-upnp"}, "", "leave the UPnP search and its announcements out", SetFlag(&cmd->upnp, false)},
      VerboseOption(&cmd->verbose),
      HelpOption(&cmd->help),
  };
}

constexpr int kHelpColumn = 23;

// SIGINT and SIGTERM end the event loop between two events, so that no line
// is cut: the handler only writes a byte to a pipe that the loop watches.
class StopOnSignals {
 public:
  StopOnSignals() {
    if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    write_fd_ = fds_[1];
    struct sigaction action {};
    action.sa_handler = [](int) {
      const char byte = 1;
      [[maybe_unused]] ssize_t n = write(write_fd_, &byte, 1);
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // a line being written goes on
    sigaction(SIGINT, &action, &old_int_);
    sigaction(SIGTERM, &action, &old_term_);
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
  }
  ~StopOnSignals() {
    if (write_fd_ < 0) return;
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
    notifier_.reset();
    write_fd_ = -1;
    close(fds_[0]);
    close(fds_[1]);
  }

 private:
  static inline volatile sig_atomic_t write_fd_ = -1;
  int fds_[2] = {-1, -1};
  struct sigaction old_int_ {}, old_term_ {};
  std::unique_ptr<QSocketNotifier> notifier_;
};

std::string Cell(const tComUnitInfo& record, int field) {
  return std::string(UnitField(record, field), strnlen(UnitField(record, field), UnitFieldWidth(field)));
}

// The row as the search's JSON writes it; with `notes`, it carries them.
std::string RowJson(const WatchedDevice& d, const std::vector<RowNote>* notes = nullptr) {
  return RecordJson(d.listed.record, d.source, d.listed.interface, d.upnp ? &*d.upnp : nullptr, notes);
}

// Whether a broadcast round has an interface to go out of now.
bool CanBroadcast(const SearchSettings& settings) {
  return settings.ip_relay || !SelectInterfaces(BroadcastInterfaces(), settings.interfaces).empty();
}

}  // namespace

std::optional<WatchCommand> ParseWatchArguments(const std::vector<std::string>& args, std::string& error) {
  WatchCommand cmd;
  bool protocol_given = false;
  std::optional<std::chrono::seconds> interval;
  if (!ReadOptions(args, WatchOptions(&cmd, &protocol_given, &interval), &error)) return std::nullopt;
  if (cmd.help) return cmd;
  if (!CheckWhereToSearch(cmd.settings, protocol_given, &error)) return std::nullopt;
  if (interval) cmd.interval = *interval;
  return cmd;
}

std::string WatchUsage() {
  WatchCommand unused;
  bool given = false;
  std::optional<std::chrono::seconds> interval;
  return "usage: device-search watch [--relay ADDRESS [--protocol tcp|udp|httpcmd] |\n"
         "                            --interface NAME...] [--interval SECONDS]\n"
         "                           [--duration SECONDS] [--format ndjson|table]\n"
         "                           [--no-upnp] [--verbose]\n"
         "\n"
         "Repeats the search of 'device-search search' every interval and, between\n"
         "rounds, listens to the devices' UPnP announcements (ssdp:alive, ssdp:byebye).\n"
         "Prints one line per event: a device found, a device changed, a device gone\n"
         "(missing from 3 rounds in a row, or announced gone), or a note on a row that\n"
         "changed. Between rounds it holds nothing on port 6667, so that other searches\n"
         "on this machine get their answers.\n"
         "\n" +
         OptionList(WatchOptions(&unused, &given, &interval), kHelpColumn) +
         "\n"
         "Each event is one JSON object, its row as 'search --format json' writes it:\n"
         "  {\"event\":\"found\",\"time\":\"2026-03-01T12:00:05.123Z\",\"row\":{...}}\n"
         "\"changed\" adds \"changed\" (the fields' names) and \"before\" (the row before);\n"
         "\"note\" adds \"notes\", each with its \"kind\" and \"detail\"; \"gone\" shows the\n"
         "row as last seen. The time is UTC.\n"
         "\n"
         "Without a relay, watch needs an interface that can broadcast when it starts.\n"
         "If the interfaces go later, the rounds find nothing until one is back (a line\n"
         "on standard error says so each time) and the devices are reported gone. With\n"
         "--relay each round asks the relay; the UPnP search and the announcements are\n"
         "still those of this machine's own networks.\n"
         "\n"
         "A round waits up to 5 s while another search on this machine holds UDP port\n"
         "6667; a round that still finds it held is said on standard error, counts\n"
         "as missed for no device, and the watch goes on.\n"
         "\n"
         "Exit status: 0 when stopped by SIGINT or SIGTERM or after --duration, 1 when\n"
         "no interface can broadcast at the start or the first round found port 6667\n"
         "held, 2 for bad arguments (an unknown interface included). When standard output is a pipe whose reader has gone\n"
         "(watch | head -1), watch ends within a second, also with nothing to print,\n"
         "by SIGPIPE (status 141) as a line written into it would end it, or with\n"
         "status 0 when it was started with SIGPIPE ignored.\n";
}

std::string Rfc3339Utc(std::chrono::system_clock::time_point time) {
  const auto ms = std::chrono::floor<std::chrono::milliseconds>(time).time_since_epoch().count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S", &tm);
  return StringPrintf("%s.%03dZ", text, static_cast<int>((ms % 1000 + 1000) % 1000));
}

std::string WatchEventLine(const DeviceWatch& watch, const DeviceWatch::Event& event, bool table,
                           std::chrono::system_clock::time_point time) {
  const DeviceWatch::Entry& entry = watch.Entries()[event.entry];
  const tComUnitInfo& record = entry.device.listed.record;
  const bool changed = event.kind == DeviceWatch::EventKind::kChanged && entry.before;
  const bool note = event.kind == DeviceWatch::EventKind::kNote;
  if (table) {
    std::string word = WatchEventWord(event.kind);
    word.resize(std::string("changed").size(), ' ');  // the events' words line up
    std::vector<std::string> cells = {Rfc3339Utc(time), word};
    for (const std::string& cell : GridRowOf(record)) cells.push_back(cell);
    if (changed)
      for (int f : entry.changed_fields)
        cells.push_back(ChangedFieldText(UnitFieldName(f), Cell(entry.before->listed.record, f), Cell(record, f), " -> "));
    if (note) {
      if (entry.notes.empty()) cells.push_back("no notes");
      for (const RowNote& n : entry.notes) cells.push_back(std::string(NoteWord(n.kind)) + ": " + n.detail);
    }
    std::ostringstream out;
    PrintAligned({cells}, out);
    return out.str();
  }
  std::string line = "{\"event\":" + JsonString(WatchEventWord(event.kind)) + ",\"time\":" +
                     JsonString(Rfc3339Utc(time)) + ",\"row\":" + RowJson(entry.device, &entry.notes);
  if (changed) {
    line += ",\"changed\":[";
    for (std::size_t i = 0; i < entry.changed_fields.size(); ++i)
      line += (i ? "," : "") + JsonString(UnitFieldName(entry.changed_fields[i]));
    line += "],\"before\":" + RowJson(*entry.before);
  }
  if (note) {
    line += ",\"notes\":[";
    for (std::size_t i = 0; i < entry.notes.size(); ++i)
      line += std::string(i ? "," : "") + "{\"kind\":" + JsonString(NoteWord(entry.notes[i].kind)) +
              ",\"detail\":" + JsonString(entry.notes[i].detail) + "}";
    line += "]";
  }
  return line + "}\n";
}

int RunWatchCommand(const std::vector<std::string>& args) {
  std::string error;
  std::optional<WatchCommand> cmd = ParseWatchArguments(args, error);
  if (cmd && !CheckInterfaceNames(cmd->settings.interfaces, &error)) cmd.reset();
  if (cmd && !CheckRelayHost(cmd->settings, &error)) cmd.reset();
  if (std::optional<int> status = EndBeforeRunning("watch", cmd.has_value(), cmd && cmd->help, error, WatchUsage()))
    return *status;
  if (!CanBroadcast(cmd->settings)) {
    std::cerr << "device-search: no network interface to watch on: none is up with an IPv4 address and "
                 "broadcast (loopback is not used)\n";
    return 1;
  }
  // Before the UPnP search's sockets, which make GLib ignore SIGPIPE.
  const bool sigpipe_ends = SigpipeEndsTheProcess();
  StopOnSignals stop;
  StderrLog log(cmd->verbose);
  LiveWatch::Options options;
  options.watch.interval = cmd->interval;
  options.announcements = cmd->upnp;
  options.tick = std::chrono::milliseconds(100);
  LiveWatch live(cmd->settings, cmd->upnp, log, MakeNetworkExchanges, std::move(options));
  if (!live.AnnouncementsError().empty())
    std::cerr << "device-search: UPnP announcements are not heard (" << ShownText(live.AnnouncementsError())
              << "); the rounds go on\n";
  DeviceWatch& watch = live.Watch();
  int status = 0;
  watch.SetOnEvent([&](const DeviceWatch::Event& event) {
    // One write per line, flushed: a reader never sees half a line.
    std::cout << WatchEventLine(watch, event, cmd->table, std::chrono::system_clock::now()) << std::flush;
  });
  // Port 6667 held by another search on this machine: before the first
  // round, the watch has nothing to start from and ends; later, the round is
  // said and the watch goes on.
  live.SetOnPortHeld([&] {
    if (watch.RoundsDone() == 0) {
      std::cerr << "device-search: " << kPortHeldText << "\n";
      status = 1;
      QCoreApplication::exit(1);
      return;
    }
    std::cerr << "device-search: " << kPortHeldText << " (this round); the watch goes on\n";
  });
  bool could_search = true;
  watch.SetOnRoundStarted([&] {
    const bool can = CanBroadcast(cmd->settings);
    if (can != could_search)
      std::cerr << (can ? "device-search: an interface to search on is back\n"
                        : "device-search: no network interface to search on now; the rounds find nothing\n");
    could_search = can;
  });
  // A reader that has gone (`watch | head -1` after its line) ends the watch
  // at the next tick, as a line written into the closed pipe would.
  bool reader_gone = false;
  live.SetBeforeTick([&] {
    if (!reader_gone && OutputReaderGone(STDOUT_FILENO)) {
      reader_gone = true;
      QCoreApplication::quit();
    }
    return !reader_gone;
  });
  live.Start();
  if (cmd->duration)
    QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(*cmd->duration), [] {
      QCoreApplication::quit();
    });
  QCoreApplication::exec();
  live.Stop();
  if (reader_gone) {
    EndAsClosedPipe(sigpipe_ends);
    return 0;
  }
  std::cout.flush();
  return status;
}

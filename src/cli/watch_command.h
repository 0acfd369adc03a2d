// `device-search watch`: the live watch without a window. Repeats the search
// every interval (search/device_watch.h) and listens to the SSDP
// announcements between rounds, printing one line per event: a device found,
// changed or gone, or a row whose notes changed. Ends with exit status 0 on
// SIGINT or SIGTERM, or after --duration, with every line it printed whole;
// and when standard output is a pipe whose reader has gone, at its next
// tick (0.1 s) whether or not there is anything to print, by SIGPIPE (or
// with status 0 when it was started with SIGPIPE ignored), as a line written
// into the pipe would end it.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "protocol/device_table.h"
#include "watch/device_watch.h"

struct WatchCommand {
  SearchSettings settings;
  std::chrono::seconds interval = DeviceWatch::kDefaultInterval;  // at least kShortestInterval
  std::optional<std::chrono::seconds> duration;                   // none: until stopped
  bool table = false;  // --format table; else ndjson
  bool upnp = true;
  bool verbose = false;
  bool help = false;  // --help: print the usage, watch nothing
};

// Parses the arguments after "watch". On a bad argument returns nothing and
// sets `error` to a one-line message. --help ends the parse at once.
std::optional<WatchCommand> ParseWatchArguments(const std::vector<std::string>& args, std::string& error);

// `device-search watch --help`: the synopsis, every option, the events.
std::string WatchUsage();

// "2026-03-01T12:00:05.123Z": the time in UTC, to the millisecond (RFC 3339).
std::string Rfc3339Utc(std::chrono::system_clock::time_point time);

// The line (with its line feed) that tells `event` of `watch` at `time`:
// ndjson, {"event":"found","time":"...","row":{...}} with the row as the
// search's JSON writes it; "changed" adds "changed" (the fields' names) and
// "before" (the row before), "note" adds "notes" (kind and detail each).
// The table format: the time, the event and the row's seven cells, then for
// "changed" each field's old and new text, for "note" the notes, written as
// the search's table is (PrintAligned: every cell as ShownText shows it, so
// no device text reaches the terminal as a control).
std::string WatchEventLine(const DeviceWatch& watch, const DeviceWatch::Event& event, bool table,
                           std::chrono::system_clock::time_point time);

// Runs `device-search watch ...`; returns the exit status.
int RunWatchCommand(const std::vector<std::string>& args);

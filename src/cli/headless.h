// The headless mode: `device-search search ...` runs the very same driver,
// exchanges and intake as the window and prints the grid's rows for scripts.
// Argument parsing and output formatting are plain functions.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "upnp/device_information.h"

// table and csv: the grid's seven columns; json: one array of objects;
// ndjson: one object per line, each printed as soon as its row is final.
enum class OutputFormat { kTable, kCsv, kJson, kNdjson };

struct SearchCommand {
  SearchSettings settings;
  OutputFormat format = OutputFormat::kTable;
  bool pretty = false;  // json indented
  bool verbose = false;
  bool upnp = true;
  bool help = false;  // --help: print the usage, search nothing
};

// Parses the arguments after "search". On a bad argument returns nothing and
// sets `error` to a one-line message. --help ends the parse at once.
// --interface NAME may be given more than once; it does not go with --relay
// (kInterfaceWithRelayError).
std::optional<SearchCommand> ParseSearchArguments(const std::vector<std::string>& args,
                                                  std::string& error);
extern const char kInterfaceWithRelayError[];

// True when every --interface name is among the machine's usable interfaces
// now (BroadcastInterfaces); otherwise false with `error` the usage error,
// which lists the interfaces there are.
bool CheckInterfaceNames(const std::vector<std::string>& names, std::string& error);

// Where a row's record came from: "protocol", "httpcmd" or "upnp".
using SourceOf = std::function<std::string(std::size_t record_index)>;
// The UPnP texts behind a record, or null for records from other sources.
using UpnpOf = std::function<const DeviceInformationContainer*(std::size_t record_index)>;

// Writes the grid's data rows (rows 1..count-1 that have any text) in the
// grid's order, in the given format. CSV adds a last column "Interface"; JSON
// objects carry the record's eleven fields, its source, the interface its
// device answered on ("interface", "" when unknown), and for UPnP records an
// object "upnp" with the nineteen texts; json is compact unless `pretty`. The
// table shows the grid's columns.
void PrintRows(const DeviceTable& table, OutputFormat format, const SourceOf& source,
               std::ostream& out, const UpnpOf& upnp = nullptr, bool pretty = false);

// The ndjson stream of one search: each call prints the grid's rows that no
// earlier call printed, one compact JSON object per line in the grid's order,
// and flushes. Rows are told apart by their records; a row without a record
// is printed by the last call only.
class NdjsonPrinter {
 public:
  void PrintNewRows(const DeviceTable& table, const SourceOf& source, const UpnpOf& upnp,
                    std::ostream& out, bool last);

 private:
  std::vector<bool> printed_;  // by record index
};

// JSON string literal for any bytes: valid UTF-8 passes through, other bytes
// are read as Latin-1; control characters are escaped.
std::string JsonString(const std::string& text);

// "TCP", "UDP" or "HttpCmd" for the command line's tcp, udp or httpcmd.
std::optional<std::string> RelayProtocolOf(const std::string& argument);

// The debug log of the headless commands: copied to standard error when
// verbose, else dropped.
class StderrLog : public DebugLog {
 public:
  explicit StderrLog(bool verbose) : verbose_(verbose) {}
  void Append(const std::string& line) override;

 private:
  bool verbose_;
};

// One search without a window, run on the core application's event loop
// with the same driver, exchanges, intake and UPnP phase as the window.
class HeadlessSearch {
 public:
  HeadlessSearch(const SearchSettings& settings, bool with_upnp, DebugLog& log);
  ~HeadlessSearch();
  // Runs the search to its end (a QCoreApplication must exist).
  void Run();
  // Called when the exchange is over, before any UPnP merge, with the
  // exchange's records in the table.
  void SetOnExchangeDone(std::function<void()> done) { on_exchange_done_ = std::move(done); }

  const DeviceTable& Table() const { return table_; }
  // Where the record at `index` came from: "protocol", "httpcmd" or "upnp".
  std::string SourceOf(std::size_t index) const;
  // The UPnP texts behind the record at `index`, or null.
  const DeviceInformationContainer* UpnpOf(std::size_t index) const;

 private:
  struct Parts;
  const SearchSettings& settings_;
  DebugLog& log_;
  DeviceTable table_;
  std::unique_ptr<Parts> parts_;
  std::size_t exchange_records_ = 0;
  std::vector<const DeviceInformationContainer*> taken_;
  std::function<void()> on_exchange_done_;
};

// Runs `device-search search ...`; returns the exit status.
int RunSearchCommand(const std::vector<std::string>& args);

// `device-search --help`: the commands and the exit statuses.
extern const char kUsage[];
// `device-search search --help`: the synopsis and every option.
extern const char kSearchUsage[];

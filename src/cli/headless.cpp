// Headless search: arguments, the search run on a core event loop, output.
#include "cli/headless.h"

#include <QCoreApplication>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <iostream>

#include "protocol/interfaces.h"
#include "protocol/record_text.h"
#include "protocol/search_controls.h"
#include "protocol/string_printf.h"
#include "search/engine_upnp_phase.h"
#include "search/network_exchanges.h"
#include "search/search_driver.h"
#include "upnp/upnp_merge.h"

const char kUsage[] =
    "usage: device-search [--help | --version]\n"
    "       device-search search [OPTION...]\n"
    "       device-search setup OPTION...\n"
    "\n"
    "Without arguments the window opens. 'search' runs one search without a window\n"
    "and prints the devices found; 'setup' finds one device by its MAC and changes\n"
    "its addressing. 'device-search search --help' and 'device-search setup --help'\n"
    "list their options.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "Exit status: 0 after a search or a sent package, 1 when the package was not\n"
    "sent, no single device has the MAC, or the window finds no display, 2 for\n"
    "bad arguments.\n";

const char kSearchUsage[] =
    "usage: device-search search [--relay ADDRESS [--protocol tcp|udp|httpcmd] |\n"
    "                             --interface NAME...] [--project NAME]\n"
    "                            [--format table|csv|json|ndjson] [--pretty]\n"
    "                            [--no-upnp] [--verbose]\n"
    "\n"
    "Runs one search without a window, as the window's \"Device Search\" button\n"
    "does, and prints the devices found in the grid's order. The broadcast goes\n"
    "out of every network interface, or of those named by --interface.\n"
    "\n"
    "  --relay ADDRESS      ask the relay at ADDRESS instead of broadcasting\n"
    "  --protocol PROTOCOL  the relay's protocol: tcp (the default), udp or httpcmd\n"
    "  --interface NAME     broadcast only out of this interface (repeatable)\n"
    "  --project NAME       list only the devices of this product line; ALL (the\n"
    "                       default) and UPNP also search by UPnP\n"
    "  --format FORMAT      table (the default), csv, json (one array) or ndjson\n"
    "                       (one object per line, printed as soon as its row is\n"
    "                       final)\n"
    "  --pretty             indent the json array\n"
    "  --no-upnp            leave the UPnP search out\n"
    "  --verbose            copy the debug log to standard error\n"
    "  -h, --help           print this help and exit\n"
    "\n"
    "Exit status: 0 after a search (also when nothing was found), 2 for bad\n"
    "arguments (an unknown interface included).\n";

namespace {

// A search without a window has no button and no label to set.
class NoControls : public SearchControls {
 public:
  void SetSearchButton(bool, const std::string&) override {}
  void SetCountLabel(const std::string&) override {}
};

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

const char* const kUpnpFieldNames[kDeviceInformationFieldCount] = {
    "children",      "description",    "friendly_name",  "has_children",     "icon_url",
    "is_root_device", "manufacturer_name", "manufacturer_url", "model_name", "model_number",
    "model_url",     "parent_device",  "presentation_url", "root_device",    "serial_number",
    "services",      "type",           "unique_device_name", "upc"};

bool RowHasText(const StringGrid::Row& row) {
  return std::any_of(row.begin(), row.end(), [](const std::string& s) { return !s.empty(); });
}

}  // namespace

std::string JsonString(const std::string& text) {
  const bool utf8 = IsValidUtf8(text);
  std::string out = "\"";
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || (c >= 0x80 && !utf8)) {
          out += StringPrintf("\\u%04x", c);
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

std::optional<SearchCommand> ParseSearchArguments(const std::vector<std::string>& args,
                                                  std::string& error) {
  SearchCommand cmd;
  bool relay_given = false;
  bool protocol_given = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* name) -> std::optional<std::string> {
      if (i + 1 >= args.size()) {
        error = std::string(name) + " needs a value";
        return std::nullopt;
      }
      return args[++i];
    };
    if (a == "--relay") {
      auto v = value("--relay");
      if (!v) return std::nullopt;
      if (v->empty()) {
        error = "--relay needs an address";
        return std::nullopt;
      }
      cmd.settings.ip_relay = true;
      cmd.settings.relay_address = *v;
      relay_given = true;
    } else if (a == "--protocol") {
      auto v = value("--protocol");
      if (!v) return std::nullopt;
      std::optional<std::string> protocol = RelayProtocolOf(*v);
      if (!protocol) {
        error = "--protocol must be tcp, udp or httpcmd, not '" + *v + "'";
        return std::nullopt;
      }
      cmd.settings.relay_protocol = *protocol;
      protocol_given = true;
    } else if (a == "--project") {
      auto v = value("--project");
      if (!v) return std::nullopt;
      cmd.settings.project = *v;
    } else if (a == "--format") {
      auto v = value("--format");
      if (!v) return std::nullopt;
      if (*v == "table") cmd.format = OutputFormat::kTable;
      else if (*v == "csv") cmd.format = OutputFormat::kCsv;
      else if (*v == "json") cmd.format = OutputFormat::kJson;
      else if (*v == "ndjson") cmd.format = OutputFormat::kNdjson;
      else {
        error = "--format must be table, csv, json or ndjson, not '" + *v + "'";
        return std::nullopt;
      }
    } else if (a == "--pretty") {
      cmd.pretty = true;
    } else if (a == "--interface") {
      auto v = value("--interface");
      if (!v) return std::nullopt;
      cmd.settings.interfaces.push_back(*v);
    } else if (a == "--verbose") {
      cmd.verbose = true;
    } else if (a == "--no-upnp") {
      cmd.upnp = false;
    } else if (a == "--help" || a == "-h") {
      cmd.help = true;
      return cmd;
    } else {
      error = "unknown argument '" + a + "'";
      return std::nullopt;
    }
  }
  if (protocol_given && !relay_given) {
    error = "--protocol goes with --relay";
    return std::nullopt;
  }
  if (cmd.pretty && cmd.format != OutputFormat::kJson) {
    error = "--pretty goes with --format json";
    return std::nullopt;
  }
  if (relay_given && !cmd.settings.interfaces.empty()) {
    error = kInterfaceWithRelayError;
    return std::nullopt;
  }
  return cmd;
}

const char kInterfaceWithRelayError[] = "--interface does not go with --relay (a relay is reached by its route)";

bool CheckInterfaceNames(const std::vector<std::string>& names, std::string& error) {
  const std::vector<NetInterface> there = BroadcastInterfaces();
  std::vector<std::string> unknown = UnknownInterfaces(there, names);
  if (unknown.empty()) return true;
  error = "no interface '" + unknown.front() + "' to search on; " +
          (there.empty() ? std::string("there is none (up, with an IPv4 address and broadcast)")
                         : "the interfaces are: " + InterfaceNames(there));
  return false;
}

namespace {

// A data row of the grid and the record it shows, if any.
struct RowRecord {
  int row;
  const tComUnitInfo* record;  // null: no record has this row
  std::size_t index;           // the record's index in the device list
};

// The grid's data rows in order, each paired with its own record: the first
// not yet taken whose grid row it is (several records may share an address
// and "NULL").
std::vector<RowRecord> RowsWithRecords(const DeviceTable& table) {
  const StringGrid& grid = table.grid;
  std::vector<bool> taken(table.devices.Size(), false);
  std::vector<RowRecord> rows;
  for (int r = 1; r < grid.RowCount(); ++r) {
    if (!RowHasText(grid.RowAt(r))) continue;
    RowRecord row{r, nullptr, 0};
    for (const tComUnitInfo* candidate : RecordsOfRow(table, r)) {
      std::size_t index = static_cast<std::size_t>(candidate - table.devices.Records().data());
      if (!taken[index] && GridRowOf(*candidate) == grid.RowAt(r)) {
        taken[index] = true;
        row.record = candidate;
        row.index = index;
        break;
      }
    }
    rows.push_back(row);
  }
  return rows;
}

// One member of a JSON object: a text, or an object of its own.
struct JsonMember {
  JsonMember(std::string k, std::string t) : key(std::move(k)), text(std::move(t)) {}
  JsonMember(std::string k, std::vector<JsonMember> o)
      : key(std::move(k)), object(std::move(o)), nested(true) {}
  std::string key;
  std::string text;
  std::vector<JsonMember> object;
  bool nested = false;
};

// The row's object: the record's eleven fields, its source and its UPnP
// texts; a row without a record shows its cells under the record's names.
std::vector<JsonMember> RowObject(const DeviceTable& table, const RowRecord& row,
                                  const SourceOf& source, const UpnpOf& upnp) {
  std::vector<JsonMember> members;
  if (row.record == nullptr) {
    const char* keys[] = {"model", "proj", "name", "ip", "trigger_port", "netmask", "mac"};
    for (int c = 0; c < StringGrid::kColumns; ++c) members.emplace_back(keys[c], table.grid.Cell(c, row.row));
    return members;
  }
  const tComUnitInfo& info = *row.record;
  for (int f = 0; f < kUnitFieldCount; ++f)
    members.emplace_back(UnitFieldName(f),
                         std::string(UnitField(info, f), strnlen(UnitField(info, f), UnitFieldWidth(f))));
  members.emplace_back("source", source ? source(row.index) : "protocol");
  members.emplace_back("interface", table.devices.InterfaceOf(row.record));
  if (const DeviceInformationContainer* d = upnp ? upnp(row.index) : nullptr) {
    std::vector<JsonMember> texts;
    for (int f = 0; f < kDeviceInformationFieldCount; ++f)
      texts.emplace_back(kUpnpFieldNames[f], DeviceInformationField(*d, f));
    members.emplace_back("upnp", std::move(texts));
  }
  return members;
}

// Compact, or indented by two spaces per level with `depth` the object's own.
void WriteJsonObject(std::ostream& out, const std::vector<JsonMember>& members, bool pretty, int depth) {
  const std::string indent = pretty ? "\n" + std::string(2 * (depth + 1), ' ') : "";
  out << "{";
  for (std::size_t i = 0; i < members.size(); ++i) {
    const JsonMember& m = members[i];
    out << (i ? "," : "") << indent << JsonString(m.key) << (pretty ? ": " : ":");
    if (m.nested) WriteJsonObject(out, m.object, pretty, depth + 1);
    else out << JsonString(m.text);
  }
  if (pretty && !members.empty()) out << "\n" << std::string(2 * depth, ' ');
  out << "}";
}

}  // namespace

void PrintRows(const DeviceTable& table, OutputFormat format, const SourceOf& source,
               std::ostream& out, const UpnpOf& upnp, bool pretty) {
  const StringGrid& grid = table.grid;
  std::vector<int> rows;
  for (int r = 1; r < grid.RowCount(); ++r) {
    if (RowHasText(grid.RowAt(r))) rows.push_back(r);
  }
  switch (format) {
    case OutputFormat::kTable: {
      std::size_t widths[StringGrid::kColumns];
      for (int c = 0; c < StringGrid::kColumns; ++c) {
        widths[c] = std::string(kGridHeadings[c]).size();
        for (int r : rows) widths[c] = std::max(widths[c], grid.Cell(c, r).size());
      }
      auto line = [&](auto cell) {
        std::string text;
        for (int c = 0; c < StringGrid::kColumns; ++c) {
          std::string v = cell(c);
          text += v;
          if (c + 1 < StringGrid::kColumns) text += std::string(widths[c] - v.size() + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out << text << '\n';
      };
      line([&](int c) { return std::string(kGridHeadings[c]); });
      for (int r : rows) line([&](int c) { return grid.Cell(c, r); });
      break;
    }
    case OutputFormat::kCsv: {
      // The grid's columns, then the interface the device answered on.
      for (int c = 0; c < StringGrid::kColumns; ++c) out << (c ? "," : "") << kGridHeadings[c];
      out << ",Interface\r\n";
      for (const RowRecord& row : RowsWithRecords(table)) {
        for (int c = 0; c < StringGrid::kColumns; ++c) out << (c ? "," : "") << CsvField(grid.Cell(c, row.row));
        out << "," << CsvField(row.record ? table.devices.InterfaceOf(row.record) : std::string()) << "\r\n";
      }
      break;
    }
    case OutputFormat::kJson: {
      out << "[";
      bool first = true;
      for (const RowRecord& row : RowsWithRecords(table)) {
        out << (first ? "" : ",") << (pretty ? "\n  " : "");
        first = false;
        WriteJsonObject(out, RowObject(table, row, source, upnp), pretty, 1);
      }
      out << (pretty && !first ? "\n]\n" : "]\n");
      break;
    }
    case OutputFormat::kNdjson:
      NdjsonPrinter().PrintNewRows(table, source, upnp, out, true);
      break;
  }
}

void NdjsonPrinter::PrintNewRows(const DeviceTable& table, const SourceOf& source,
                                 const UpnpOf& upnp, std::ostream& out, bool last) {
  printed_.resize(table.devices.Size(), false);
  for (const RowRecord& row : RowsWithRecords(table)) {
    if (row.record == nullptr ? !last : printed_[row.index]) continue;
    if (row.record != nullptr) printed_[row.index] = true;
    WriteJsonObject(out, RowObject(table, row, source, upnp), false, 0);
    out << "\n";
  }
  out.flush();
}

std::optional<std::string> RelayProtocolOf(const std::string& argument) {
  if (argument == "tcp") return "TCP";
  if (argument == "udp") return "UDP";
  if (argument == "httpcmd") return "HttpCmd";
  return std::nullopt;
}

void StderrLog::Append(const std::string& line) {
  if (!verbose_) return;
  std::cerr << line;
  if (line.empty() || line.back() != '\n') std::cerr << '\n';
  std::cerr.flush();
}

struct HeadlessSearch::Parts {
  NoControls controls;
  QObject owner;
  std::unique_ptr<SearchExchanges> exchanges;
  std::unique_ptr<EngineUpnpPhase> upnp;
  std::unique_ptr<SearchDriver> driver;
};

HeadlessSearch::HeadlessSearch(const SearchSettings& settings, bool with_upnp, DebugLog& log)
    : settings_(settings), log_(log), parts_(std::make_unique<Parts>()) {
  for (int c = 0; c < StringGrid::kColumns; ++c) table_.grid.SetCell(c, 0, kGridHeadings[c]);
  parts_->exchanges = MakeNetworkExchanges(table_, settings_, log_);
  if (with_upnp)
    parts_->upnp =
        std::make_unique<EngineUpnpPhase>(&parts_->owner, table_, settings_, log_);
  parts_->driver = std::make_unique<SearchDriver>(table_, settings_, log_, parts_->controls,
                                                  *parts_->exchanges, parts_->upnp.get());
}

HeadlessSearch::~HeadlessSearch() = default;

void HeadlessSearch::Run() {
  SearchDriver& driver = *parts_->driver;
  driver.SetOnExchangeDone([this] {
    exchange_records_ = table_.devices.Size();
    if (on_exchange_done_) on_exchange_done_();
  });
  driver.SetOnFinished([] { QCoreApplication::quit(); });
  QTimer::singleShot(0, [&driver] { driver.Start(); });
  QCoreApplication::exec();
  // The merge adds one record per result it takes over, in results order.
  taken_.clear();
  if (parts_->upnp) {
    for (const DeviceInformationContainer& d : parts_->upnp->Engine().results)
      if (UpnpRecordOf(d)) taken_.push_back(&d);
  }
}

std::string HeadlessSearch::SourceOf(std::size_t index) const {
  if (index >= exchange_records_) return "upnp";
  return ModeOf(settings_) == SearchMode::kHttpCmd ? "httpcmd" : "protocol";
}

const DeviceInformationContainer* HeadlessSearch::UpnpOf(std::size_t index) const {
  if (index < exchange_records_ || index - exchange_records_ >= taken_.size()) return nullptr;
  return taken_[index - exchange_records_];
}

int RunSearchCommand(const std::vector<std::string>& args) {
  std::string error;
  std::optional<SearchCommand> cmd = ParseSearchArguments(args, error);
  if (cmd && !CheckInterfaceNames(cmd->settings.interfaces, error)) cmd.reset();
  if (!cmd) {
    std::cerr << "device-search: " << error << " (see device-search search --help)\n";
    return 2;
  }
  if (cmd->help) {
    std::cout << kSearchUsage;
    return 0;
  }
  StderrLog log(cmd->verbose);
  HeadlessSearch search(cmd->settings, cmd->upnp, log);
  const SourceOf source = [&](std::size_t i) { return search.SourceOf(i); };
  const UpnpOf upnp = [&](std::size_t i) { return search.UpnpOf(i); };
  NdjsonPrinter ndjson;
  // The exchange's rows are final when it ends, unless a UPnP merge for the
  // project filter "UPNP" is to replace them.
  const bool upnp_only = cmd->upnp && ProjectIsUpnpOnly(cmd->settings.project);
  if (cmd->format == OutputFormat::kNdjson && !upnp_only)
    search.SetOnExchangeDone([&] { ndjson.PrintNewRows(search.Table(), source, upnp, std::cout, false); });
  search.Run();
  if (cmd->format == OutputFormat::kNdjson) ndjson.PrintNewRows(search.Table(), source, upnp, std::cout, true);
  else PrintRows(search.Table(), cmd->format, source, std::cout, upnp, cmd->pretty);
  std::cout.flush();
  return 0;
}

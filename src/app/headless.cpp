// Headless search: arguments, the search run on a core event loop, output.
#include "app/headless.h"

#include <QCoreApplication>
#include <QStringDecoder>
#include <QTimer>
#include <algorithm>
#include <cstring>
#include <iostream>

#include "app/engine_upnp_phase.h"
#include "app/search_driver.h"
#include "protocol/interfaces.h"
#include "protocol/search_controls.h"
#include "upnp/upnp_merge.h"

const char kUsage[] =
    "usage: device-search [search [--relay ADDRESS] [--protocol tcp|udp|httpcmd]\n"
    "                             [--interface NAME]... [--project NAME]\n"
    "                             [--format table|json|csv] [--no-upnp] [--verbose]]\n"
    "       device-search setup --mac MAC (--dhcp | --static --ip A --netmask M --gateway G [--dns D])\n"
    "                            [--relay ADDRESS [--protocol tcp|udp|httpcmd] | --interface NAME...]\n"
    "                            [--verbose]\n"
    "       device-search --help | --version\n"
    "\n"
    "Without arguments the window opens. 'search' runs one search without a window\n"
    "and prints the devices found: by local broadcast, or through the relay at\n"
    "ADDRESS (default protocol tcp). The broadcast goes out of every network\n"
    "interface, or of those named by --interface. 'setup' runs the same search,\n"
    "finds the device with MAC and sends it a control package, out of the\n"
    "interface the device answered on: DHCP, or the static addresses given\n"
    "(addresses not given keep the device's). Exit status 0 after a search or a\n"
    "sent package, 1 when the package was not sent or no single device has that\n"
    "MAC, 2 for bad arguments (an unknown interface included).\n";

namespace {

// A search without a window has no button and no label to set.
class NoControls : public SearchControls {
 public:
  void SetSearchButton(bool, const std::string&) override {}
  void SetCountLabel(const std::string&) override {}
};

bool ValidUtf8(const std::string& s) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = decoder.decode(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
  (void)decoded;
  return !decoder.hasError();
}

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
  const bool utf8 = ValidUtf8(text);
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
      else {
        error = "--format must be table, json or csv, not '" + *v + "'";
        return std::nullopt;
      }
    } else if (a == "--interface") {
      auto v = value("--interface");
      if (!v) return std::nullopt;
      cmd.settings.interfaces.push_back(*v);
    } else if (a == "--verbose") {
      cmd.verbose = true;
    } else if (a == "--no-upnp") {
      cmd.upnp = false;
    } else {
      error = "unknown argument '" + a + "'";
      return std::nullopt;
    }
  }
  if (protocol_given && !relay_given) {
    error = "--protocol goes with --relay";
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

// Each row paired with its own record: the first not yet taken whose grid row
// it is (several records may share an address and "NULL"); null for a row
// without one.
std::vector<const tComUnitInfo*> RecordsOfRows(const DeviceTable& table, const std::vector<int>& rows) {
  const StringGrid& grid = table.grid;
  std::vector<bool> taken(table.devices.Size(), false);
  std::vector<const tComUnitInfo*> records;
  for (int r : rows) {
    const tComUnitInfo* match = nullptr;
    for (const tComUnitInfo* candidate : table.devices.FindAll(grid.Cell(3, r), grid.Cell(6, r))) {
      std::size_t index = static_cast<std::size_t>(candidate - table.devices.Records().data());
      if (!taken[index] && GridRowOf(*candidate) == grid.RowAt(r)) {
        taken[index] = true;
        match = candidate;
        break;
      }
    }
    records.push_back(match);
  }
  return records;
}

}  // namespace

void PrintRows(const DeviceTable& table, OutputFormat format, const SourceOf& source,
               std::ostream& out, const UpnpOf& upnp) {
  const StringGrid& grid = table.grid;
  std::vector<int> rows;
  for (int r = 1; r < grid.RowCount(); ++r) {
    if (RowHasText(grid.RowAt(r))) rows.push_back(r);
  }
  // The interface a row's device answered on ("" when unknown).
  auto interface_of = [&](const tComUnitInfo* record) {
    return record != nullptr ? table.devices.InterfaceOf(record) : std::string();
  };
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
      const std::vector<const tComUnitInfo*> records = RecordsOfRows(table, rows);
      for (int c = 0; c < StringGrid::kColumns; ++c) out << (c ? "," : "") << kGridHeadings[c];
      out << ",Interface\r\n";
      for (std::size_t i = 0; i < rows.size(); ++i) {
        for (int c = 0; c < StringGrid::kColumns; ++c) out << (c ? "," : "") << CsvField(grid.Cell(c, rows[i]));
        out << "," << CsvField(interface_of(records[i])) << "\r\n";
      }
      break;
    }
    case OutputFormat::kJson: {
      const std::vector<const tComUnitInfo*> records = RecordsOfRows(table, rows);
      out << "[";
      bool first = true;
      for (std::size_t i = 0; i < rows.size(); ++i) {
        const int r = rows[i];
        out << (first ? "\n" : ",\n") << "  {";
        first = false;
        if (records[i] == nullptr) {
          // A row without a record shows its cells under the record's names.
          const char* keys[] = {"model", "proj", "name", "ip", "trigger_port", "netmask", "mac"};
          for (int c = 0; c < StringGrid::kColumns; ++c)
            out << (c ? ", " : "") << JsonString(keys[c]) << ": " << JsonString(grid.Cell(c, r));
          out << "}";
          continue;
        }
        const tComUnitInfo& info = *records[i];
        for (int f = 0; f < kUnitFieldCount; ++f) {
          out << (f ? ", " : "") << JsonString(UnitFieldName(f)) << ": "
              << JsonString(std::string(UnitField(info, f), strnlen(UnitField(info, f), UnitFieldWidth(f))));
        }
        std::size_t index = static_cast<std::size_t>(&info - table.devices.Records().data());
        out << ", \"source\": " << JsonString(source ? source(index) : "protocol");
        out << ", \"interface\": " << JsonString(interface_of(&info));
        if (const DeviceInformationContainer* d = upnp ? upnp(index) : nullptr) {
          out << ", \"upnp\": {";
          for (int f = 0; f < kDeviceInformationFieldCount; ++f)
            out << (f ? ", " : "") << JsonString(kUpnpFieldNames[f]) << ": "
                << JsonString(DeviceInformationField(*d, f));
          out << "}";
        }
        out << "}";
      }
      out << (first ? "]\n" : "\n]\n");
      break;
    }
  }
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
    parts_->upnp = std::make_unique<EngineUpnpPhase>(&parts_->owner, table_, settings_, parts_->controls);
  parts_->driver = std::make_unique<SearchDriver>(table_, settings_, log_, parts_->controls,
                                                  *parts_->exchanges, parts_->upnp.get());
}

HeadlessSearch::~HeadlessSearch() = default;

void HeadlessSearch::Run() {
  SearchDriver& driver = *parts_->driver;
  driver.SetOnExchangeDone([this] { exchange_records_ = table_.devices.Size(); });
  driver.SetOnFinished([] { QCoreApplication::quit(); });
  QTimer::singleShot(0, [&driver] { driver.Button1Click(); });
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
    std::cerr << "device-search: " << error << " (see device-search --help)\n";
    return 2;
  }
  StderrLog log(cmd->verbose);
  HeadlessSearch search(cmd->settings, cmd->upnp, log);
  search.Run();
  PrintRows(
      search.Table(), cmd->format, [&](std::size_t i) { return search.SourceOf(i); }, std::cout,
      [&](std::size_t i) { return search.UpnpOf(i); });
  std::cout.flush();
  return 0;
}

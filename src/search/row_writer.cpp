// The rows of a search as a table, CSV, JSON, ndjson and tab-separated text.
#include "search/row_writer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>
#include <string_view>

#include "protocol/record_text.h"
#include "protocol/shown_text.h"
#include "protocol/string_printf.h"
#include "search/search_driver.h"
#include "upnp/upnp_merge.h"

void PrintAligned(const std::vector<std::vector<std::string>>& rows, std::ostream& out) {
  std::vector<std::vector<std::string>> shown(rows.size());
  std::vector<std::size_t> widths;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    widths.resize(std::max(widths.size(), rows[r].size()), 0);
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      shown[r].push_back(ShownText(rows[r][c]));
      widths[c] = std::max(widths[c], DisplayWidth(shown[r][c]));
    }
  }
  for (const auto& row : shown) {
    std::string text;
    for (std::size_t c = 0; c < row.size(); ++c) {
      text += row[c];
      if (c + 1 < row.size()) text += std::string(widths[c] - DisplayWidth(row[c]) + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  }
}

namespace {

const char* const kUpnpFieldNames[kDeviceInformationFieldCount] = {
    "children",      "description",    "friendly_name",  "has_children",     "icon_url",
    "is_root_device", "manufacturer_name", "manufacturer_url", "model_name", "model_number",
    "model_url",     "parent_device",  "presentation_url", "root_device",    "serial_number",
    "services",      "type",           "unique_device_name", "upc"};

// A data row of the grid and the record it shows, if any.
struct RowRecord {
  int row;
  const tComUnitInfo* record;  // null: no record has this row
  std::size_t index;           // the record's index in the device list
};

// The grid's data rows with text in order, each paired with its own
// record: the first not yet taken whose grid row it is (several records may
// share an address and "NULL"). Only the rows `wanted` names are kept; the
// pairing is that of all rows.
std::vector<RowRecord> RowsWithRecords(const DeviceTable& table, const std::vector<int>& wanted) {
  const StringGrid& grid = table.grid;
  std::vector<bool> keep(static_cast<std::size_t>(std::max(grid.RowCount(), 0)), false);
  for (int r : wanted)
    if (r >= 1 && r < grid.RowCount()) keep[static_cast<std::size_t>(r)] = true;
  std::vector<bool> taken(table.devices.Size(), false);
  std::vector<RowRecord> rows;
  for (int r : RowsWithText(grid)) {
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
    if (keep[static_cast<std::size_t>(r)]) rows.push_back(row);
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

// A record's object: its eleven fields, its source, its interface and its
// UPnP texts (when `upnp` is given).
std::vector<JsonMember> RecordObject(const tComUnitInfo& info, const std::string& source,
                                     const std::string& interface, const DeviceInformationContainer* upnp) {
  std::vector<JsonMember> members;
  for (int f = 0; f < kUnitFieldCount; ++f)
    members.emplace_back(UnitFieldName(f),
                         std::string(UnitField(info, f), strnlen(UnitField(info, f), UnitFieldWidth(f))));
  members.emplace_back("source", source);
  members.emplace_back("interface", interface);
  if (upnp != nullptr) {
    std::vector<JsonMember> texts;
    for (int f = 0; f < kDeviceInformationFieldCount; ++f)
      texts.emplace_back(kUpnpFieldNames[f], DeviceInformationField(*upnp, f));
    members.emplace_back("upnp", std::move(texts));
  }
  return members;
}

// The row's object: its record's (RecordObject); a row without a record
// shows its cells under the record's names.
std::vector<JsonMember> RowObject(const DeviceTable& table, const RowRecord& row,
                                  const RecordOrigins& origins) {
  std::vector<JsonMember> members;
  if (row.record == nullptr) {
    const char* keys[] = {"model", "proj", "name", "ip", "trigger_port", "netmask", "mac"};
    for (int c = 0; c < StringGrid::kColumns; ++c) members.emplace_back(keys[c], table.grid.Cell(c, row.row));
    return members;
  }
  return RecordObject(*row.record, origins.SourceOf(row.index), table.devices.InterfaceOf(row.record),
                      origins.UpnpOf(row.index));
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

std::string JsonString(const std::string& text) {
  const bool utf8 = IsValidUtf8(text);
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f || (c >= 0x80 && !utf8)) {
          out += StringPrintf("\\u%04x", c);
        } else if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
          out += StringPrintf("\\u%04x", static_cast<unsigned char>(text[++i]));  // C1, U+0080-U+009F
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

std::string RecordJson(const tComUnitInfo& record, const std::string& source, const std::string& interface,
                       const DeviceInformationContainer* upnp) {
  std::ostringstream out;
  WriteJsonObject(out, RecordObject(record, source, interface, upnp), false, 0);
  return out.str();
}

std::string RecordOrigins::SourceOf(std::size_t record_index) const {
  if (record_index >= later_from && record_index - later_from < later_sources.size())
    return later_sources[record_index - later_from];
  return record_index < exchange_records ? exchange_source : "upnp";
}

const DeviceInformationContainer* RecordOrigins::UpnpOf(std::size_t record_index) const {
  if (record_index >= later_from)
    return record_index - later_from < later_upnp.size() ? later_upnp[record_index - later_from] : nullptr;
  if (record_index < exchange_records || record_index - exchange_records >= upnp.size()) return nullptr;
  return upnp[record_index - exchange_records];
}

RecordOrigins OriginsOfSearch(const SearchSettings& settings, std::size_t exchange_records,
                              const std::vector<DeviceInformationContainer>* upnp_results) {
  RecordOrigins origins;
  origins.exchange_source = ModeOf(settings) == SearchMode::kHttpCmd ? "httpcmd" : "protocol";
  origins.exchange_records = exchange_records;
  if (upnp_results != nullptr) origins.upnp = MergedUpnpDevices(*upnp_results);
  return origins;
}

std::vector<int> RowsWithText(const StringGrid& grid) {
  std::vector<int> rows;
  for (int r = 1; r < grid.RowCount(); ++r) {
    const StringGrid::Row& cells = grid.RowAt(r);
    if (std::any_of(cells.begin(), cells.end(), [](const std::string& s) { return !s.empty(); })) rows.push_back(r);
  }
  return rows;
}

void PrintRows(const DeviceTable& table, OutputFormat format, const RecordOrigins& origins,
               std::ostream& out, bool pretty) {
  PrintRows(table, RowsWithText(table.grid), format, origins, out, pretty);
}

void PrintRows(const DeviceTable& table, const std::vector<int>& wanted, OutputFormat format,
               const RecordOrigins& origins, std::ostream& out, bool pretty) {
  const StringGrid& grid = table.grid;
  const std::vector<RowRecord> rows = RowsWithRecords(table, wanted);
  switch (format) {
    case OutputFormat::kTable: {
      std::vector<std::vector<std::string>> cells = {
          std::vector<std::string>(std::begin(kGridHeadings), std::end(kGridHeadings))};
      for (const RowRecord& row : rows) cells.emplace_back(grid.RowAt(row.row).begin(), grid.RowAt(row.row).end());
      PrintAligned(cells, out);
      break;
    }
    case OutputFormat::kCsv:
    case OutputFormat::kTabs: {
      // The grid's columns; CSV adds the interface the device answered on.
      const bool csv = format == OutputFormat::kCsv;
      const char separator = csv ? ',' : '\t';
      const char sep[] = {separator, '\0'};
      const char* const line_end = csv ? "\r\n" : "\n";
      for (int c = 0; c < StringGrid::kColumns; ++c) out << (c ? sep : "") << kGridHeadings[c];
      out << (csv ? ",Interface" : "") << line_end;
      for (const RowRecord& row : rows) {
        for (int c = 0; c < StringGrid::kColumns; ++c) out << (c ? sep : "") << DelimitedCell(grid.Cell(c, row.row), separator);
        if (csv) out << "," << CsvField(row.record ? table.devices.InterfaceOf(row.record) : "");
        out << line_end;
      }
      break;
    }
    case OutputFormat::kJson: {
      out << "[";
      bool first = true;
      for (const RowRecord& row : rows) {
        out << (first ? "" : ",") << (pretty ? "\n  " : "");
        first = false;
        WriteJsonObject(out, RowObject(table, row, origins), pretty, 1);
      }
      out << (pretty && !first ? "\n]\n" : "]\n");
      break;
    }
    case OutputFormat::kNdjson:
      for (const RowRecord& row : rows) {
        WriteJsonObject(out, RowObject(table, row, origins), false, 0);
        out << "\n";
      }
      break;
  }
}

ExportTarget ChooseExportTarget(const std::string& path, OutputFormat picked) {
  auto ends_with = [&path](std::string_view suffix) {
    if (path.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i)
      if (std::tolower(static_cast<unsigned char>(path[path.size() - suffix.size() + i])) != suffix[i]) return false;
    return true;
  };
  if (ends_with(".csv")) return {path, OutputFormat::kCsv};
  if (ends_with(".json")) return {path, OutputFormat::kJson};
  return picked == OutputFormat::kJson ? ExportTarget{path + ".json", OutputFormat::kJson}
                                       : ExportTarget{path + ".csv", OutputFormat::kCsv};
}

void NdjsonPrinter::PrintUpnpDevice(const DeviceInformationContainer& device, std::ostream& out) {
  std::optional<tComUnitInfo> record = UpnpRecordOf(device);
  if (!record) return;
  out << RecordJson(*record, "upnp", device.interface, &device) << "\n";
  out.flush();
  upnp_printed_.push_back(device);
}

void NdjsonPrinter::PrintNewRows(const DeviceTable& table, const RecordOrigins& origins, std::ostream& out,
                                 bool last) {
  printed_.resize(table.devices.Size(), false);
  for (const RowRecord& row : RowsWithRecords(table, RowsWithText(table.grid))) {
    if (row.record == nullptr ? !last : printed_[row.index]) continue;
    if (row.record != nullptr) printed_[row.index] = true;
    // A UPnP row printed when its device was read: each early print stands
    // for one merged row of an equal device.
    const DeviceInformationContainer* upnp = row.record ? origins.UpnpOf(row.index) : nullptr;
    auto early = upnp ? std::find(upnp_printed_.begin(), upnp_printed_.end(), *upnp) : upnp_printed_.end();
    if (early != upnp_printed_.end()) {
      upnp_printed_.erase(early);
      continue;
    }
    WriteJsonObject(out, RowObject(table, row, origins), false, 0);
    out << "\n";
  }
  out.flush();
}

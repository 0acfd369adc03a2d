// The rows of a search as a table, CSV, JSON and ndjson.
#include "cli/output.h"

#include <algorithm>
#include <cstring>

#include "protocol/record_text.h"
#include "protocol/string_printf.h"

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

void PrintAligned(const std::vector<std::vector<std::string>>& rows, std::ostream& out) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  for (const auto& row : rows) {
    std::string text;
    for (std::size_t c = 0; c < row.size(); ++c) {
      text += row[c];
      if (c + 1 < row.size()) text += std::string(widths[c] - row[c].size() + 2, ' ');
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

bool RowHasText(const StringGrid::Row& row) {
  return std::any_of(row.begin(), row.end(), [](const std::string& s) { return !s.empty(); });
}

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

void PrintRows(const DeviceTable& table, OutputFormat format, const SourceOf& source,
               std::ostream& out, const UpnpOf& upnp, bool pretty) {
  const StringGrid& grid = table.grid;
  std::vector<int> rows;
  for (int r = 1; r < grid.RowCount(); ++r) {
    if (RowHasText(grid.RowAt(r))) rows.push_back(r);
  }
  switch (format) {
    case OutputFormat::kTable: {
      std::vector<std::vector<std::string>> cells = {
          std::vector<std::string>(std::begin(kGridHeadings), std::end(kGridHeadings))};
      for (int r : rows) cells.emplace_back(grid.RowAt(r).begin(), grid.RowAt(r).end());
      PrintAligned(cells, out);
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

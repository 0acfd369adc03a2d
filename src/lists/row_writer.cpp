// The rows of a search as a table, CSV, JSON, ndjson and tab-separated text.
#include "lists/row_writer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <sstream>
#include <string_view>

#include "protocol/record_text.h"
#include "protocol/shown_text.h"
#include "protocol/string_printf.h"
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

// One member of a JSON object: a text, an object of its own, an array of
// objects or an array of texts.
struct JsonMember {
  enum Kind { kText, kObject, kObjects, kTexts };
  JsonMember(std::string k, std::string t) : key(std::move(k)), text(std::move(t)) {}
  JsonMember(std::string k, std::vector<JsonMember> o) : key(std::move(k)), kind(kObject), object(std::move(o)) {}
  JsonMember(std::string k, std::vector<std::vector<JsonMember>> o)
      : key(std::move(k)), kind(kObjects), objects(std::move(o)) {}
  JsonMember(std::string k, std::vector<std::string> t) : key(std::move(k)), kind(kTexts), texts(std::move(t)) {}
  std::string key;
  Kind kind = kText;
  std::string text;
  std::vector<JsonMember> object;
  std::vector<std::vector<JsonMember>> objects;
  std::vector<std::string> texts;
};

// The record's fields that `known` names, under the record's names.
void AddRecordFields(std::vector<JsonMember>& members, const tComUnitInfo& info, KnownFields known) {
  for (int f = 0; f < kUnitFieldCount; ++f)
    if ((known >> f) & 1u)
      members.emplace_back(UnitFieldName(f),
                           std::string(UnitField(info, f), strnlen(UnitField(info, f), UnitFieldWidth(f))));
}

// Notes as JSON: [{"kind": ..., "detail": ...}].
std::vector<std::vector<JsonMember>> NotesMember(const std::vector<RowNote>& notes) {
  std::vector<std::vector<JsonMember>> objects;
  for (const RowNote& note : notes)
    objects.push_back({JsonMember("kind", NoteWord(note.kind)), JsonMember("detail", note.detail)});
  return objects;
}

// A record's object: its eleven fields, its source, its interface, its UPnP
// texts (when `upnp` is given) and its notes (when `notes` is given).
std::vector<JsonMember> RecordObject(const tComUnitInfo& info, const std::string& source,
                                     const std::string& interface, const DeviceInformationContainer* upnp,
                                     const std::vector<RowNote>* notes = nullptr) {
  std::vector<JsonMember> members;
  AddRecordFields(members, info, kAllUnitFields);
  members.emplace_back("source", source);
  members.emplace_back("interface", interface);
  if (upnp != nullptr) {
    std::vector<JsonMember> texts;
    for (int f = 0; f < kDeviceInformationFieldCount; ++f)
      texts.emplace_back(kUpnpFieldNames[f], DeviceInformationField(*upnp, f));
    members.emplace_back("upnp", std::move(texts));
  }
  if (notes != nullptr) members.emplace_back("notes", NotesMember(*notes));
  return members;
}

std::vector<std::string> ChangedNames(const DeviceChange& change) {
  std::vector<std::string> names;
  for (int f : change.fields) names.emplace_back(UnitFieldName(f));
  return names;
}

// The notes and the comparison of a row (null record: a row without one).
void AddExtras(std::vector<JsonMember>& members, const RowRecord& row, const RowExtras& extras) {
  if (extras.notes) {
    static const std::vector<RowNote> kNone;
    const bool known = row.record != nullptr && row.index < extras.notes->size();
    members.emplace_back("notes", NotesMember(known ? (*extras.notes)[row.index] : kNone));
  }
  const DeviceChange* change =
      extras.comparison && row.record != nullptr ? extras.comparison->OfRecord(row.index) : nullptr;
  if (change == nullptr) return;
  members.emplace_back("compare", ChangeWord(change->kind));
  if (change->kind == DeviceChange::kChanged) members.emplace_back("changed", ChangedNames(*change));
}

// The row's object: its record's (RecordObject), then its extras; a row
// without a record shows its cells under the record's names.
std::vector<JsonMember> RowObject(const DeviceTable& table, const RowRecord& row, const RecordOrigins& origins,
                                  const RowExtras& extras) {
  std::vector<JsonMember> members;
  if (row.record == nullptr) {
    const char* keys[] = {"model", "proj", "name", "ip", "trigger_port", "netmask", "mac"};
    for (int c = 0; c < StringGrid::kColumns; ++c) members.emplace_back(keys[c], table.grid.Cell(c, row.row));
    AddExtras(members, row, extras);
    return members;
  }
  members = RecordObject(*row.record, origins.SourceOf(row.index), table.devices.InterfaceOf(row.record),
                         origins.UpnpOf(row.index));
  AddExtras(members, row, extras);
  return members;
}

// A device of the saved list that is missing now, as the list gave it.
std::vector<JsonMember> MissingObject(const ListedDevice& d, const RowExtras& extras) {
  std::vector<JsonMember> members;
  AddRecordFields(members, d.record, d.known);
  if (!d.source.empty()) members.emplace_back("source", d.source);
  members.emplace_back("interface", d.interface);
  if (extras.notes) members.emplace_back("notes", std::vector<std::vector<JsonMember>>{});
  members.emplace_back("compare", ChangeWord(DeviceChange::kMissing));
  return members;
}

// The devices of the saved list that are missing now.
std::vector<const ListedDevice*> MissingDevices(const RowExtras& extras) {
  std::vector<const ListedDevice*> missing;
  if (!extras.comparison) return missing;
  for (const DeviceChange& c : extras.comparison->changes)
    if (c.kind == DeviceChange::kMissing) missing.push_back(&(*extras.comparison->saved)[c.before]);
  return missing;
}

void WriteJsonObject(std::ostream& out, const std::vector<JsonMember>& members, bool pretty, int depth);

// Compact, or indented by two spaces per level with `depth` the object's own.
void WriteJsonValue(std::ostream& out, const JsonMember& m, bool pretty, int depth) {
  switch (m.kind) {
    case JsonMember::kText:
      out << JsonString(m.text);
      break;
    case JsonMember::kObject:
      WriteJsonObject(out, m.object, pretty, depth);
      break;
    case JsonMember::kObjects: {
      const std::string indent = pretty ? "\n" + std::string(2 * (depth + 1), ' ') : "";
      out << "[";
      for (std::size_t i = 0; i < m.objects.size(); ++i) {
        out << (i ? "," : "") << indent;
        WriteJsonObject(out, m.objects[i], pretty, depth + 1);
      }
      if (pretty && !m.objects.empty()) out << "\n" << std::string(2 * depth, ' ');
      out << "]";
      break;
    }
    case JsonMember::kTexts:
      out << "[";
      for (std::size_t i = 0; i < m.texts.size(); ++i) out << (i ? (pretty ? ", " : ",") : "") << JsonString(m.texts[i]);
      out << "]";
      break;
  }
}

void WriteJsonObject(std::ostream& out, const std::vector<JsonMember>& members, bool pretty, int depth) {
  const std::string indent = pretty ? "\n" + std::string(2 * (depth + 1), ' ') : "";
  out << "{";
  for (std::size_t i = 0; i < members.size(); ++i) {
    out << (i ? "," : "") << indent << JsonString(members[i].key) << (pretty ? ": " : ":");
    WriteJsonValue(out, members[i], pretty, depth + 1);
  }
  if (pretty && !members.empty()) out << "\n" << std::string(2 * depth, ' ');
  out << "}";
}

// The cells a row adds after the grid's columns (and CSV's Interface):
// Notes, then Compare and Changed, as far as `extras` has them.
std::vector<std::string> ExtraCells(const RowExtras& extras, const std::vector<RowNote>* notes,
                                    const DeviceChange* change) {
  std::vector<std::string> cells;
  if (extras.notes) cells.push_back(notes ? NoteWords(*notes) : "");
  if (extras.comparison) {
    cells.push_back(change ? ChangeWord(change->kind) : "");
    std::string changed;
    if (change)
      for (int f : change->fields) changed += (changed.empty() ? "" : ";") + std::string(UnitFieldName(f));
    cells.push_back(changed);
  }
  return cells;
}

std::vector<std::string> ExtraHeadings(const RowExtras& extras) {
  std::vector<std::string> headings;
  if (extras.notes) headings.push_back("Notes");
  if (extras.comparison) {
    headings.push_back("Compare");
    headings.push_back("Changed");
  }
  return headings;
}

const std::vector<RowNote>* NotesOfRow(const RowExtras& extras, const RowRecord& row) {
  if (!extras.notes || row.record == nullptr || row.index >= extras.notes->size()) return nullptr;
  return &(*extras.notes)[row.index];
}

const DeviceChange* ChangeOfRow(const RowExtras& extras, const RowRecord& row) {
  return extras.comparison && row.record != nullptr ? extras.comparison->OfRecord(row.index) : nullptr;
}

const RowExtras kNoExtras;

}  // namespace

std::string JsonString(const std::string& text) {
  const std::optional<std::string_view> utf8 = Utf8Text(text);
  const std::string_view bytes = utf8 ? *utf8 : std::string_view(text);
  std::string out = "\"";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char ch = bytes[i];
    const auto c = static_cast<unsigned char>(ch);
    const auto next = [&](std::size_t k) { return i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0; };
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7f || (c >= 0x80 && !utf8)) {
          out += StringPrintf("\\u%04x", c);
        } else if (c == 0xc2 && next(1) <= 0x9f) {
          out += StringPrintf("\\u%04x", next(1));  // C1, U+0080-U+009F
          i += 1;
        } else if (c == 0xe2 && next(1) == 0x80 && (next(2) == 0xa8 || next(2) == 0xa9)) {
          out += StringPrintf("\\u%04x", 0x2000 | (next(2) & 0x3f));  // U+2028, U+2029: line breaks to some readers
          i += 2;
        } else {
          out += ch;
        }
    }
  }
  return out + "\"";
}

std::string RecordJson(const tComUnitInfo& record, const std::string& source, const std::string& interface,
                       const DeviceInformationContainer* upnp, const std::vector<RowNote>* notes) {
  std::ostringstream out;
  WriteJsonObject(out, RecordObject(record, source, interface, upnp, notes), false, 0);
  return out.str();
}

std::vector<RowNote> UpnpDeviceNotes(const DeviceTable& table, const RecordOrigins& origins,
                                     const std::vector<LocalNetwork>& local, const DeviceInformationContainer& device) {
  std::optional<tComUnitInfo> record = UpnpRecordOf(device);
  if (!record) return {};
  std::vector<ListedDevice> devices = ListedDevicesOf(table, origins);
  ListedDevice d;
  d.record = *record;
  d.interface = device.interface;
  d.upnp = true;
  d.udn = device.unique_device_name;
  d.source = "upnp";
  devices.push_back(std::move(d));
  std::vector<std::vector<RowNote>> notes = NotesOf(devices, local);
  return std::move(notes.back());
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

const DeviceChange* RowExtras::Comparison::OfRecord(std::size_t record_index) const {
  if (record_index >= change_of_record.size() || change_of_record[record_index] >= changes.size()) return nullptr;
  return &changes[change_of_record[record_index]];
}

bool RowExtras::Comparison::Differs() const {
  return std::any_of(changes.begin(), changes.end(), [](const DeviceChange& c) { return c.kind != DeviceChange::kSame; });
}

RowExtras ExtrasOf(const DeviceTable& table, const RecordOrigins& origins, const std::vector<LocalNetwork>& local,
                   const std::vector<ListedDevice>* saved) {
  RowExtras extras;
  std::vector<ListedDevice> listed = ListedDevicesOf(table, origins);
  extras.notes = NotesOf(listed, local);
  if (saved != nullptr) {
    RowExtras::Comparison comparison;
    comparison.saved = saved;
    std::vector<ListedDevice> now;
    for (const RowRecord& row : RowsWithRecords(table, RowsWithText(table.grid))) {
      if (row.record == nullptr) continue;
      comparison.shown_records.push_back(row.index);
      now.push_back(std::move(listed[row.index]));
    }
    comparison.changes = CompareDevices(*saved, now);
    comparison.change_of_record.assign(listed.size(), SIZE_MAX);
    for (std::size_t i = 0; i < comparison.shown_records.size(); ++i)
      comparison.change_of_record[comparison.shown_records[i]] = i;
    extras.comparison = std::move(comparison);
  }
  return extras;
}

void PrintRows(const DeviceTable& table, OutputFormat format, const RecordOrigins& origins,
               std::ostream& out, bool pretty) {
  PrintRows(table, RowsWithText(table.grid), format, origins, kNoExtras, out, pretty);
}

void PrintRows(const DeviceTable& table, const std::vector<int>& wanted, OutputFormat format,
               const RecordOrigins& origins, std::ostream& out, bool pretty) {
  PrintRows(table, wanted, format, origins, kNoExtras, out, pretty);
}

void PrintRows(const DeviceTable& table, OutputFormat format, const RecordOrigins& origins, const RowExtras& extras,
               std::ostream& out, bool pretty) {
  PrintRows(table, RowsWithText(table.grid), format, origins, extras, out, pretty);
}

void PrintRows(const DeviceTable& table, const std::vector<int>& wanted, OutputFormat format,
               const RecordOrigins& origins, const RowExtras& given, std::ostream& out, bool pretty) {
  const StringGrid& grid = table.grid;
  const std::vector<RowRecord> rows = RowsWithRecords(table, wanted);
  const RowExtras& extras = format == OutputFormat::kTabs ? kNoExtras : given;
  const std::vector<const ListedDevice*> missing = MissingDevices(extras);
  auto missing_cells = [](const ListedDevice& d) {
    // Fields the list did not keep are empty.
    ListedDevice known = d;
    for (int f = 0; f < kUnitFieldCount; ++f)
      if (!((d.known >> f) & 1u)) SetUnitField(UnitField(known.record, f), UnitFieldWidth(f), "");
    return GridRowOf(known.record);
  };
  const DeviceChange missing_change{DeviceChange::kMissing, DeviceChange::kNone, DeviceChange::kNone, {}};
  switch (format) {
    case OutputFormat::kTable: {
      std::vector<std::vector<std::string>> cells = {
          std::vector<std::string>(std::begin(kGridHeadings), std::end(kGridHeadings))};
      for (const std::string& heading : ExtraHeadings(extras)) cells[0].push_back(heading);
      for (const RowRecord& row : rows) {
        cells.emplace_back(grid.RowAt(row.row).begin(), grid.RowAt(row.row).end());
        for (std::string& cell : ExtraCells(extras, NotesOfRow(extras, row), ChangeOfRow(extras, row)))
          cells.back().push_back(std::move(cell));
      }
      for (const ListedDevice* d : missing) {
        const StringGrid::Row shown = missing_cells(*d);
        cells.emplace_back(shown.begin(), shown.end());
        for (std::string& cell : ExtraCells(extras, nullptr, &missing_change)) cells.back().push_back(std::move(cell));
      }
      PrintAligned(cells, out);
      break;
    }
    case OutputFormat::kCsv:
    case OutputFormat::kTabs: {
      // The grid's columns; CSV adds the interface the device answered on
      // and the extras.
      const bool csv = format == OutputFormat::kCsv;
      const char separator = csv ? ',' : '\t';
      const char sep[] = {separator, '\0'};
      const char* const line_end = csv ? "\r\n" : "\n";
      for (int c = 0; c < StringGrid::kColumns; ++c) out << (c ? sep : "") << kGridHeadings[c];
      out << (csv ? ",Interface" : "");
      for (const std::string& heading : ExtraHeadings(extras)) out << "," << heading;
      out << line_end;
      auto write_row = [&](const StringGrid::Row& cells, const std::string& interface,
                           const std::vector<std::string>& extra) {
        for (int c = 0; c < StringGrid::kColumns; ++c) out << (c ? sep : "") << DelimitedCell(cells[c], separator);
        if (csv) out << "," << CsvField(interface);
        for (const std::string& cell : extra) out << "," << CsvField(cell);
        out << line_end;
      };
      for (const RowRecord& row : rows)
        write_row(grid.RowAt(row.row), row.record ? table.devices.InterfaceOf(row.record) : "",
                  ExtraCells(extras, NotesOfRow(extras, row), ChangeOfRow(extras, row)));
      for (const ListedDevice* d : missing)
        write_row(missing_cells(*d), d->interface, ExtraCells(extras, nullptr, &missing_change));
      break;
    }
    case OutputFormat::kJson: {
      out << "[";
      bool first = true;
      auto write = [&](const std::vector<JsonMember>& members) {
        out << (first ? "" : ",") << (pretty ? "\n  " : "");
        first = false;
        WriteJsonObject(out, members, pretty, 1);
      };
      for (const RowRecord& row : rows) write(RowObject(table, row, origins, extras));
      for (const ListedDevice* d : missing) write(MissingObject(*d, extras));
      out << (pretty && !first ? "\n]\n" : "]\n");
      break;
    }
    case OutputFormat::kNdjson:
      for (const RowRecord& row : rows) {
        WriteJsonObject(out, RowObject(table, row, origins, extras), false, 0);
        out << "\n";
      }
      for (const ListedDevice* d : missing) {
        WriteJsonObject(out, MissingObject(*d, extras), false, 0);
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

void NdjsonPrinter::PrintUpnpDevice(const DeviceInformationContainer& device, std::ostream& out,
                                    const std::vector<RowNote>* notes) {
  std::optional<tComUnitInfo> record = UpnpRecordOf(device);
  if (!record) return;
  out << RecordJson(*record, "upnp", device.interface, &device, notes) << "\n";
  out.flush();
  upnp_printed_.push_back(device);
}

void NdjsonPrinter::PrintNewRows(const DeviceTable& table, const RecordOrigins& origins, std::ostream& out,
                                 bool last) {
  PrintNewRows(table, origins, kNoExtras, out, last);
}

void NdjsonPrinter::PrintNewRows(const DeviceTable& table, const RecordOrigins& origins, const RowExtras& extras,
                                 std::ostream& out, bool last) {
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
    WriteJsonObject(out, RowObject(table, row, origins, extras), false, 0);
    out << "\n";
  }
  if (last)
    for (const ListedDevice* d : MissingDevices(extras)) {
      WriteJsonObject(out, MissingObject(*d, extras), false, 0);
      out << "\n";
    }
  out.flush();
}

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

std::string RecordJson(const tComUnitInfo& record, const std::string& source, const std::string& interface,
                       const DeviceInformationContainer* upnp, const std::vector<RowNote>* notes) {
  std::ostringstream out;
  WriteJsonObject(out, RecordObject(record, source, interface, upnp, notes), false, 0);
  return out.str();
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

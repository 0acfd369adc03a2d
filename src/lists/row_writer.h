// The grid's rows as text for the world outside the program, written one way
// for everyone who writes them: `device-search search` (a table, CSV, one
// JSON array or ndjson, one JSON object per line printed as soon as its row
// is final), the window's "Export..." (CSV or JSON) and its "Copy" (tab-
// separated text for the clipboard). Where records came from is in
// record_origins.h, what rows carry beside them in row_extras.h, the JSON
// text in json_text.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "lists/device_changes.h"
#include "lists/json_text.h"
#include "lists/record_origins.h"
#include "lists/row_extras.h"
#include "lists/row_notes.h"
#include "protocol/csv_cell.h"
#include "protocol/device_table.h"
#include "upnp/device_information.h"

// table and csv: the grid's seven columns (csv adds "Interface"); json: one
// array of objects; ndjson: one object per line; tabs: the grid's seven
// columns separated by tabs, for the clipboard.
enum class OutputFormat { kTable, kCsv, kJson, kNdjson, kTabs };

// Writes the grid's data rows (RowsWithText) in the grid's order, in the
// given format. CSV adds a column "Interface"; JSON objects carry the
// record's eleven fields, its source, the interface its device answered on
// ("interface", "" when unknown), and for UPnP records an object "upnp" with
// the nineteen texts; json is compact unless `pretty`. The table and the
// tabs show the grid's columns under its headings. Everything is UTF-8
// whatever the devices sent: a text is read by the record text rule
// (RecordText: UTF-8, else Latin-1). JSON keeps every text so (JsonString). The table, CSV and
// the tabs show it as ShownText does (controls escaped); CSV and the tabs
// guard and quote each cell (DelimitedCell; CSV lines end in CR LF, the
// tabs' in LF).
//
// With `extras`, the table, CSV and JSON add (the tabs never do):
//  - with notes: JSON "notes": [{"kind": "address-conflict", "detail": "..."}]
//    on every row (empty when it has none, and on a row without a record);
//    CSV a last column "Notes" after "Interface" and the table a last column
//    "Notes", each the kinds joined by ";" (NoteWords).
//  - with a comparison: JSON "compare": "same", "new", "changed" or
//    "missing" (ChangeWord) and on a changed row "changed": [field names in
//    record order, as UnitFieldName spells them]; CSV and the table two more
//    columns "Compare" and "Changed" (names joined by ";"). After the grid's
//    rows come the devices of the saved list found nowhere now, as that list
//    gave them, marked "missing": in JSON the fields the list knew, its
//    source and interface; in CSV and the table the grid's columns. A row
//    without a record has neither member and empty cells.
void PrintRows(const DeviceTable& table, OutputFormat format, const RecordOrigins& origins,
               const RowExtras& extras, std::ostream& out, bool pretty = false);
// The same for the given grid rows only (data rows in the grid's order, such
// as those a filter shows or those selected); the missing devices are all
// written.
void PrintRows(const DeviceTable& table, const std::vector<int>& rows, OutputFormat format,
               const RecordOrigins& origins, const RowExtras& extras, std::ostream& out, bool pretty = false);
// Without extras: the rows as they were written before notes existed.
void PrintRows(const DeviceTable& table, OutputFormat format, const RecordOrigins& origins,
               std::ostream& out, bool pretty = false);
void PrintRows(const DeviceTable& table, const std::vector<int>& rows, OutputFormat format,
               const RecordOrigins& origins, std::ostream& out, bool pretty = false);

// The object PrintRows writes in JSON for a row of `record` (compact, on one
// line, without a line end): the record's eleven fields, `source`,
// `interface` and, when `upnp` is given, the UPnP texts. The live watch
// writes its rows with it.
std::string RecordJson(const tComUnitInfo& record, const std::string& source, const std::string& interface,
                       const DeviceInformationContainer* upnp, const std::vector<RowNote>* notes = nullptr);

// The ndjson stream of one search: each call prints the grid's rows that no
// earlier call printed, one compact JSON object per line in the grid's order,
// and flushes. Rows are told apart by their records; a row without a record
// is printed by the last call only. With `extras` (ExtrasOf the table as it
// is at that call), each row carries its notes and comparison as they are
// when it is printed (a device found later may conflict with it), and the
// last call prints the missing devices after the rows. A UPnP device's row
// may come first, as soon as the device is read (PrintUpnpDevice): its merged
// row is then not printed again.
class NdjsonPrinter {
 public:
  void PrintNewRows(const DeviceTable& table, const RecordOrigins& origins, std::ostream& out, bool last);
  void PrintNewRows(const DeviceTable& table, const RecordOrigins& origins, const RowExtras& extras,
                    std::ostream& out, bool last);
  // Prints the row the UPnP merge will make of `device`, as PrintRows writes
  // it, when the merge makes one (UpnpRecordOf); nothing otherwise. With
  // `notes`, the row carries them (UpnpDeviceNotes).
  void PrintUpnpDevice(const DeviceInformationContainer& device, std::ostream& out,
                       const std::vector<RowNote>* notes = nullptr);

 private:
  std::vector<bool> printed_;  // by record index
  std::vector<DeviceInformationContainer> upnp_printed_;  // devices printed before their merge
};

// Rows of cells, as a record holds them, as an aligned table for a
// terminal: each cell shown as ShownText shows it, each column as wide as
// its widest cell in terminal cells (DisplayWidth), two blanks between
// columns, no blanks at a line's end.
void PrintAligned(const std::vector<std::vector<std::string>>& rows, std::ostream& out);


// The grid's rows as text for the world outside the program, written one way
// for everyone who writes them: `device-search search` (a table, CSV, one
// JSON array or ndjson, one JSON object per line printed as soon as its row
// is final), the window's "Export..." (CSV or JSON) and its "Copy" (tab-
// separated text for the clipboard).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/csv_cell.h"
#include "protocol/device_table.h"
#include "lists/device_changes.h"
#include "lists/row_notes.h"
#include "upnp/device_information.h"

// table and csv: the grid's seven columns (csv adds "Interface"); json: one
// array of objects; ndjson: one object per line; tabs: the grid's seven
// columns separated by tabs, for the clipboard.
enum class OutputFormat { kTable, kCsv, kJson, kNdjson, kTabs };

// Where the records of one search came from: the first `exchange_records`
// from its exchange (`exchange_source`: "protocol", or "httpcmd" for the HTTP
// command), every later one from the UPnP merge, which made one record of
// each device of `upnp`, in order (MergedUpnpDevices).
struct RecordOrigins {
  std::string exchange_source = "protocol";
  std::size_t exchange_records = SIZE_MAX;
  std::vector<const DeviceInformationContainer*> upnp = {};
  // Records appended after the search, from `later_from` on (the window's
  // live watch adds them): each one's source and UPnP texts (null: none).
  std::size_t later_from = SIZE_MAX;
  std::vector<std::string> later_sources = {};
  std::vector<const DeviceInformationContainer*> later_upnp = {};

  // "protocol", "httpcmd" or "upnp".
  std::string SourceOf(std::size_t record_index) const;
  // The UPnP texts behind a record, or null for records from other sources.
  const DeviceInformationContainer* UpnpOf(std::size_t record_index) const;
};

// The origins of a search run with `settings` whose exchange gave the first
// `exchange_records` records (SearchDriver::ExchangeRecords); `upnp_results`
// are the UPnP engine's results once the search has ended (null: none).
RecordOrigins OriginsOfSearch(const SearchSettings& settings, std::size_t exchange_records,
                              const std::vector<DeviceInformationContainer>* upnp_results);

// The grid's data rows that hold any text, in the grid's order.
std::vector<int> RowsWithText(const StringGrid& grid);

// What is written beside each row's record: its notes and, after a
// comparison with a saved list, how it compares. Plain values, made by
// ExtrasOf for one state of the table; stale once the table changes.
struct RowExtras {
  // The notes of each record, by its index in the device list; none: no
  // notes are written (the rows' form before notes existed).
  std::optional<std::vector<std::vector<RowNote>>> notes;

  // A comparison with a saved list: `changes` is CompareDevices(saved, now),
  // where now[i] is the record numbered shown_records[i], the records the
  // grid shows as rows in the grid's order (records a project filter hides
  // take no part); the kMissing changes, last, name devices of `saved`.
  struct Comparison {
    const std::vector<ListedDevice>* saved = nullptr;  // not copied: a list may hold 200,000 devices
    std::vector<std::size_t> shown_records;
    std::vector<DeviceChange> changes;
    std::vector<std::size_t> change_of_record;  // by record index: its place in `changes`, or SIZE_MAX
    // The change of a record, or null for a record not shown.
    const DeviceChange* OfRecord(std::size_t record_index) const;
    // True when any change is not kSame: something is new, changed or missing.
    bool Differs() const;
  };
  std::optional<Comparison> comparison;
};

// The extras of `table`'s rows now: the notes of every record (NotesOf over
// ListedDevicesOf, its addresses judged against `local`, for the program
// ThisPcNetworks()) and, when `saved` is given, the comparison with it;
// `saved` must then outlive the extras.
RowExtras ExtrasOf(const DeviceTable& table, const RecordOrigins& origins, const std::vector<LocalNetwork>& local,
                   const std::vector<ListedDevice>* saved = nullptr);

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

// The notes the row of UPnP `device` would carry if it were appended to
// `table` now (its record as the merge makes it; none when the merge makes
// none).
std::vector<RowNote> UpnpDeviceNotes(const DeviceTable& table, const RecordOrigins& origins,
                                     const std::vector<LocalNetwork>& local, const DeviceInformationContainer& device);

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

// Where the window's "Export..." writes and in which format, from the file
// name the user gave and the type picked in the file dialog (kCsv or kJson):
// a name that ends in ".csv" or ".json", in any case, is written in that
// format whatever was picked; any other name gets the picked type's
// extension appended.
struct ExportTarget {
  std::string path;
  OutputFormat format;
};
ExportTarget ChooseExportTarget(const std::string& path, OutputFormat picked);

// Rows of cells, as a record holds them, as an aligned table for a
// terminal: each cell shown as ShownText shows it, each column as wide as
// its widest cell in terminal cells (DisplayWidth), two blanks between
// columns, no blanks at a line's end.
void PrintAligned(const std::vector<std::vector<std::string>>& rows, std::ostream& out);

// JSON string literal for any bytes, which reads back as exactly the text
// the record text rule reads (RecordText): UTF-8 passes through (a character
// cut at the end is left out), other bytes are read as Latin-1. The C0
// controls, DEL and U+0080-U+009F are escaped ("\n", "\u007f", "\u0085"),
// and so are the line and paragraph separators ("\u2028", "\u2029"), which
// readers that split lines the Unicode way take for line ends.
std::string JsonString(const std::string& text);

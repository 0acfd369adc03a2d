// What `device-search search` prints: the grid's rows in the grid's order as
// a table, CSV, one JSON array or ndjson (one JSON object per line, printed
// as soon as its row is final).
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/device_table.h"
#include "upnp/device_information.h"

// table and csv: the grid's seven columns; json: one array of objects;
// ndjson: one object per line, each printed as soon as its row is final.
enum class OutputFormat { kTable, kCsv, kJson, kNdjson };

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

// Rows of cells as an aligned table: each column as wide as its widest cell
// (in bytes), two blanks between columns, no blanks at a line's end.
void PrintAligned(const std::vector<std::vector<std::string>>& rows, std::ostream& out);

// A CSV field: the text, quoted with its quotes doubled when it holds a
// comma, a quote or a line end.
std::string CsvField(const std::string& text);

// JSON string literal for any bytes: valid UTF-8 passes through, other bytes
// are read as Latin-1; control characters are escaped.
std::string JsonString(const std::string& text);

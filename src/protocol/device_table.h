// What a search fills and the grid handlers read: the device list, the grid's
// texts, the row counter, the selected row and the shared sort direction, plus
// the search settings that the window's controls (or the command line) give.
// The main window owns one; the headless mode and the tests make their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/device_list.h"
#include "protocol/string_grid.h"

struct SearchSettings {
  bool ip_relay = false;               // "IP Relay" checked, else "Local Broadcast"
  std::string relay_address;           // the relay combo box's text
  std::string relay_protocol = "TCP";  // "TCP", "UDP", "HttpCmd" or any typed text
  std::string project = "ALL";         // the project filter's text
  // The interfaces a broadcast (search or control package) goes out of;
  // empty: every usable one. The window leaves it empty; the command line's
  // --interface fills it.
  std::vector<std::string> interfaces;
};

// How a search with `settings` asks: a broadcast, or "IP Relay" with exactly
// "HttpCmd", "TCP", or anything else (UDP).
enum class SearchMode { kBroadcast, kHttpCmd, kTcpRelay, kUdpRelay };
SearchMode ModeOf(const SearchSettings& settings);

struct DeviceTable {
  DeviceList devices;
  StringGrid grid;
  std::int32_t row_counter = 1;
  std::int32_t selected_row = 1;
  bool sort_ascending = true;
};

// The grid's columns, left to right, and their headings (row 0).
constexpr int kModelColumn = 0;
constexpr int kProjColumn = 1;
constexpr int kNameColumn = 2;
constexpr int kIpColumn = 3;
constexpr int kPortColumn = 4;
constexpr int kNetmaskColumn = 5;
constexpr int kMacColumn = 6;
extern const char* const kGridHeadings[StringGrid::kColumns];
// Writes the headings into row 0.
void WriteGridHeadings(StringGrid& grid);

// The grid row a device record is shown as: model, proj, name, ip,
// trigger_port, netmask, mac.
StringGrid::Row GridRowOf(const tComUnitInfo& info);

// The records a grid row names, in list order: those whose ip and mac equal
// the row's "IP" and "Mac" cells exactly. A row is tied to its record by
// these two cells, never by its number.
std::vector<const tComUnitInfo*> RecordsOfRow(const DeviceTable& table, int row);
// The first of them, or null.
const tComUnitInfo* FirstRecordOfRow(const DeviceTable& table, int row);

// True for a data row the grid shows: from row 1 to the last row. Cells
// beyond it may still hold texts of an earlier search; they name no device.
bool IsDataRow(const DeviceTable& table, int row);
// True for a data row that names a record of the UPnP merge (a device found
// by UPnP, which no control package reaches). What a row's cells hold does
// not count: a device may send "NULL" in any field.
bool IsUpnpRow(const DeviceTable& table, int row);

// The grid's data rows that hold any text, in the grid's order.
std::vector<int> RowsWithText(const StringGrid& grid);

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
std::vector<RowRecord> RowsWithRecords(const DeviceTable& table, const std::vector<int>& wanted);

// What the device grid does under the mouse, without a window: row selection,
// the hand pointer over the address column, the heading-click sort, the popup
// menu's "Network Setup" state and the address that "Browse" opens.
#pragma once

#include <optional>
#include <string>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"

// Compares sort entries without regard to case in the collation of the user's
// locale; under the C/POSIX locale, where Qt's collator compares bytes, the
// English collation is used instead so that "@" sorts before digits and
// letters everywhere.
class EntryCollation;

// Reorders the data rows by the text of `column`: each entry is
// "<cell>@<row text>" (the row text is its seven cells, each followed by
// CR LF); ascending by the collation when `table.sort_ascending`, else the
// exact reverse. Then at least two rows remain and row 0 is the one fixed row.
void SortGridByColumn(DeviceTable& table, int column);

// Sorting with an explicit locale name (tests; "" = the user's locale).
void SortGridByColumnInLocale(DeviceTable& table, int column, const std::string& locale_name);

// A row selection: row 0 or less detaches the popup menu (result false) and
// keeps selected_row; a data row becomes selected_row, logs
// "ARow(%d) ACol(%d) IP(%s)\n" and attaches the popup menu (result true).
bool SelectGridCell(DeviceTable& table, int col, int row, DebugLog& log);

// True over the "IP" cells of data rows, where the pointer is a hand.
bool IsHandCell(int col, int row);

// A heading click with the left button: inverts sort_ascending, then sorts by
// `col`. Other buttons and rows do nothing. Result: whether it sorted.
bool HeadingClick(DeviceTable& table, int col, int row, bool left_button);

// "Network Setup" is enabled unless the selected row's "Netmask" holds "NULL".
bool NetworkSetupEnabled(const DeviceTable& table);

// The address "Browse" opens for selected_row: "http://<ip>:<port>" of the
// first record with the row's IP and Mac, the port its trigger_port or 80.
// None when the row is beyond the grid or no record matches.
std::optional<std::string> BrowseUrl(const DeviceTable& table);

// The tooltip line of a data row: "Answered on <interface>" for the first
// record with the row's IP and Mac when its interface is known, else "".
std::string RowInterfaceTip(const DeviceTable& table, int row);

// What the device grid does under the mouse, without a window: row selection,
// the hand pointer over the address column, the heading click's sort
// (SortGridByColumn, search/grid_sort.h), the popup menu's "Network Setup"
// and "Network Setup for Selection..." states, the devices of a selection
// and the address that "Browse" opens.
#pragma once

#include <QUrl>
#include <optional>
#include <string>
#include <vector>

#include "netsetup/readdress_plan.h"
#include "protocol/debug_log.h"
#include "protocol/device_table.h"

// A row selection: row 0 or less detaches the popup menu (result false) and
// keeps selected_row; a data row becomes selected_row, logs
// "ARow(%d) ACol(%d) IP(%s)\n" and attaches the popup menu (result true).
bool SelectGridCell(DeviceTable& table, int col, int row, DebugLog& log);

// True over the "IP" cells of data rows, where the pointer is a hand.
bool IsHandCell(int col, int row);

// A heading click with the left button: inverts sort_ascending, then sorts by
// `col`. Other buttons and rows do nothing. Result: whether it sorted.
bool HeadingClick(DeviceTable& table, int col, int row, bool left_button);

// "Network Setup" is enabled unless the selected row is a UPnP row (IsUpnpRow).
bool NetworkSetupEnabled(const DeviceTable& table);

// The devices of the selected grid rows that a control package can reach, in
// the grid's order: each data row but UPnP rows (IsUpnpRow) that names a
// record gives its first record (FirstRecordOfRow), with the interface it
// answered on.
std::vector<PlanDevice> SelectedProtocolDevices(const DeviceTable& table, std::vector<int> rows);
// How many of the selected grid rows were found by UPnP ("NULL" in their
// "Netmask" or "Mac" cell): SelectedProtocolDevices leaves them out.
int SelectedUpnpRows(const DeviceTable& table, std::vector<int> rows);
// "Network Setup for Selection..." is enabled for two such devices or more.
bool SelectionSetupEnabled(const DeviceTable& table, const std::vector<int>& rows);

// The address "Browse" opens for selected_row: http://IP:PORT of the first
// record with the row's IP and Mac (a UPnP row's are the host and port of its
// presentation URL), built with QUrl's setters. IP must be a strict dotted
// quad (StrictAddress: neither "1 @evil.example" nor "10.0.0.1 " is one); PORT is
// the record's trigger_port read as a whole decimal integer, or 80 when that
// is empty or not one, and must then lie in 1..65535. None, without a word,
// when the row is not a data row or no record matches; none after a line in
// `log` (kBrowseRefusedLog) when the address or the port is unfit.
std::optional<QUrl> BrowseUrl(const DeviceTable& table, DebugLog& log);
// "Browse opens nothing: [%s] port [%s] is not an IPv4 address with a port from 1 to 65535\n"
// with the record's ip and trigger_port.
extern const char kBrowseRefusedLog[];

// The tooltip line of a data row: "Answered on <interface>" for the first
// record with the row's IP and Mac when its interface is known, followed by
// " at <address>" when the address of this machine its answer reached is
// known; else "".
std::string RowInterfaceTip(const DeviceTable& table, int row);

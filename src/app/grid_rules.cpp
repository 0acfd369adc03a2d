// Selection, pointer, heading click, popup and Browse rules of the device grid.
#include "app/grid_rules.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "protocol/string_printf.h"
#include "search/grid_sort.h"

bool SelectGridCell(DeviceTable& table, int col, int row, DebugLog& log) {
  if (row <= 0) return false;
  table.selected_row = row;
  log.Append(StringPrintf("ARow(%d) ACol(%d) IP(%s)\n", row, col, table.grid.Cell(kIpColumn, row).c_str()));
  return true;
}

bool IsHandCell(int col, int row) { return col == kIpColumn && row >= 1; }

bool HeadingClick(DeviceTable& table, int col, int row, bool left_button) {
  if (row != 0 || !left_button || col < 0 || col >= StringGrid::kColumns) return false;
  table.sort_ascending = !table.sort_ascending;
  SortGridByColumn(table, col);
  return true;
}

bool NetworkSetupEnabled(const DeviceTable& table) {
  return table.grid.Cell(kNetmaskColumn, table.selected_row).find("NULL") == std::string::npos;
}

namespace {

// The selected data rows, each once, ascending.
std::vector<int> SelectedDataRows(const DeviceTable& table, std::vector<int> rows) {
  std::erase_if(rows, [&](int row) { return row < 1 || row >= table.grid.RowCount(); });
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

// A row the UPnP merge wrote: "NULL" in its "Netmask" or "Mac" cell.
bool IsUpnpGridRow(const DeviceTable& table, int row) {
  return table.grid.Cell(kNetmaskColumn, row).find("NULL") != std::string::npos ||
         table.grid.Cell(kMacColumn, row).find("NULL") != std::string::npos;
}

}  // namespace

std::vector<PlanDevice> SelectedProtocolDevices(const DeviceTable& table, std::vector<int> rows) {
  std::vector<PlanDevice> devices;
  for (int row : SelectedDataRows(table, std::move(rows))) {
    const tComUnitInfo* record = IsUpnpGridRow(table, row) ? nullptr : FirstRecordOfRow(table, row);
    if (record != nullptr) devices.push_back({*record, table.devices.InterfaceOf(record)});
  }
  return devices;
}

int SelectedUpnpRows(const DeviceTable& table, std::vector<int> rows) {
  const std::vector<int> data_rows = SelectedDataRows(table, std::move(rows));
  return static_cast<int>(
      std::count_if(data_rows.begin(), data_rows.end(), [&](int row) { return IsUpnpGridRow(table, row); }));
}

bool SelectionSetupEnabled(const DeviceTable& table, const std::vector<int>& rows) {
  return SelectedProtocolDevices(table, rows).size() >= 2;
}

std::optional<std::string> BrowseUrl(const DeviceTable& table) {
  if (table.selected_row >= table.grid.RowCount()) return std::nullopt;
  const tComUnitInfo* info = FirstRecordOfRow(table, table.selected_row);
  if (info == nullptr) return std::nullopt;
  std::string port_text(FieldText(info->trigger_port));
  // "Read as a decimal integer": the whole text must be one.
  char* end = nullptr;
  long port = std::strtol(port_text.c_str(), &end, 10);
  bool integer = !port_text.empty() && end != nullptr && *end == '\0';
  if (!integer || port < INT_MIN || port > INT_MAX) port = 80;
  return StringPrintf("http://%s:%d", std::string(FieldText(info->ip)).c_str(), static_cast<int>(port));
}

std::string RowInterfaceTip(const DeviceTable& table, int row) {
  if (row < 1 || row >= table.grid.RowCount()) return "";
  const tComUnitInfo* record = FirstRecordOfRow(table, row);
  if (record == nullptr || table.devices.InterfaceOf(record).empty()) return "";
  return "Answered on " + table.devices.InterfaceOf(record);
}

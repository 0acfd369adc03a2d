// Selection, pointer, heading click, popup and Browse rules of the device grid.
#include "app/grid_rules.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "protocol/interfaces.h"
#include "protocol/ipv4_text.h"
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

bool NetworkSetupEnabled(const DeviceTable& table) { return !IsUpnpRow(table, table.selected_row); }

namespace {

// The selected data rows, each once, ascending.
std::vector<int> SelectedDataRows(const DeviceTable& table, std::vector<int> rows) {
  std::erase_if(rows, [&](int row) { return !IsDataRow(table, row); });
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

}  // namespace

std::vector<PlanDevice> SelectedProtocolDevices(const DeviceTable& table, std::vector<int> rows) {
  std::vector<PlanDevice> devices;
  for (int row : SelectedDataRows(table, std::move(rows))) {
    const tComUnitInfo* record = IsUpnpRow(table, row) ? nullptr : FirstRecordOfRow(table, row);
    if (record != nullptr)
      devices.push_back({*record, table.devices.InterfaceOf(record), table.devices.LocalAddressOf(record)});
  }
  return devices;
}

int SelectedUpnpRows(const DeviceTable& table, std::vector<int> rows) {
  const std::vector<int> data_rows = SelectedDataRows(table, std::move(rows));
  return static_cast<int>(
      std::count_if(data_rows.begin(), data_rows.end(), [&](int row) { return IsUpnpRow(table, row); }));
}

bool SelectionSetupEnabled(const DeviceTable& table, const std::vector<int>& rows) {
  return SelectedProtocolDevices(table, rows).size() >= 2;
}

const char kBrowseRefusedLog[] =
    "Browse opens nothing: [%s] port [%s] is not an IPv4 address with a port from 1 to 65535\n";

std::optional<QUrl> BrowseUrl(const DeviceTable& table, DebugLog& log) {
  if (!IsDataRow(table, table.selected_row)) return std::nullopt;
  const tComUnitInfo* info = FirstRecordOfRow(table, table.selected_row);
  if (info == nullptr) return std::nullopt;
  const std::string ip(FieldText(info->ip));
  const std::string port_text(FieldText(info->trigger_port));
  // "Read as a decimal integer": the whole text must be one, else 80.
  char* end = nullptr;
  errno = 0;
  long port = std::strtol(port_text.c_str(), &end, 10);
  const bool integer = !port_text.empty() && end != nullptr && *end == '\0' && errno == 0;
  if (!integer) port = 80;
  const std::optional<std::uint32_t> address = StrictAddress(ip);
  if (!address || port < 1 || port > 65535) {
    log.Append(StringPrintf(kBrowseRefusedLog, ip.c_str(), port_text.c_str()));
    return std::nullopt;
  }
  QUrl url;
  url.setScheme("http");
  url.setHost(QString::fromStdString(DottedText(*address)));
  url.setPort(static_cast<int>(port));
  return url;
}

std::string RowInterfaceTip(const DeviceTable& table, int row) {
  if (!IsDataRow(table, row)) return "";
  const tComUnitInfo* record = FirstRecordOfRow(table, row);
  if (record == nullptr || table.devices.InterfaceOf(record).empty()) return "";
  const std::uint32_t local = table.devices.LocalAddressOf(record);
  return "Answered on " + table.devices.InterfaceOf(record) + (local != 0 ? " at " + DottedAddress(local) : "");
}

// Headings and the record-to-row mapping of the device grid.
#include "protocol/device_table.h"

#include <algorithm>

const char* const kGridHeadings[StringGrid::kColumns] = {
    "Model", "Proj", "Name", "IP", "Port", "Netmask", "Mac"};

void WriteGridHeadings(StringGrid& grid) {
  for (int c = 0; c < StringGrid::kColumns; ++c) grid.SetCell(c, 0, kGridHeadings[c]);
}

StringGrid::Row GridRowOf(const tComUnitInfo& info) {
  return {std::string(FieldText(info.model)),   std::string(FieldText(info.proj)),
          std::string(FieldText(info.name)),    std::string(FieldText(info.ip)),
          std::string(FieldText(info.trigger_port)), std::string(FieldText(info.netmask)),
          std::string(FieldText(info.mac))};
}

std::vector<const tComUnitInfo*> RecordsOfRow(const DeviceTable& table, int row) {
  return table.devices.FindAll(table.grid.Cell(kIpColumn, row), table.grid.Cell(kMacColumn, row));
}

const tComUnitInfo* FirstRecordOfRow(const DeviceTable& table, int row) {
  return table.devices.FindFirst(table.grid.Cell(kIpColumn, row), table.grid.Cell(kMacColumn, row));
}

bool IsDataRow(const DeviceTable& table, int row) { return row >= 1 && row < table.grid.RowCount(); }

bool IsUpnpRow(const DeviceTable& table, int row) {
  if (!IsDataRow(table, row)) return false;
  for (const tComUnitInfo* record : RecordsOfRow(table, row))
    if (table.devices.SourceOf(record) == RecordSource::kUpnp) return true;
  return false;
}

SearchMode ModeOf(const SearchSettings& settings) {
  if (!settings.ip_relay) return SearchMode::kBroadcast;
  if (settings.relay_protocol == "HttpCmd") return SearchMode::kHttpCmd;
  if (settings.relay_protocol == "TCP") return SearchMode::kTcpRelay;
  return SearchMode::kUdpRelay;
}

std::vector<int> RowsWithText(const StringGrid& grid) {
  std::vector<int> rows;
  for (int r = 1; r < grid.RowCount(); ++r) {
    const StringGrid::Row& cells = grid.RowAt(r);
    if (std::any_of(cells.begin(), cells.end(), [](const std::string& s) { return !s.empty(); })) rows.push_back(r);
  }
  return rows;
}

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

// Headings and the record-to-row mapping of the device grid.
#include "protocol/device_table.h"

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

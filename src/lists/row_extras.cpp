// The rows' notes and comparison.
#include "lists/row_extras.h"

#include <algorithm>

#include "upnp/upnp_merge.h"

const DeviceChange* RowExtras::Comparison::OfRecord(std::size_t record_index) const {
  if (record_index >= change_of_record.size() || change_of_record[record_index] >= changes.size()) return nullptr;
  return &changes[change_of_record[record_index]];
}

bool RowExtras::Comparison::Differs() const {
  return std::any_of(changes.begin(), changes.end(), [](const DeviceChange& c) { return c.kind != DeviceChange::kSame; });
}

RowExtras ExtrasOf(const DeviceTable& table, const RecordOrigins& origins, const std::vector<LocalNetwork>& local,
                   const std::vector<ListedDevice>* saved) {
  RowExtras extras;
  std::vector<ListedDevice> listed = ListedDevicesOf(table, origins);
  extras.notes = NotesOf(listed, local);
  if (saved != nullptr) {
    RowExtras::Comparison comparison;
    comparison.saved = saved;
    std::vector<ListedDevice> now;
    for (const RowRecord& row : RowsWithRecords(table, RowsWithText(table.grid))) {
      if (row.record == nullptr) continue;
      comparison.shown_records.push_back(row.index);
      now.push_back(std::move(listed[row.index]));
    }
    comparison.changes = CompareDevices(*saved, now);
    comparison.change_of_record.assign(listed.size(), SIZE_MAX);
    for (std::size_t i = 0; i < comparison.shown_records.size(); ++i)
      comparison.change_of_record[comparison.shown_records[i]] = i;
    extras.comparison = std::move(comparison);
  }
  return extras;
}

std::vector<RowNote> UpnpDeviceNotes(const DeviceTable& table, const RecordOrigins& origins,
                                     const std::vector<LocalNetwork>& local, const DeviceInformationContainer& device) {
  std::optional<tComUnitInfo> record = UpnpRecordOf(device);
  if (!record) return {};
  std::vector<ListedDevice> devices = ListedDevicesOf(table, origins);
  ListedDevice d;
  d.record = *record;
  d.interface = device.interface;
  d.upnp = true;
  d.udn = device.unique_device_name;
  d.source = "upnp";
  devices.push_back(std::move(d));
  std::vector<std::vector<RowNote>> notes = NotesOf(devices, local);
  return std::move(notes.back());
}

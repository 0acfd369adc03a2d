// The live watch's events applied to the window's device list, grid and marks.
#include "app/grid_watch.h"

#include <cstring>

std::vector<WatchedDevice> GridWatch::Restart(const RecordOrigins& origins) {
  const RecordOrigins all = WithAppended(origins);
  std::vector<ListedDevice> listed = ListedDevicesOf(table_, all);
  std::vector<WatchedDevice> devices;
  record_of_entry_.clear();
  for (std::size_t i = 0; i < listed.size(); ++i) {
    const RowMarks::WatchMark* mark = marks_.WatchOf(i);
    if (mark != nullptr && mark->gone) continue;  // back again, it is found
    WatchedDevice d;
    d.listed = std::move(listed[i]);
    d.source = all.SourceOf(i);
    if (const DeviceInformationContainer* upnp = all.UpnpOf(i)) d.upnp = *upnp;
    devices.push_back(std::move(d));
    record_of_entry_.push_back(static_cast<std::ptrdiff_t>(i));
  }
  return devices;
}

RecordOrigins GridWatch::WithAppended(RecordOrigins origins) const {
  if (appended_.empty()) return origins;
  origins.later_from = appended_from_;
  for (const WatchedDevice& d : appended_) {
    origins.later_sources.push_back(d.source);
    origins.later_upnp.push_back(d.upnp ? &*d.upnp : nullptr);
  }
  return origins;
}

const DeviceInformationContainer* GridWatch::LatestUpnpOf(std::size_t i) const {
  auto it = latest_upnp_.find(i);
  return it != latest_upnp_.end() ? &it->second : nullptr;
}

void GridWatch::Forget() {
  latest_upnp_.clear();
  record_of_entry_.clear();
  appended_.clear();
  appended_from_ = 0;
}

int GridWatch::RowOfRecord(std::size_t i) const {
  const tComUnitInfo& record = table_.devices.At(i);
  for (int r = 1; r < table_.grid.RowCount(); ++r)
    if (FirstRecordOfRow(table_, r) == &record) return r;
  return -1;
}

std::size_t GridWatch::AppendRecord(const WatchedDevice& device) {
  const tComUnitInfo& info = device.listed.record;
  if (appended_.empty()) appended_from_ = table_.devices.Size();
  if (device.listed.upnp)
    table_.devices.AppendUpnp(info, SIZE_MAX, device.listed.interface);  // not of the merge: no detail texts
  else
    table_.devices.Append(info, device.listed.interface);
  appended_.push_back(device);
  // After every row the grid has, the UPnP merge's included (as the merge
  // appends), in place of the one empty row a search that found nothing
  // leaves under the heading.
  StringGrid& grid = table_.grid;
  int row = grid.RowCount();
  if (row == 2 && table_.devices.Size() == 1) row = 1;
  grid.SetRow(row, GridRowOf(info));
  grid.SetRowCount(row + 1);
  return table_.devices.Size() - 1;
}

void GridWatch::Apply(const DeviceWatch& watch, const DeviceWatch::Event& event, RowMarks::Clock::time_point now) {
  const DeviceWatch::Entry& entry = watch.Entries()[event.entry];
  if (record_of_entry_.size() <= event.entry) record_of_entry_.resize(event.entry + 1, -1);
  std::ptrdiff_t& record = record_of_entry_[event.entry];
  const tComUnitInfo& now_info = entry.device.listed.record;
  auto keep_texts = [&](std::size_t i) {
    if (entry.device.upnp) latest_upnp_[i] = *entry.device.upnp;
  };
  switch (event.kind) {
    case DeviceWatch::EventKind::kFound: {
      if (record < 0) {
        // A device listed already under the same IP and MAC (one gone before
        // the watch started again) is that row; any other gets a row.
        const tComUnitInfo* same = table_.devices.FindFirst(FieldText(now_info.ip), FieldText(now_info.mac));
        record = same != nullptr ? same - &table_.devices.At(0) : static_cast<std::ptrdiff_t>(AppendRecord(entry.device));
      }
      const auto i = static_cast<std::size_t>(record);
      if (std::memcmp(&table_.devices.At(i), &now_info, sizeof now_info) != 0) {
        const int row = RowOfRecord(i);
        table_.devices.Replace(i, now_info);
        if (row >= 0) table_.grid.SetRow(row, GridRowOf(now_info));
      }
      keep_texts(i);
      marks_.WatchGone(i, false);
      marks_.WatchNew(i, now + DeviceWatch::kNewFor);
      break;
    }
    case DeviceWatch::EventKind::kChanged: {
      if (record < 0) break;
      const auto i = static_cast<std::size_t>(record);
      const tComUnitInfo before = table_.devices.At(i);
      const int row = RowOfRecord(i);
      table_.devices.Replace(i, now_info);
      if (row >= 0) table_.grid.SetRow(row, GridRowOf(now_info));
      keep_texts(i);
      marks_.WatchChanged(i, before, now_info, entry.changed_fields);
      break;
    }
    case DeviceWatch::EventKind::kGone:
      if (record >= 0) marks_.WatchGone(static_cast<std::size_t>(record), true);
      break;
    case DeviceWatch::EventKind::kNote:
      break;  // the window computes the notes of its own list
  }
}

// The selected row's detail dialogs, as data.
#include "upnp/detail_showings.h"

namespace {

std::optional<DetailShowing> ShowingOf(const DeviceTable& table, const tComUnitInfo& record, int row,
                                       const UpnpTextsOf& upnp_of) {
  DetailShowing s;
  if (table.devices.SourceOf(&record) == RecordSource::kUpnp) {
    const DeviceInformationContainer* texts = upnp_of(record);
    if (texts == nullptr) return std::nullopt;  // nothing known to show
    s.kind = DetailShowing::kUpnpInfo;
    s.upnp = *texts;
  } else {
    s.kind = DetailShowing::kUnitInfo;
    s.unit = record;
    s.log_line = table.grid.Cell(kIpColumn, row);
  }
  return s;
}

}  // namespace

std::vector<DetailShowing> DetailShowingsWithTexts(const DeviceTable& table, const UpnpTextsOf& upnp_of) {
  std::vector<DetailShowing> showings;
  const int row = table.selected_row;
  if (!IsDataRow(table, row)) return showings;
  const std::vector<RowRecord> own = RowsWithRecords(table, {row});
  if (!own.empty() && own[0].record != nullptr && table.devices.SourceOf(own[0].record) == RecordSource::kUpnp) {
    if (std::optional<DetailShowing> s = ShowingOf(table, *own[0].record, row, upnp_of)) showings.push_back(*s);
    return showings;
  }
  for (const tComUnitInfo* record : RecordsOfRow(table, row))
    if (std::optional<DetailShowing> s = ShowingOf(table, *record, row, upnp_of)) showings.push_back(std::move(*s));
  return showings;
}

const DeviceInformationContainer* MergedTextsOf(const DeviceTable& table, const UpnpSnapshot& merged,
                                                const tComUnitInfo& record) {
  std::optional<std::size_t> device = table.devices.UpnpDeviceOf(&record);
  // A snapshot of another merge: nothing to show.
  return device && *device < merged.size() ? &merged[*device] : nullptr;
}

std::vector<DetailShowing> DetailShowingsFor(const DeviceTable& table, const UpnpSnapshot& merged) {
  return DetailShowingsWithTexts(table, [&](const tComUnitInfo& record) { return MergedTextsOf(table, merged, record); });
}

// The selected row's detail dialogs, as data.
#include "upnp/detail_showings.h"

std::vector<DetailShowing> DetailShowingsFor(const DeviceTable& table, const UpnpSnapshot& merged) {
  std::vector<DetailShowing> showings;
  const int row = table.selected_row;
  if (!IsDataRow(table, row)) return showings;
  for (const tComUnitInfo* record : RecordsOfRow(table, row)) {
    DetailShowing s;
    if (std::optional<std::size_t> device = table.devices.UpnpDeviceOf(record)) {
      if (*device >= merged.size()) continue;  // a snapshot of another merge: nothing to show
      s.kind = DetailShowing::kUpnpInfo;
      s.upnp = merged[*device];
    } else {
      s.kind = DetailShowing::kUnitInfo;
      s.unit = *record;
      s.log_line = table.grid.Cell(kIpColumn, row);
    }
    showings.push_back(std::move(s));
  }
  return showings;
}

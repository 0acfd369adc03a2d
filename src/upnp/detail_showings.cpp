// The selected row's detail dialogs, as data.
#include "upnp/detail_showings.h"

std::vector<DetailShowing> DetailShowingsFor(
    const DeviceTable& table, const std::vector<DeviceInformationContainer>& results) {
  std::vector<DetailShowing> showings;
  const int row = table.selected_row;
  // Only a shown data row counts: the heading, and texts of rows hidden by a
  // smaller row count, are not a device.
  if (row < 1 || row >= table.grid.RowCount()) return showings;
  const std::string& ip = table.grid.Cell(kIpColumn, row);
  const bool upnp_row = table.grid.Cell(kMacColumn, row).find("NULL") != std::string::npos;

  for (const tComUnitInfo* record : RecordsOfRow(table, row)) {
    if (upnp_row) {
      const std::string_view record_ip = FieldText(record->ip);
      for (const DeviceInformationContainer& device : results) {
        if (device.presentation_url.find(record_ip) == std::string::npos) continue;
        DetailShowing s;
        s.kind = DetailShowing::kUpnpInfo;
        s.upnp = device;
        showings.push_back(std::move(s));
      }
    } else {
      DetailShowing s;
      s.kind = DetailShowing::kUnitInfo;
      s.unit = *record;
      s.log_line = ip;
      showings.push_back(std::move(s));
    }
  }
  return showings;
}

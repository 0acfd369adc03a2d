// Which detail dialogs "Detail Info." opens for the selected grid row, in
// order: a record of the search's exchange shows itself; a record of the UPnP
// merge shows the UPnP device it was made of, as the merge copied it.
#pragma once

#include <string>
#include <vector>

#include "protocol/device_table.h"
#include "upnp/device_information.h"
#include "upnp/upnp_merge.h"

// One dialog to show: a TFormInfo with `unit` (after `log_line`, the row's IP
// cell, is appended to the debug log), or a TForm1 with `upnp`.
struct DetailShowing {
  enum Kind { kUnitInfo, kUpnpInfo };
  Kind kind = kUnitInfo;
  tComUnitInfo unit{};
  std::string log_line;
  DeviceInformationContainer upnp;
};

// The showings for the row `table.selected_row`: for every record of the
// device list whose ip and mac equal the row's "IP" and "Mac" cells exactly
// (RecordsOfRow, in list order), one TForm1 with its device in `merged` when
// the UPnP merge made it (DeviceList::UpnpDeviceOf), else one TFormInfo. The
// texts in the record's fields do not choose the dialog. `merged` is the
// snapshot of the merge that made the table's UPnP records, never the
// engine's results. A selected row that is not one of the grid's data rows
// gives nothing. On the thread that owns the table and the snapshot.
std::vector<DetailShowing> DetailShowingsFor(const DeviceTable& table, const UpnpSnapshot& merged);

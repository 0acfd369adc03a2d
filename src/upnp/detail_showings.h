// Which detail dialogs "Detail Info." opens for the selected grid row, in
// order: a record of the search's exchange shows itself; a record of the UPnP
// merge shows the UPnP device it was made of, as the merge copied it (or as
// the live watch saw it last).
#pragma once

#include <functional>
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

// The texts behind a UPnP record, or null where none are known.
using UpnpTextsOf = std::function<const DeviceInformationContainer*(const tComUnitInfo& record)>;

// The showings for the row `table.selected_row`. A row whose own record
// (RowsWithRecords) is a UPnP one shows that device alone, once, with the
// texts `upnp_of` gives for it (nothing where it gives none): several UPnP
// devices at one address with "NULL" MACs never show each other's dialogs.
// Any other row shows, for every record of the
// device list whose ip and mac equal the row's "IP" and "Mac" cells exactly
// (RecordsOfRow, in list order), one TForm1 with its texts when it is a UPnP
// record, else one TFormInfo. The texts in the record's fields do not choose
// the dialog. A selected row that is not one of the grid's data rows gives
// nothing. On the thread that owns the table and the texts.
std::vector<DetailShowing> DetailShowingsWithTexts(const DeviceTable& table, const UpnpTextsOf& upnp_of);
// The texts of `merged` (the snapshot below) for a record of `table`.
const DeviceInformationContainer* MergedTextsOf(const DeviceTable& table, const UpnpSnapshot& merged,
                                                const tComUnitInfo& record);
// The same with the texts of `merged`, the snapshot of the merge that made
// the table's UPnP records (DeviceList::UpnpDeviceOf), never the engine's
// results.
std::vector<DetailShowing> DetailShowingsFor(const DeviceTable& table, const UpnpSnapshot& merged);

// Which detail dialogs "Detail Info." opens for the selected grid row, in
// order: a device of the maker's own protocol shows its record; a row the
// UPnP search added shows every UPnP result whose address holds its ip.
#pragma once

#include <string>
#include <vector>

#include "protocol/device_table.h"
#include "upnp/device_information.h"

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
// device list (in list order, the walk does not stop at a match) whose ip and
// mac equal the row's "IP" and "Mac" cells exactly, either one TFormInfo
// (a row from the maker's protocol) or, when the "Mac" cell contains "NULL"
// (a UPnP row), one TForm1 per result whose presentation_url contains the
// record's ip, in the order of `results`. A selected row that is not one of
// the grid's data rows gives nothing.
std::vector<DetailShowing> DetailShowingsFor(const DeviceTable& table,
                                             const std::vector<DeviceInformationContainer>& results);

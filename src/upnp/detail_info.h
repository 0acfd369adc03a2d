// "Detail Info." of the grid's popup menu: which dialogs the selected row
// opens, in order, and showing them.
#pragma once

#include <string>
#include <vector>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "upnp/device_information.h"

class QWidget;

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

// Runs DetailShowingsFor and shows each dialog in turn through ExecModal,
// owned by `owner`, destroying it before the next. On the user-interface
// thread.
void ShowDetailInfo(QWidget* owner, DeviceTable& table,
                    const std::vector<DeviceInformationContainer>& results, DebugLog& log);

// "Detail Info." of the grid's popup menu: shows the selected row's detail
// dialogs (DetailShowingsFor) one after the other.
#pragma once

#include <vector>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "upnp/device_information.h"

class QWidget;

// Shows each dialog of DetailShowingsFor in turn through ExecModal, owned by
// `owner`, destroying it before the next. On the user-interface thread.
void ShowDetailInfo(QWidget* owner, DeviceTable& table,
                    const std::vector<DeviceInformationContainer>& results, DebugLog& log);

// "Detail Info." of the grid's popup menu: shows the selected row's detail
// dialogs (DetailShowingsFor) one after the other.
#pragma once

#include <vector>

#include "protocol/debug_log.h"
#include "protocol/device_table.h"
#include "upnp/detail_showings.h"
#include "upnp/upnp_merge.h"

class QWidget;

// Shows each dialog of DetailShowingsFor in turn through ExecModal, owned by
// `owner`, destroying it before the next. `merged` is the snapshot of the
// merge that made the table's UPnP records (EngineUpnpPhase::Merged). The
// dialogs are chosen and filled before the first is shown, so the table and
// the snapshot may change while one is open. On the user-interface thread.
void ShowDetailInfo(QWidget* owner, DeviceTable& table, const UpnpSnapshot& merged, DebugLog& log);
// The same with the UPnP texts `upnp_of` gives for a record.
void ShowDetailInfoWithTexts(QWidget* owner, DeviceTable& table, const UpnpTextsOf& upnp_of, DebugLog& log);

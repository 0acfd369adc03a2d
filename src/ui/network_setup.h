// Network Setup for the selected grid row, as the main window's popup item
// opens it: TNetForm, modally and one after the other, for every device
// record that the row names (see NetworkSetupRecords), after logging the
// row's IP text; nothing for a row marked "NULL". Each dialog is destroyed
// when it closes. Each dialog's package is for the interface its record's
// device was seen on (ControlPackageSender::SetDeviceInterface).
#pragma once

#include "netsetup/control_sender.h"
#include "protocol/debug_log.h"
#include "protocol/device_table.h"

class QWidget;

// Sends through UdpControlPackageSender with `settings` (relay or broadcast).
void OpenNetworkSetup(QWidget* owner, const DeviceTable& table, const SearchSettings& settings,
                      DebugLog& log);

// The same with the sender given.
void OpenNetworkSetup(QWidget* owner, const DeviceTable& table, DebugLog& log,
                      ControlPackageSender& sender);

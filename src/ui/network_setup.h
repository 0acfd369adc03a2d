// Network Setup for the selected grid row, as the main window's popup item
// opens it: TNetForm, modally and one after the other, for every device
// record that the row names (see NetworkSetupRecords), after logging the
// row's IP text; nothing for a row marked "NULL". Each dialog is destroyed
// when it closes. Each dialog's package is for the interface its record's
// device was seen on (ControlPackageSender::SetDeviceInterface), and its
// "Apply" refuses a static address that is never handed out: one of this
// PC's on that interface, or one that another listed device keeps.
#pragma once

#include <vector>

#include "netsetup/address_rules.h"
#include "netsetup/control_sender.h"
#include "protocol/debug_log.h"
#include "protocol/device_table.h"

class QWidget;

// Sends through UdpControlPackageSender with `settings` (relay or broadcast);
// this PC's addresses are read as the dialogs open.
void OpenNetworkSetup(QWidget* owner, const DeviceTable& table, const SearchSettings& settings,
                      DebugLog& log);

// The same with the sender and this PC's addresses given.
void OpenNetworkSetup(QWidget* owner, const DeviceTable& table, DebugLog& log,
                      ControlPackageSender& sender, const std::vector<OwnAddress>& own);

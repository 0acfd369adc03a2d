// The main window's "Network Setup" popup item: opens TNetForm, modally and
// one after the other, for every device record that the selected grid row
// names (see NetworkSetupRecords), after logging the row's IP text; nothing
// for a row marked "NULL". Each dialog is destroyed when it closes. Each
// dialog's package is for the interface its record's device was seen on
// (ControlPackageSender::SetDeviceInterface).
#pragma once

#include "netsetup/control_sender.h"
#include "protocol/debug_log.h"
#include "protocol/device_table.h"

class QWidget;

// Sends through UdpControlPackageSender (needs the transport at link time).
void NetworkSetup1Click(QWidget* owner, const DeviceTable& table, const SearchSettings& settings,
                        DebugLog& log);

// The same with the sender given.
void NetworkSetup1Click(QWidget* owner, const DeviceTable& table, DebugLog& log,
                        ControlPackageSender& sender);

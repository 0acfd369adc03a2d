// Network Setup: from the selected grid row to one modal dialog per record.
#include "ui/network_setup.h"

#include <string>
#include <vector>

#include "netsetup/net_setup_rules.h"
#include "ui/modal.h"
#include "ui/net_form.h"

void OpenNetworkSetup(QWidget* owner, const DeviceTable& table, DebugLog& log,
                      ControlPackageSender& sender, const std::vector<OwnAddress>& own) {
  // Copies: the list and the grid may change while a dialog is open.
  std::vector<std::string> interfaces;
  const std::vector<tComUnitInfo> records = NetworkSetupRecords(table, &interfaces);
  if (records.empty()) return;
  const std::string ip_text = table.grid.Cell(kIpColumn, table.selected_row);
  const std::vector<PlanDevice> listed = PlanDevicesOf(table.devices);
  for (std::size_t i = 0; i < records.size(); ++i) {
    log.Append(ip_text);
    sender.SetDeviceInterface(interfaces[i]);
    sender.SetDeviceAddress(std::string(FieldText(records[i].ip)));
    TNetForm form(owner, sender, log);
    form.Fill(records[i]);
    form.SetNeighbours({{records[i], interfaces[i]}, own, listed});
    ExecModal(form);
  }
}

void OpenNetworkSetup(QWidget* owner, const DeviceTable& table, const SearchSettings& settings,
                      DebugLog& log) {
  UdpControlPackageSender sender(settings, log);
  OpenNetworkSetup(owner, table, log, sender, MachineAddresses());
}

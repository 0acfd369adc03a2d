// "Network Setup": from the selected grid row to one modal dialog per record.
#include "netsetup/network_setup.h"

#include <string>
#include <vector>

#include "app/modal.h"
#include "netsetup/net_form.h"
#include "netsetup/net_setup_rules.h"

void NetworkSetup1Click(QWidget* owner, const DeviceTable& table, DebugLog& log,
                        ControlPackageSender& sender) {
  // Copies: the list and the grid may change while a dialog is open.
  const std::vector<tComUnitInfo> records = NetworkSetupRecords(table);
  if (records.empty()) return;
  const std::string ip_text = table.grid.Cell(3, table.selected_row);
  for (const tComUnitInfo& info : records) {
    log.Append(ip_text);
    TNetForm form(owner, sender, log);
    form.Fill(info);
    ExecModal(form);
  }
}

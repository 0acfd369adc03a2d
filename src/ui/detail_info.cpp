// The selected row's detail dialogs, shown.
#include "ui/detail_info.h"

#include "ui/info_form.h"
#include "ui/modal.h"
#include "ui/upnp_info_form.h"
#include "upnp/detail_showings.h"

void ShowDetailInfo(QWidget* owner, DeviceTable& table, const UpnpSnapshot& merged, DebugLog& log) {
  for (const DetailShowing& s : DetailShowingsFor(table, merged)) {
    if (s.kind == DetailShowing::kUnitInfo) {
      log.Append(s.log_line);
      TFormInfo dialog(owner);
      dialog.Fill(s.unit);
      ExecModal(dialog);
    } else {
      TForm1 dialog(owner);
      dialog.Fill(s.upnp);
      ExecModal(dialog);
    }
  }
}

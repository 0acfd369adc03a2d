// The selected row's detail dialogs, shown.
#include "ui/detail_info.h"

#include "ui/info_form.h"
#include "ui/modal.h"
#include "ui/upnp_info_form.h"
#include "upnp/detail_showings.h"

namespace {

void Show(QWidget* owner, const std::vector<DetailShowing>& showings, DebugLog& log) {
  for (const DetailShowing& s : showings) {
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

}  // namespace

void ShowDetailInfo(QWidget* owner, DeviceTable& table, const UpnpSnapshot& merged, DebugLog& log) {
  Show(owner, DetailShowingsFor(table, merged), log);
}

void ShowDetailInfoWithTexts(QWidget* owner, DeviceTable& table, const UpnpTextsOf& upnp_of, DebugLog& log) {
  Show(owner, DetailShowingsWithTexts(table, upnp_of), log);
}

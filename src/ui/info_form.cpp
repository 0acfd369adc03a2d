// "Detail Info.": the eleven fields of a device record, read-only.
#include "ui/info_form.h"

#include <QLineEdit>
#include <QPushButton>

#include "protocol/record_text.h"
#include "ui/detail_rows.h"

TFormInfo::TFormInfo(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("FormInfo"));
  setWindowTitle(QStringLiteral("Detail Info."));
  // 242 x 454 is the outer size, frame included; the rows leave room for a
  // title bar of up to about 55 pixels and side borders of up to 4.
  KeepOuterSize(this, QSize(242, 454));
  QLineEdit** edits[] = {&EditModel, &EditProj,    &EditName,    &EditIP,
                         &EditPort,  &EditNetmask, &EditMac,     &EditGateway,
                         &EditDNS,   &EditDev,     &EditNote};
  const char* captions[] = {"Model", "Projet", "Name", "IP",  "Port", "Netmask",
                            "Mac",   "Gateway", "DNS", "Dev", "Note"};
  const char* names[] = {"EditModel", "EditProj", "EditName", "EditIP",  "EditPort", "EditNetmask",
                         "EditMac",   "EditGateway", "EditDNS", "EditDev", "EditNote"};
  const int edit_left = 82;
  const int edit_width = 144;
  for (int i = 0; i < 11; ++i)
    *edits[i] = AddDetailRow(this, captions[i], names[i], 10 + 32 * i, 10, 68, edit_left, edit_width);
  const int button_top = 10 + 32 * 11;
  BitBtn1 = AddDetailOkButton(this, edit_left + edit_width - 75, button_top);
  AddDetailCopy(this, edit_left + edit_width - 75 - 6 - 75, button_top);
}

void TFormInfo::Fill(const tComUnitInfo& info) {
  SetDetailText(EditModel, RecordText(FieldText(info.model)));
  SetDetailText(EditProj, RecordText(FieldText(info.proj)));
  SetDetailText(EditName, RecordText(FieldText(info.name)));
  SetDetailText(EditIP, RecordText(FieldText(info.ip)));
  SetDetailText(EditPort, RecordText(FieldText(info.trigger_port)));
  SetDetailText(EditNetmask, RecordText(FieldText(info.netmask)));
  SetDetailText(EditMac, RecordText(FieldText(info.mac)));
  SetDetailText(EditGateway, RecordText(FieldText(info.gateway)));
  SetDetailText(EditDNS, RecordText(FieldText(info.dns)));
  SetDetailText(EditDev, RecordText(FieldText(info.dev)));
  SetDetailText(EditNote, RecordText(FieldText(info.note)));
}

// "Detail Info.": the eleven fields of a device record, read-only.
#include "ui/info_form.h"

#include <QLineEdit>
#include <QPushButton>

#include "protocol/record_text.h"
#include "ui/detail_rows.h"

TFormInfo::TFormInfo(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("FormInfo"));
  setWindowTitle(QStringLiteral("Detail Info."));
  setFixedSize(242, 454);
  QLineEdit** edits[] = {&EditModel, &EditProj,    &EditName,    &EditIP,
                         &EditPort,  &EditNetmask, &EditMac,     &EditGateway,
                         &EditDNS,   &EditDev,     &EditNote};
  const char* captions[] = {"Model", "Projet", "Name", "IP",  "Port", "Netmask",
                            "Mac",   "Gateway", "DNS", "Dev", "Note"};
  const char* names[] = {"EditModel", "EditProj", "EditName", "EditIP",  "EditPort", "EditNetmask",
                         "EditMac",   "EditGateway", "EditDNS", "EditDev", "EditNote"};
  for (int i = 0; i < 11; ++i)
    *edits[i] = AddDetailRow(this, captions[i], names[i], 12 + 34 * i, 10, 70, 84, 146);
  BitBtn1 = AddDetailOkButton(this, 84 + 146 - 75, 12 + 34 * 11 + 8);
}

void TFormInfo::Fill(const tComUnitInfo& info) {
  EditModel->setText(RecordText(FieldText(info.model)));
  EditProj->setText(RecordText(FieldText(info.proj)));
  EditName->setText(RecordText(FieldText(info.name)));
  EditIP->setText(RecordText(FieldText(info.ip)));
  EditPort->setText(RecordText(FieldText(info.trigger_port)));
  EditNetmask->setText(RecordText(FieldText(info.netmask)));
  EditMac->setText(RecordText(FieldText(info.mac)));
  EditGateway->setText(RecordText(FieldText(info.gateway)));
  EditDNS->setText(RecordText(FieldText(info.dns)));
  EditDev->setText(RecordText(FieldText(info.dev)));
  EditNote->setText(RecordText(FieldText(info.note)));
}

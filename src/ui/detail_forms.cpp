// Layout of the two detail dialogs: a column of bold labels, a read-only
// (disabled) one-line edit beside each, an OK button under them.
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "protocol/record_text.h"
#include "ui/info_form.h"
#include "ui/upnp_info_form.h"

namespace {

QLineEdit* AddRow(QDialog* dialog, const char* caption, const char* edit_name, int top,
                  int label_left, int label_width, int edit_left, int edit_width) {
  auto* label = new QLabel(QString::fromUtf8(caption), dialog);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  label->setGeometry(label_left, top + 3, label_width, 17);
  auto* edit = new QLineEdit(dialog);
  edit->setObjectName(QString::fromLatin1(edit_name));
  edit->setGeometry(edit_left, top, edit_width, 22);
  edit->setReadOnly(true);
  edit->setEnabled(false);  // shown, not editable, not focusable
  label->setBuddy(edit);
  return edit;
}

QPushButton* AddOkButton(QDialog* dialog, int left, int top) {
  auto* button = new QPushButton(QStringLiteral("OK"), dialog);
  button->setObjectName(QStringLiteral("BitBtn1"));
  button->setGeometry(left, top, 75, 25);
  button->setDefault(true);
  QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
  return button;
}

}  // namespace

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
    *edits[i] = AddRow(this, captions[i], names[i], 12 + 34 * i, 10, 70, 84, 146);
  BitBtn1 = AddOkButton(this, 84 + 146 - 75, 12 + 34 * 11 + 8);
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

TForm1::TForm1(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Upnp Device Detail Info."));
  setFixedSize(479, 642);  // the client area; the frame is the platform's
  QLineEdit** edits[] = {&EditChild,     &EditDescription, &EditFriendName, &EditHasCh,
                         &EditIconURL,   &EditIsRooDev,    &EditManuName,   &EditManuURL,
                         &EditModelName, &EditModelNum,    &EditModelURL,   &EditParentDev,
                         &EditPresURL,   &EditRootDev,     &EditSeriaNum,   &EditService,
                         &EditType,      &EditUniqName,    &EditUPC};
  const char* captions[] = {"Child",        "Description",  "Friendlyname",     "HasChildren",
                            "IconURL",      "IsRootDevice", "ManufacturerName", "ManufacturerURL",
                            "ModelName",    "ModelNumber",  "ModelURL",         "ParentDevice",
                            "PresentationURL", "RootDevice", "SerialNumber",    "Services",
                            "Type",         "UniqueDeviceName", "UPC"};
  const char* names[] = {"EditChild",     "EditDescription", "EditFriendName", "EditHasCh",
                         "EditIconURL",   "EditIsRooDev",    "EditManuName",   "EditManuURL",
                         "EditModelName", "EditModelNum",    "EditModelURL",   "EditParentDev",
                         "EditPresURL",   "EditRootDev",     "EditSeriaNum",   "EditService",
                         "EditType",      "EditUniqName",    "EditUPC"};
  for (int i = 0; i < kDeviceInformationFieldCount; ++i)
    *edits[i] = AddRow(this, captions[i], names[i], 16 + 30 * i, 16, 140, 160, 300);
  BitBtn1 = AddOkButton(this, 160, 16 + 30 * kDeviceInformationFieldCount + 8);
  move(120, 60);  // its designed place, not centred on the owner
}

void TForm1::Fill(const DeviceInformationContainer& device) {
  QLineEdit* edits[] = {EditChild,     EditDescription, EditFriendName, EditHasCh,
                        EditIconURL,   EditIsRooDev,    EditManuName,   EditManuURL,
                        EditModelName, EditModelNum,    EditModelURL,   EditParentDev,
                        EditPresURL,   EditRootDev,     EditSeriaNum,   EditService,
                        EditType,      EditUniqName,    EditUPC};
  for (int i = 0; i < kDeviceInformationFieldCount; ++i)
    edits[i]->setText(RecordText(DeviceInformationField(device, i)));
}

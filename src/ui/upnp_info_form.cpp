// "Upnp Device Detail Info.": the nineteen texts of a UPnP device, read-only.
#include "ui/upnp_info_form.h"

#include <QLineEdit>
#include <QPushButton>

#include "protocol/record_text.h"
#include "ui/detail_rows.h"

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
    *edits[i] = AddDetailRow(this, captions[i], names[i], 16 + 30 * i, 16, 140, 160, 300);
  BitBtn1 = AddDetailOkButton(this, 160, 16 + 30 * kDeviceInformationFieldCount + 8);
  AddDetailCopy(this, 160 + 75 + 8, 16 + 30 * kDeviceInformationFieldCount + 8);
  move(120, 60);  // its designed place, not centred on the owner
}

void TForm1::Fill(const DeviceInformationContainer& device) {
  QLineEdit* edits[] = {EditChild,     EditDescription, EditFriendName, EditHasCh,
                        EditIconURL,   EditIsRooDev,    EditManuName,   EditManuURL,
                        EditModelName, EditModelNum,    EditModelURL,   EditParentDev,
                        EditPresURL,   EditRootDev,     EditSeriaNum,   EditService,
                        EditType,      EditUniqName,    EditUPC};
  for (int i = 0; i < kDeviceInformationFieldCount; ++i)
    SetDetailText(edits[i], RecordText(DeviceInformationField(device, i)));
}

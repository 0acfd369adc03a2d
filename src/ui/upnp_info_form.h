// "Upnp Device Detail Info.": the read-only dialog with the nineteen texts of
// a device found by the UPnP search, with a client area of 479 x 642 pixels.
// "Copy" and Ctrl+C copy the texts as "Label: value" lines.
#pragma once

#include <QDialog>

#include "upnp/device_information.h"

class QLineEdit;
class QPushButton;

class TForm1 : public QDialog {
 public:
  explicit TForm1(QWidget* owner);
  // Writes the record's nineteen texts into the edits, in record order.
  void Fill(const DeviceInformationContainer& device);

  QLineEdit* EditChild;
  QLineEdit* EditDescription;
  QLineEdit* EditFriendName;
  QLineEdit* EditHasCh;
  QLineEdit* EditIconURL;
  QLineEdit* EditIsRooDev;
  QLineEdit* EditManuName;
  QLineEdit* EditManuURL;
  QLineEdit* EditModelName;
  QLineEdit* EditModelNum;
  QLineEdit* EditModelURL;
  QLineEdit* EditParentDev;
  QLineEdit* EditPresURL;
  QLineEdit* EditRootDev;
  QLineEdit* EditSeriaNum;
  QLineEdit* EditService;
  QLineEdit* EditType;
  QLineEdit* EditUniqName;
  QLineEdit* EditUPC;
  QPushButton* BitBtn1;
};

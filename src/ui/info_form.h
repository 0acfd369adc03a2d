// "Detail Info.": the read-only dialog with the eleven fields of a device
// that answered the maker's own protocol, 242 x 454 pixels outside, frame
// included. "Copy" and Ctrl+C copy the fields as "Label: value" lines.
#pragma once

#include <QDialog>

#include "protocol/unit_info.h"

class QLineEdit;
class QPushButton;

class TFormInfo : public QDialog {
 public:
  explicit TFormInfo(QWidget* owner);
  // Writes the record's eleven fields into the edits.
  void Fill(const tComUnitInfo& info);

  QLineEdit* EditModel;
  QLineEdit* EditProj;
  QLineEdit* EditName;
  QLineEdit* EditIP;
  QLineEdit* EditPort;
  QLineEdit* EditNetmask;
  QLineEdit* EditMac;
  QLineEdit* EditGateway;
  QLineEdit* EditDNS;
  QLineEdit* EditDev;
  QLineEdit* EditNote;
  QPushButton* BitBtn1;
};

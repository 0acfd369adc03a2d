// TNetForm, the "Network Setup" dialog: shows one device's record, lets the
// user choose DHCP or a static address and sends the control package on
// "Apply". A thin view over NetSetupRules; message boxes go through
// ShowMessage.
//
// Focus-out checks of the four address edits run only when the focus moves
// to another control of this dialog other than ButtonClose, never while a
// check is already showing its message, never while the dialog is closing and
// never for a disabled edit: "Close", the close box and Escape always work,
// and switching to another window checks nothing. When a check sends the
// focus back after a mouse press, that press is swallowed, so the click that
// left the edit (on "Apply", a radio button, ...) does not take effect.
#pragma once

#include <QDialog>

#include "netsetup/net_setup_rules.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

class TNetForm : public QDialog {
  Q_OBJECT

 public:
  // `sender` and `log` must outlive the dialog.
  TNetForm(QWidget* owner, ControlPackageSender& sender, DebugLog& log);

  // What "Apply" checks a static address against (NetSetupRules::SetNeighbours).
  void SetNeighbours(AddressNeighbours neighbours) { rules_.SetNeighbours(std::move(neighbours)); }

  // Fills the edits from a record: Model, Project, Name, MAC, IP Address,
  // Netmask, Gateway, DNS, Dev, Port, each shown by RecordText. No radio
  // button is set.
  void Fill(const tComUnitInfo& info);
  // The edits' texts as record bytes (RecordBytes): an edit whose text is
  // unchanged gives the bytes it was filled from, so the control package
  // returns the device's untouched fields exactly.
  NetFormTexts Texts() const;
  QLineEdit* Edit(NetEdit edit) const { return edits_[static_cast<int>(edit)]; }

  // Handlers.
  void FormCreate();
  void ClickToChangeNetworkType();
  void IpEditExit(QLineEdit* edit);
  void LabeledEditModelEnter();
  void BtnApplyClick();
  void ButtonCloseClick();

  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* AddLabeledEdit(NetEdit edit, const char* object_name, QWidget* parent);
  int IndexOf(const QObject* edit) const;
  bool IsAddressEdit(int index) const;
  bool ShouldCheckOnExit(QLineEdit* edit, int reason) const;
  NetworkType CheckedType() const;

  NetSetupRules rules_;
  QLineEdit* edits_[kNetEditCount] = {};
  std::string shown_[kNetEditCount];  // the bytes each edit was filled from
  QLabel* labels_[kNetEditCount] = {};
  QGroupBox* group_box1_ = nullptr;
  QGroupBox* group_box2_ = nullptr;
  QWidget* network_panel_ = nullptr;
  QRadioButton* radio_dhcp_ = nullptr;
  QRadioButton* radio_static_ = nullptr;
  QRadioButton* radio_zonet_ = nullptr;
  QPushButton* button_apply_ = nullptr;
  QPushButton* button_close_ = nullptr;

  bool in_exit_check_ = false;  // a focus-out check is running
  bool closing_ = false;        // done() was called
  bool swallow_press_ = false;  // drop the mouse press that left an invalid edit
  bool refocused_ = false;      // the last exit check sent the focus back
};

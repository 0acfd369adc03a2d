// TReaddressForm, the "Network Setup for Selection" dialog: DHCP or static,
// start address (empty until typed), netmask, gateway, DNS and order for
// the selected devices, a preview of what each device is to become (updated
// as the user types; its columns fit their texts and Status takes the rest;
// at least 12 rows show at the first size), the line "N devices in the
// plan; M UPnP rows left out", "Apply" (disabled while the plan is refused,
// the reasons shown under the preview), then the progress of the sending, a
// countdown and the status of each device after the verification search. A
// thin view over ReaddressSession.
//
// The dialog is modeless: the main window stays usable. Closing it while
// packages go out sends the rest first; closing it during the countdown or
// the verification search cancels only the verification.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "netsetup/readdress_session.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;
class QTimer;

class TReaddressForm : public QDialog {
  Q_OBJECT

 public:
  // The preview's columns.
  enum Column { kMacColumn, kModelColumn, kNameColumn, kCurrentIpColumn, kNewIpColumn, kStatusColumn };

  // `own`: this PC's addresses, which no device is given. `sender`, `log`
  // and `search` must outlive the dialog.
  TReaddressForm(QWidget* owner, std::vector<PlanDevice> selected, std::vector<PlanDevice> listed,
                 std::vector<OwnAddress> own, ControlPackageSender& sender, DebugLog& log, PlanSearch& search);

  const ReaddressSession& Session() const { return session_; }
  // Called once the verification search has reported, with the plan, each
  // row's outcome and every device found (ReaddressSession::SetOnVerified).
  void SetOnVerified(std::function<void(const ReaddressPlan& plan, const std::vector<RowOutcome>& outcomes,
                                        const std::vector<PlanDevice>& found)>
                         verified);

  // How many selected rows were found by UPnP and left out of the plan (a
  // control package cannot reach them); 0 until set.
  void SetUpnpRowsLeftOut(int rows);

  // Handlers.
  void SettingsChanged();     // any setting edited: the plan and its preview anew
  void ButtonApplyClick();    // starts sending
  void SendStep();            // one package, then the next on the event loop
  void CountdownTick();       // one second of the countdown
  void ButtonCloseClick();

  void done(int result) override;

 private:
  void CreateControls();
  SequentialSettings ReadSettings() const;
  void Redraw();

  ReaddressSession session_;
  QRadioButton* radio_dhcp_ = nullptr;
  QRadioButton* radio_static_ = nullptr;
  QLineEdit* edit_start_ = nullptr;
  QLineEdit* edit_netmask_ = nullptr;
  QLineEdit* edit_gateway_ = nullptr;
  QLineEdit* edit_dns_ = nullptr;
  QComboBox* combo_order_ = nullptr;
  QSpinBox* spin_wait_ = nullptr;
  QTableWidget* preview_ = nullptr;
  QLabel* label_count_ = nullptr;
  QLabel* label_reasons_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* label_status_ = nullptr;
  QPushButton* button_apply_ = nullptr;
  QPushButton* button_close_ = nullptr;
  QTimer* countdown_ = nullptr;
  int upnp_left_out_ = 0;
  bool touched_ = false;  // a setting typed or chosen since the dialog opened
};

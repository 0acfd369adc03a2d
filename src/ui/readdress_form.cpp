// The "Network Setup for Selection" dialog: controls, layout and wiring.
#include "ui/readdress_form.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "protocol/record_text.h"
#include "protocol/shown_text.h"
#include "ui/apply_close_buttons.h"

namespace {

// The order combo box's entries, in PlanOrder's order.
const char* const kOrderNames[] = {"As listed", "By MAC", "By current address"};

}  // namespace

TReaddressForm::TReaddressForm(QWidget* owner, std::vector<PlanDevice> selected, std::vector<PlanDevice> listed,
                               std::vector<OwnAddress> own, ControlPackageSender& sender, DebugLog& log,
                               PlanSearch& search)
    : QDialog(owner), session_(std::move(selected), std::move(listed), std::move(own), sender, log, search) {
  setObjectName("ReaddressForm");
  setWindowTitle("Network Setup for Selection");
  setModal(false);
  CreateControls();

  const SequentialSettings& s = session_.Settings();
  radio_static_->setChecked(s.type == NetworkType::kStatic);
  radio_dhcp_->setChecked(s.type == NetworkType::kDhcp);
  edit_start_->setText(QString::fromStdString(s.start));
  edit_netmask_->setText(QString::fromStdString(s.netmask));
  edit_gateway_->setText(QString::fromStdString(s.gateway));
  edit_dns_->setText(QString::fromStdString(s.dns));

  connect(radio_static_, &QRadioButton::toggled, this, [this] { SettingsChanged(); });
  for (QLineEdit* edit : {edit_start_, edit_netmask_, edit_gateway_, edit_dns_})
    connect(edit, &QLineEdit::textChanged, this, [this] { SettingsChanged(); });
  connect(combo_order_, &QComboBox::currentIndexChanged, this, [this] { SettingsChanged(); });
  connect(button_apply_, &QPushButton::clicked, this, [this] { ButtonApplyClick(); });
  connect(button_close_, &QPushButton::clicked, this, [this] { ButtonCloseClick(); });
  connect(countdown_, &QTimer::timeout, this, [this] { CountdownTick(); });
  session_.SetOnChanged([this] { Redraw(); });
  Redraw();
}

void TReaddressForm::CreateControls() {
  auto* main_layout = new QVBoxLayout(this);

  auto* group = new QGroupBox("Network Property", this);
  group->setObjectName("GroupBox1");
  auto* form = new QFormLayout(group);
  auto* radio_row = new QHBoxLayout;
  radio_dhcp_ = new QRadioButton("DHCP", group);
  radio_dhcp_->setObjectName("RadioButtonDhcp");
  radio_static_ = new QRadioButton("Static IP", group);
  radio_static_->setObjectName("RadioButtonStatic");
  radio_row->addWidget(radio_dhcp_);
  radio_row->addWidget(radio_static_);
  radio_row->addStretch(1);
  form->addRow(radio_row);
  auto add_edit = [&](const char* caption, const char* name) {
    auto* edit = new QLineEdit(group);
    edit->setObjectName(name);
    form->addRow(caption, edit);
    return edit;
  };
  edit_start_ = add_edit("Start Address", "LabeledEditStart");
  edit_start_->setPlaceholderText("the first new address");
  edit_netmask_ = add_edit("Netmask", "LabeledEditNetmask");
  edit_gateway_ = add_edit("Gateway", "LabeledEditGateway");
  edit_dns_ = add_edit("DNS", "LabeledEditDNS");
  combo_order_ = new QComboBox(group);
  combo_order_->setObjectName("ComboBoxOrder");
  for (const char* name : kOrderNames) combo_order_->addItem(name);
  form->addRow("Order", combo_order_);
  spin_wait_ = new QSpinBox(group);
  spin_wait_->setObjectName("SpinBoxWait");
  spin_wait_->setRange(0, 3600);
  spin_wait_->setSuffix(" s");
  spin_wait_->setValue(ReaddressSession::kDefaultWaitSeconds);
  form->addRow("Verify after", spin_wait_);
  main_layout->addWidget(group);

  preview_ = new QTableWidget(0, 6, this);
  preview_->setObjectName("GridPreview");
  preview_->setHorizontalHeaderLabels({"MAC", "Model", "Name", "Current IP", "New IP", "Status"});
  preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  preview_->setSelectionMode(QAbstractItemView::NoSelection);
  preview_->verticalHeader()->hide();
  preview_->setWordWrap(false);
  // The texts' columns are fitted to their texts after each redraw (Redraw);
  // Status takes the rest.
  preview_->horizontalHeader()->setSectionResizeMode(kStatusColumn, QHeaderView::Stretch);
  preview_->horizontalHeader()->setResizeContentsPrecision(-1);  // every row, not the first thousand
  main_layout->addWidget(preview_, 1);

  label_count_ = new QLabel(this);
  label_count_->setObjectName("LabelCount");
  main_layout->addWidget(label_count_);

  label_reasons_ = new QLabel(this);
  label_reasons_->setObjectName("LabelReasons");
  label_reasons_->setWordWrap(true);
  label_reasons_->setTextFormat(Qt::PlainText);
  main_layout->addWidget(label_reasons_);

  auto* status_row = new QHBoxLayout;
  progress_ = new QProgressBar(this);
  progress_->setObjectName("ProgressBar");
  label_status_ = new QLabel(this);
  label_status_->setObjectName("LabelStatus");
  label_status_->setTextFormat(Qt::PlainText);
  status_row->addWidget(progress_, 1);
  status_row->addWidget(label_status_, 1);
  main_layout->addLayout(status_row);

  const ApplyCloseButtons buttons = AddApplyCloseButtons(this, main_layout);
  button_apply_ = buttons.apply;
  button_close_ = buttons.close;

  countdown_ = new QTimer(this);
  countdown_->setInterval(1000);
  // The first size shows kFirstRows rows of the preview.
  const int kFirstRows = 12;
  const int preview_height = preview_->horizontalHeader()->sizeHint().height() +
                             kFirstRows * preview_->verticalHeader()->defaultSectionSize() +
                             2 * preview_->frameWidth();
  const int others = main_layout->sizeHint().height() - preview_->sizeHint().height();
  // Never taller than the window it was opened from: the preview scrolls.
  const int height = others + preview_height;
  resize(std::max(720, main_layout->sizeHint().width()),
         parentWidget() != nullptr ? std::min(height, parentWidget()->height()) : height);
}

void TReaddressForm::SetUpnpRowsLeftOut(int rows) {
  upnp_left_out_ = rows;
  Redraw();
}

SequentialSettings TReaddressForm::ReadSettings() const {
  SequentialSettings s;
  s.type = radio_dhcp_->isChecked() ? NetworkType::kDhcp : NetworkType::kStatic;
  s.start = edit_start_->text().toStdString();
  s.netmask = edit_netmask_->text().toStdString();
  s.gateway = edit_gateway_->text().toStdString();
  s.dns = edit_dns_->text().toStdString();
  s.order = static_cast<PlanOrder>(combo_order_->currentIndex());
  return s;
}

void TReaddressForm::SetOnVerified(
    std::function<void(const ReaddressPlan&, const std::vector<RowOutcome>&, const std::vector<PlanDevice>&)>
        verified) {
  session_.SetOnVerified([this, verified = std::move(verified)](const std::vector<PlanDevice>& found) {
    if (verified) verified(session_.Plan(), session_.Outcomes(), found);
  });
}

void TReaddressForm::SettingsChanged() {
  touched_ = true;  // from now on the reasons show
  session_.SetSettings(ReadSettings());
}

void TReaddressForm::ButtonApplyClick() {
  if (!session_.Apply(spin_wait_->value())) return;
  QTimer::singleShot(0, this, [this] { SendStep(); });
}

void TReaddressForm::SendStep() {
  if (session_.SendNext()) {
    QTimer::singleShot(0, this, [this] { SendStep(); });
    return;
  }
  if (session_.CurrentStage() == ReaddressSession::Stage::kCountdown) countdown_->start();
}

void TReaddressForm::CountdownTick() {
  session_.Tick();
  if (session_.CurrentStage() != ReaddressSession::Stage::kCountdown) countdown_->stop();
}

void TReaddressForm::ButtonCloseClick() { close(); }

void TReaddressForm::done(int result) {
  // What was planned goes out whole; only the verification is given up.
  while (session_.SendNext()) {
  }
  countdown_->stop();
  session_.CancelVerification();
  QDialog::done(result);
}

void TReaddressForm::Redraw() {
  const ReaddressSession::Stage stage = session_.CurrentStage();
  const bool editing = stage == ReaddressSession::Stage::kEditing;
  const bool static_type = radio_static_->isChecked();
  for (QWidget* w : {static_cast<QWidget*>(radio_dhcp_), static_cast<QWidget*>(radio_static_),
                     static_cast<QWidget*>(combo_order_), static_cast<QWidget*>(spin_wait_)})
    w->setEnabled(editing);
  for (QLineEdit* edit : {edit_start_, edit_netmask_, edit_gateway_, edit_dns_})
    edit->setEnabled(editing && static_type);
  button_apply_->setEnabled(session_.CanApply());

  const std::vector<ReaddressSession::PreviewRow> rows = session_.Preview();
  preview_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const ReaddressSession::PreviewRow& row = rows[static_cast<std::size_t>(r)];
    const std::string* cells[] = {&row.mac, &row.model, &row.name, &row.current_ip, &row.new_ip, &row.status};
    for (int c = 0; c < 6; ++c) {
      QTableWidgetItem* item = preview_->item(r, c);
      if (item == nullptr) {
        item = new QTableWidgetItem;
        preview_->setItem(r, c, item);
      }
      item->setText(RecordText(*cells[c]));
    }
  }
  // Once per redraw: a header that fits its columns at every cell's change
  // takes seconds for a preview of two thousand rows.
  for (int c = kMacColumn; c < kStatusColumn; ++c) preview_->resizeColumnToContents(c);
  label_count_->setText(QString("%1 devices in the plan; %2 UPnP rows left out").arg(session_.Total()).arg(upnp_left_out_));
  // Reasons once something is typed or chosen, not before; a progress bar
  // once the packages go out.
  label_reasons_->setText(touched_ || !editing ? QString::fromStdString(ShownLines(session_.Reasons()))  // they quote typed and device text
                                               : QString());
  progress_->setVisible(!editing);
  progress_->setRange(0, session_.Total());
  progress_->setValue(session_.Sent() + session_.Failed());
  label_status_->setText(QString::fromStdString(session_.StatusLine()));
}

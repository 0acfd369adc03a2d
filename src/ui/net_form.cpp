// The Network Setup dialog: controls, layout and the handlers' wiring.
#include "ui/net_form.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "protocol/record_text.h"
#include "protocol/shown_text.h"
#include "ui/apply_close_buttons.h"
#include "ui/modal.h"

namespace {

// A notice quotes what was typed or what the device sent: shown by the
// shown-text rule, so that no control or bidi character of it acts.
void Show(QWidget* owner, const Notice& notice) {
  ShowMessage(owner, QString::fromStdString(ShownLines(notice.text)), RecordText(notice.caption));
}

const NetEdit kInfoEdits[] = {NetEdit::kModel, NetEdit::kProj, NetEdit::kName, NetEdit::kMac,
                              NetEdit::kDev, NetEdit::kPort};

}  // namespace

TNetForm::TNetForm(QWidget* owner, ControlPackageSender& sender, DebugLog& log)
    : QDialog(owner), rules_(sender, log) {
  setObjectName("NetForm");
  setWindowTitle("Network Setup");

  auto* main_layout = new QVBoxLayout(this);

  group_box2_ = new QGroupBox("Device Information", this);
  group_box2_->setObjectName("GroupBox2");
  auto* info_layout = new QFormLayout(group_box2_);
  const struct {
    NetEdit edit;
    const char* name;
  } info_edits[] = {{NetEdit::kModel, "LabeledEditModel"},
                    {NetEdit::kProj, "LabeledEditProj"},
                    {NetEdit::kName, "LabeledEditName"},
                    {NetEdit::kMac, "LabeledEditMac"}};
  for (const auto& entry : info_edits) {
    QLineEdit* edit = AddLabeledEdit(entry.edit, entry.name, group_box2_);
    info_layout->addRow(labels_[static_cast<int>(entry.edit)], edit);
  }
  main_layout->addWidget(group_box2_);

  group_box1_ = new QGroupBox("Network Property", this);
  group_box1_->setObjectName("GroupBox1");
  auto* property_layout = new QVBoxLayout(group_box1_);
  auto* radio_row = new QHBoxLayout;
  radio_dhcp_ = new QRadioButton("DHCP", group_box1_);
  radio_dhcp_->setObjectName("RadioButtonDhcp");
  radio_static_ = new QRadioButton("Static IP", group_box1_);
  radio_static_->setObjectName("RadioButtonStatic");
  radio_zonet_ = new QRadioButton("ZoNet", group_box1_);
  radio_zonet_->setObjectName("RadioButtonZonet");
  radio_zonet_->hide();
  for (QRadioButton* radio : {radio_dhcp_, radio_static_, radio_zonet_}) {
    radio_row->addWidget(radio);
    connect(radio, &QRadioButton::clicked, this, [this] { ClickToChangeNetworkType(); });
  }
  radio_row->addStretch(1);
  property_layout->addLayout(radio_row);

  network_panel_ = new QWidget(group_box1_);
  network_panel_->setObjectName("NetworkPropertyPanel");
  auto* panel_layout = new QFormLayout(network_panel_);
  panel_layout->setContentsMargins(0, 0, 0, 0);
  const struct {
    NetEdit edit;
    const char* name;
  } address_edits[] = {{NetEdit::kIp, "LabeledEditIP"},
                       {NetEdit::kGateway, "LabeledEditGateway"},
                       {NetEdit::kNetmask, "LabeledEditNetmask"},
                       {NetEdit::kDns, "LabeledEditDNS"}};
  for (const auto& entry : address_edits) {
    QLineEdit* edit = AddLabeledEdit(entry.edit, entry.name, network_panel_);
    panel_layout->addRow(labels_[static_cast<int>(entry.edit)], edit);
  }
  property_layout->addWidget(network_panel_);
  main_layout->addWidget(group_box1_);

  const ApplyCloseButtons buttons = AddApplyCloseButtons(this, main_layout);
  button_apply_ = buttons.apply;
  button_close_ = buttons.close;
  button_apply_->installEventFilter(this);
  button_close_->installEventFilter(this);
  connect(button_apply_, &QPushButton::clicked, this, [this] { BtnApplyClick(); });
  connect(button_close_, &QPushButton::clicked, this, [this] { ButtonCloseClick(); });

  // Carried through the dialog only: hidden, disabled, outside the layout.
  AddLabeledEdit(NetEdit::kDev, "LabeledEditDev", this);
  AddLabeledEdit(NetEdit::kPort, "LabeledEditPort", this);
  for (NetEdit edit : {NetEdit::kDev, NetEdit::kPort}) {
    edits_[static_cast<int>(edit)]->setEnabled(false);
    edits_[static_cast<int>(edit)]->hide();
    labels_[static_cast<int>(edit)]->hide();
  }

  // Model, Project, Name and MAC can be seen, not entered: grey text, and
  // entering one moves the focus to "Close".
  for (NetEdit edit : kInfoEdits) {
    QLineEdit* line = edits_[static_cast<int>(edit)];
    line->setReadOnly(true);
    QPalette palette = line->palette();
    palette.setColor(QPalette::Text, Qt::gray);
    line->setPalette(palette);
  }
  for (QRadioButton* radio : {radio_dhcp_, radio_static_, radio_zonet_})
    radio->installEventFilter(this);

  setTabOrder(edits_[static_cast<int>(NetEdit::kIp)], edits_[static_cast<int>(NetEdit::kGateway)]);
  setTabOrder(edits_[static_cast<int>(NetEdit::kGateway)],
              edits_[static_cast<int>(NetEdit::kNetmask)]);
  setTabOrder(edits_[static_cast<int>(NetEdit::kNetmask)], edits_[static_cast<int>(NetEdit::kDns)]);
  setTabOrder(edits_[static_cast<int>(NetEdit::kDns)], button_apply_);
  setTabOrder(button_apply_, button_close_);

  // One label column width for both groups, so that the edits line up.
  int label_width = 0;
  for (QLabel* label : labels_) label_width = std::max(label_width, label->sizeHint().width());
  for (QLabel* label : labels_) label->setMinimumWidth(label_width);

  setMinimumWidth(360);
  FormCreate();
}

QLineEdit* TNetForm::AddLabeledEdit(NetEdit edit, const char* object_name, QWidget* parent) {
  const int i = static_cast<int>(edit);
  auto* line = new QLineEdit(parent);
  line->setObjectName(object_name);
  auto* label = new QLabel(NetSetupRules::Caption(edit), parent);
  label->setObjectName(QString(object_name) + "Label");
  label->setBuddy(line);
  line->installEventFilter(this);
  edits_[i] = line;
  labels_[i] = label;
  return line;
}

void TNetForm::Fill(const tComUnitInfo& info) {
  const NetEdit order[] = {NetEdit::kModel, NetEdit::kProj,    NetEdit::kName,
                           NetEdit::kMac,   NetEdit::kIp,      NetEdit::kNetmask,
                           NetEdit::kGateway, NetEdit::kDns,   NetEdit::kDev,
                           NetEdit::kPort};
  for (NetEdit edit : order) {
    const int field = NetSetupRules::FieldOf(edit);
    const char* text = UnitField(info, field);
    std::size_t n = 0;
    while (n < UnitFieldWidth(field) && text[n] != '\0') ++n;
    std::string& shown = shown_[static_cast<int>(edit)];
    shown.assign(text, n);
    Edit(edit)->setText(RecordText(shown));
  }
}

NetFormTexts TNetForm::Texts() const {
  NetFormTexts texts;
  for (int i = 0; i < kNetEditCount; ++i) texts.text[i] = RecordBytes(edits_[i]->text(), shown_[i]);
  return texts;
}

int TNetForm::IndexOf(const QObject* edit) const {
  for (int i = 0; i < kNetEditCount; ++i)
    if (edits_[i] == edit) return i;
  return -1;
}

bool TNetForm::IsAddressEdit(int index) const {
  NetEdit edit = static_cast<NetEdit>(index);
  return edit == NetEdit::kIp || edit == NetEdit::kGateway || edit == NetEdit::kNetmask ||
         edit == NetEdit::kDns;
}

NetworkType TNetForm::CheckedType() const {
  return NetSetupRules::ChooseNetworkType(radio_static_->isChecked(), radio_dhcp_->isChecked(),
                                          radio_zonet_->isChecked());
}

void TNetForm::FormCreate() { ClickToChangeNetworkType(); }

void TNetForm::ClickToChangeNetworkType() {
  const bool enabled = NetSetupRules::NetworkEditsEnabled(
      radio_static_->isChecked(), radio_dhcp_->isChecked(), radio_zonet_->isChecked());
  for (NetEdit edit : {NetEdit::kIp, NetEdit::kNetmask, NetEdit::kGateway, NetEdit::kDns})
    Edit(edit)->setEnabled(enabled);
}

void TNetForm::IpEditExit(QLineEdit* edit) {
  const int index = IndexOf(edit);
  if (index < 0 || !IsAddressEdit(index) || in_exit_check_ || closing_) return;
  in_exit_check_ = true;
  NetSetupRules::ExitCheck check =
      NetSetupRules::CheckAddressExit(static_cast<NetEdit>(index), Texts());
  if (!check.notice.Empty()) {
    Show(this, check.notice);
    if (check.refocus && !closing_) {
      edit->setFocus(Qt::OtherFocusReason);
      edit->selectAll();
      refocused_ = true;
    }
  }
  in_exit_check_ = false;
}

void TNetForm::LabeledEditModelEnter() { button_close_->setFocus(Qt::OtherFocusReason); }

void TNetForm::BtnApplyClick() {
  NetSetupRules::ApplyResult result = rules_.Apply(CheckedType(), Texts());
  if (!result.notice.Empty()) Show(this, result.notice);
  if (result.close) {
    accept();
    return;
  }
  if (result.has_focus && Edit(result.focus)->isEnabled()) Edit(result.focus)->setFocus();
}

void TNetForm::ButtonCloseClick() { reject(); }

void TNetForm::done(int result) {
  closing_ = true;
  QDialog::done(result);
}

bool TNetForm::ShouldCheckOnExit(QLineEdit* edit, int reason) const {
  if (in_exit_check_ || closing_ || !edit->isEnabled()) return false;
  // Focus leaving for another window (a message box, another program) is no exit.
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason) return false;
  // During a focus-out, the application's focus widget is already the new one.
  QWidget* next = QApplication::focusWidget();
  if (next == nullptr || next == button_close_ || !isAncestorOf(next)) return false;
  return true;
}

bool TNetForm::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::FocusOut: {
      const int index = IndexOf(watched);
      if (index < 0 || !IsAddressEdit(index)) break;
      auto* edit = static_cast<QLineEdit*>(watched);
      const int reason = static_cast<QFocusEvent*>(event)->reason();
      if (!ShouldCheckOnExit(edit, reason)) break;
      refocused_ = false;
      IpEditExit(edit);
      if (refocused_ && reason == Qt::MouseFocusReason) {
        // The press that moved the focus is delivered right after this event.
        swallow_press_ = true;
        QTimer::singleShot(0, this, [this] { swallow_press_ = false; });
      }
      break;
    }
    case QEvent::FocusIn: {
      const int index = IndexOf(watched);
      if (index >= 0 && !IsAddressEdit(index)) LabeledEditModelEnter();
      break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (swallow_press_) {
        swallow_press_ = false;
        return true;
      }
      break;
    default:
      break;
  }
  return QDialog::eventFilter(watched, event);
}

// The strip below the grid: its controls and its line of messages.
#include "app/window_strip.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/window_layout.h"
#include "ui/remembered_settings.h"

namespace {

// The filter's edit: 240 pixels wide where there is room, down to a dozen
// characters in a narrow window.
class FilterLineEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;
  QSize sizeHint() const override { return QLineEdit::sizeHint().expandedTo(QSize(240, 0)); }
};

// A note that takes the room it is given and elides its middle to fit; its
// tooltip holds it in full. It adds nothing to the strip's least width.
class NoteText : public QLabel {
 public:
  explicit NoteText(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  }
  void SetNote(const QString& note) {
    setToolTip(note);
    Elide();
  }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    Elide();
  }

 private:
  void Elide() { setText(fontMetrics().elidedText(toolTip(), Qt::ElideMiddle, std::max(width(), 0))); }
};

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

}  // namespace

WindowStrip::WindowStrip(QWidget* parent) : QFrame(parent) {
  setObjectName("Panel2");
  setFrameShape(QFrame::NoFrame);
  setAutoFillBackground(true);
  FilterLabel = Named(new QLabel("Filter", this), "FilterLabel");
  FilterEdit = Named(new FilterLineEdit(this), "FilterEdit");
  FilterEdit->setPlaceholderText("Filter");
  FilterEdit->setClearButtonEnabled(true);
  FilterEdit->setMinimumWidth(FilterEdit->fontMetrics().horizontalAdvance(QString(12, QChar('x'))));
  FilterLabel->setBuddy(FilterEdit);
  WarningsButton = Named(new QToolButton(this), "WarningsButton");
  WarningsButton->setText("0 warning(s)");
  WarningsButton->setToolTip("Show only the rows with warnings");
  WarningsButton->setCheckable(true);
  WarningsButton->setAutoRaise(true);
  WarningsButton->setEnabled(false);
  WatchCheck = Named(new QCheckBox("Watch", this), "WatchCheck");
  WatchCheck->setToolTip("Search again every interval and mark devices that come, change or go");
  WatchInterval = Named(new QSpinBox(this), "WatchInterval");
  WatchInterval->setRange(kLeastWatchSeconds, kMostWatchSeconds);
  WatchInterval->setValue(kDefaultWatchSeconds);
  WatchInterval->setSuffix(" s");
  WatchInterval->setToolTip("How often the watch searches");
  CompareButton = Named(new QPushButton("Compare...", this), "CompareButton");
  CompareButton->setToolTip("Compare the devices with a list saved earlier");
  ClearCompareButton = Named(new QPushButton("Clear comparison", this), "ClearCompareButton");
  ClearCompareButton->setEnabled(false);
  ExportButton = Named(new QPushButton("Export...", this), "ExportButton");
  LogButton = Named(new QPushButton("Log", this), "LogButton");

  CreateMessageLine();

  auto* lines = new QVBoxLayout(this);
  lines->setContentsMargins(8, 2, 8, 2);
  lines->setSpacing(0);
  controls_ = new QHBoxLayout;
  lines->addLayout(controls_);
  lines->addWidget(messages_);
  controls_->addWidget(FilterLabel);
  controls_->addWidget(FilterEdit);
  controls_->addStretch(1);  // the free room
  for (QWidget* w : std::initializer_list<QWidget*>{WarningsButton, WatchCheck, WatchInterval, CompareButton,
                                                    ClearCompareButton, ExportButton, LogButton})
    controls_->addWidget(w);

  note_timer_ = new QTimer(this);
  note_timer_->setObjectName("NoteTimer");
  note_timer_->setSingleShot(true);
  note_timer_->setInterval(kStripNoteMs);
  connect(note_timer_, &QTimer::timeout, this, [this] {
    static_cast<NoteText*>(NoteLabel)->SetNote("");
    MessagesChanged();
  });
}

void WindowStrip::CreateMessageLine() {
  messages_ = new QWidget(this);
  messages_->setObjectName("StripMessages");
  messages_->setFixedHeight(kStripMessageHeight);
  NoteLabel = Named(new NoteText(messages_), "NoteLabel");
  WatchLabel = Named(new QLabel(messages_), "WatchLabel");
  WatchLabel->setTextFormat(Qt::PlainText);
  auto* message_line = new QHBoxLayout(messages_);
  message_line->setContentsMargins(0, 0, 0, 0);
  message_line->addWidget(NoteLabel, 1);
  message_line->addWidget(WatchLabel);
  messages_->hide();
}

void WindowStrip::ShowNote(const QString& note) {
  static_cast<NoteText*>(NoteLabel)->SetNote(note);
  note_timer_->start();
  MessagesChanged();
}

void WindowStrip::SetWatching(const QString& text) {
  if (WatchLabel->text() == text) return;
  WatchLabel->setText(text);
  MessagesChanged();
}

int WindowStrip::WantedHeight() const { return kStripHeight + (messages_->isHidden() ? 0 : kStripMessageHeight); }

void WindowStrip::MessagesChanged() {
  const bool wanted = !NoteLabel->toolTip().isEmpty() || !WatchLabel->text().isEmpty();
  if (wanted == !messages_->isHidden()) return;
  messages_->setVisible(wanted);
  if (height_changed_) height_changed_();
}

// The debug log's window.
#include "ui/log_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

#include "protocol/record_text.h"
#include "protocol/shown_text.h"
#include "protocol/string_printf.h"
#include "ui/modal.h"
#include "ui/save_file.h"

QString LogLineText(const std::string& entry) {
  std::string_view line = entry;
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return RecordText(line);
}

StampedLog::StampedLog(std::size_t capacity, std::size_t max_entry_bytes, Clock now)
    : BoundedLog(capacity, max_entry_bytes), now_(now ? std::move(now) : [] { return QDateTime::currentDateTime(); }) {}

void StampedLog::Append(const std::string& line) {
  BoundedLog::Append(line);
  times_.push_back(now_());
  while (times_.size() > Size()) times_.pop_front();
}

void StampedLog::Clear() {
  BoundedLog::Clear();
  times_.clear();
}

QString StampedLineText(const QDateTime& time, const std::string& entry, bool with_date) {
  return time.toString(with_date ? QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz") : QStringLiteral("hh:mm:ss.zzz")) +
         QStringLiteral("  ") + LogLineText(entry);
}

TLogForm::TLogForm(QWidget* owner, StampedLog& log) : QWidget(owner, Qt::Window), log_(log) {
  setObjectName("LogForm");
  setWindowTitle("Debug Log");
  resize(720, 420);
  DroppedLabel = new QLabel(this);
  DroppedLabel->setObjectName("DroppedLabel");
  DroppedLabel->hide();
  LogText = new QPlainTextEdit(this);
  LogText->setObjectName("LogText");
  LogText->setReadOnly(true);
  LogText->setLineWrapMode(QPlainTextEdit::NoWrap);
  LogText->setMaximumBlockCount(static_cast<int>(log_.Capacity()));
  SaveButton = new QPushButton("Save...", this);
  SaveButton->setObjectName("SaveButton");
  ClearButton = new QPushButton("Clear", this);
  ClearButton->setObjectName("ClearButton");

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(SaveButton);
  buttons->addWidget(ClearButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(DroppedLabel);
  layout->addWidget(LogText);
  layout->addLayout(buttons);

  connect(SaveButton, &QPushButton::clicked, this, &TLogForm::SaveButtonClick);
  connect(ClearButton, &QPushButton::clicked, this, &TLogForm::ClearButtonClick);
  connect(new QShortcut(Qt::Key_Escape, this), &QShortcut::activated, this, &QWidget::close);
  // Following the end: the user's scrolling decides whether the view stands
  // there; while it does, every growth of the text (new lines, and a layout
  // that settles after showing) moves it to the new end.
  QScrollBar* bar = LogText->verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) { following_ = value >= bar->maximum(); });
  connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
    if (following_) bar->setValue(maximum);
  });
}

void TLogForm::EntryAppended(const std::string& entry) {
  if (!isVisible()) return;
  LogText->appendPlainText(StampedLineText(log_.LastTime(), entry, false));
  ShowDropped();
}

QString TLogForm::SaveTo(const QString& path) const {
  QByteArray text;
  const std::vector<std::string> lines = log_.Lines();
  const std::vector<QDateTime> times = log_.Times();
  for (std::size_t i = 0; i < lines.size(); ++i)
    text += times[i].toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toUtf8() + "  " +
            QByteArray::fromStdString(ShownLogEntry(lines[i]));
  return WriteWholeFile(path, text);
}

void TLogForm::SaveButtonClick() {
  const QString path = AskSaveFileName(this, "Save Log", "device-search.log", "Log files (*.log);;All files (*)");
  if (path.isEmpty()) return;
  const QString reason = SaveTo(path);
  if (!reason.isEmpty()) ShowMessage(this, "The log could not be saved to " + path + ": " + reason, "Error");
}

void TLogForm::ClearButtonClick() {
  log_.Clear();
  Reload();
}

void TLogForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Reload();
}

void TLogForm::Reload() {
  QStringList lines;
  const std::vector<std::string> entries = log_.Lines();
  const std::vector<QDateTime> times = log_.Times();
  for (std::size_t i = 0; i < entries.size(); ++i) lines << StampedLineText(times[i], entries[i], false);
  LogText->setPlainText(lines.join('\n'));
  LogText->moveCursor(QTextCursor::End);
  following_ = true;
  LogText->verticalScrollBar()->setValue(LogText->verticalScrollBar()->maximum());
  ShowDropped();
}

void TLogForm::ShowDropped() {
  const std::size_t dropped = log_.Dropped();
  DroppedLabel->setVisible(dropped > 0);
  if (dropped > 0)
    DroppedLabel->setText(QString::fromStdString(
        StringPrintf("Only the last %zu lines are kept: %zu older lines were dropped.", log_.Capacity(), dropped)));
}

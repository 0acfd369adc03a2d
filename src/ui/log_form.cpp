// The debug log's window.
#include "ui/log_form.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
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

TLogForm::TLogForm(QWidget* owner, BoundedLog& log) : QWidget(owner, Qt::Window), log_(log) {
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
}

void TLogForm::EntryAppended(const std::string& entry) {
  if (!isVisible()) return;
  LogText->appendPlainText(LogLineText(entry));
  ShowDropped();
}

QString TLogForm::SaveTo(const QString& path) const {
  QByteArray text;
  for (const std::string& entry : log_.Lines()) text += QByteArray::fromStdString(ShownLogEntry(entry));
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
  for (const std::string& entry : log_.Lines()) lines << LogLineText(entry);
  LogText->setPlainText(lines.join('\n'));
  LogText->moveCursor(QTextCursor::End);
  ShowDropped();
}

void TLogForm::ShowDropped() {
  const std::size_t dropped = log_.Dropped();
  DroppedLabel->setVisible(dropped > 0);
  if (dropped > 0)
    DroppedLabel->setText(QString::fromStdString(
        StringPrintf("Only the last %zu lines are kept: %zu older lines were dropped.", log_.Capacity(), dropped)));
}

// The debug log's window ("Log" in the main window): shows the log as it
// grows, saves it to a file ("Save...") and clears it ("Clear"). It is not
// modal. The log keeps only its last lines (BoundedLog); when older ones were
// dropped, the window says so above the text.
#pragma once

#include <QString>
#include <QWidget>
#include <string>

#include "protocol/debug_log.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

// A log entry as a line of text: its trailing line feed dropped, its bytes
// read as a record's texts are (RecordText).
QString LogLineText(const std::string& entry);

class TLogForm : public QWidget {
  Q_OBJECT
 public:
  // A window of its own that belongs to `owner` (it closes with it). `log`
  // must outlive it; its Clear() is what "Clear" calls.
  TLogForm(QWidget* owner, BoundedLog& log);

  // The owner calls this after each entry the log took; a hidden window
  // reads the whole log again when it is shown.
  void EntryAppended(const std::string& entry);
  // Writes every entry kept, one line each, in UTF-8, as ShownLogEntry shows
  // it (a device's controls escaped). Result: "" when the file was written,
  // else the reason.
  QString SaveTo(const QString& path) const;

  QLabel* DroppedLabel;
  QPlainTextEdit* LogText;
  QPushButton* SaveButton;
  QPushButton* ClearButton;

 public slots:
  void SaveButtonClick();
  void ClearButtonClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Reload();
  void ShowDropped();

  BoundedLog& log_;
};

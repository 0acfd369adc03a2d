// The debug log's window ("Log" in the main window): shows the log as it
// grows, each entry after the time it came, and follows new entries while
// it is scrolled to the end; saves it to a file ("Save...", the date added
// to each time) and clears it ("Clear"); Escape closes it. It is not modal.
// The log keeps only its last lines (StampedLog); when older ones were
// dropped, the window says so above the text.
#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "protocol/debug_log.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

// A log entry as a line of text: its trailing line feed dropped, its bytes
// read as a record's texts are (RecordText).
QString LogLineText(const std::string& entry);

// A bounded log that notes the local time at which each entry came. Entries
// and times are kept and dropped together. On one thread.
class StampedLog : public BoundedLog {
 public:
  using Clock = std::function<QDateTime()>;
  // `now` gives the time of each entry (by default the clock's).
  StampedLog(std::size_t capacity, std::size_t max_entry_bytes, Clock now = {});
  void Append(const std::string& line) override;
  void Clear() override;
  // The time of each entry kept, in the order of Lines().
  std::vector<QDateTime> Times() const { return {times_.begin(), times_.end()}; }
  // The time of the last entry kept (the current time when none is).
  QDateTime LastTime() const { return times_.empty() ? now_() : times_.back(); }

 private:
  Clock now_;
  std::deque<QDateTime> times_;
};

// An entry as the window shows it, "hh:mm:ss.zzz  text", or as a saved
// file holds it, "yyyy-MM-dd hh:mm:ss.zzz  text".
QString StampedLineText(const QDateTime& time, const std::string& entry, bool with_date);

class TLogForm : public QWidget {
  Q_OBJECT
 public:
  // A window of its own that belongs to `owner` (it closes with it). `log`
  // must outlive it; its Clear() is what "Clear" calls.
  TLogForm(QWidget* owner, StampedLog& log);

  // The owner calls this after each entry the log took; a hidden window
  // reads the whole log again when it is shown.
  void EntryAppended(const std::string& entry);
  // Writes every entry kept, one line each after its date and time, in
  // UTF-8, as ShownLogEntry shows it (a device's controls escaped).
  // Result: "" when the file was written, else the reason.
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

  StampedLog& log_;
  bool following_ = true;  // the view stands at the end and stays there
};

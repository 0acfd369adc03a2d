// The strip below the grid: a line of controls (the row filter, the
// warnings' button, "Watch" and its interval, "Compare...", "Clear
// comparison", "Export...", "Log") and, while there is something to say, a
// line of messages under it: a note that shows for kStripNoteMs ("Exported N
// rows to FILE", "Compared with FILE: ..."), and the watch's account of its
// last round ("Watching: N new, N changed, N gone"). The strip is as high as
// its lines (WantedHeight); the window lays out the grid above it.
#pragma once

#include <QFrame>
#include <QString>
#include <functional>

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class QToolButton;

// A note in the strip (after an export or a comparison) shows this long.
constexpr int kStripNoteMs = 5000;
// The line of messages under the controls is this high.
constexpr int kStripMessageHeight = 20;

class WindowStrip : public QFrame {
 public:
  explicit WindowStrip(QWidget* parent);

  // Shows `note` for kStripNoteMs (elided in the middle where it must be,
  // in full as its tooltip).
  void ShowNote(const QString& note);
  // The watch's account, until the next ("" while not watching).
  void SetWatching(const QString& text);
  // The strip's height: the controls' line, and the messages' line while
  // there is a note or an account.
  int WantedHeight() const;
  // Called when WantedHeight() changes.
  void SetOnHeightChanged(std::function<void()> changed) { height_changed_ = std::move(changed); }
  // The controls' line, where a control is added before "Export...".
  QHBoxLayout* Controls() const { return controls_; }

  QLabel* FilterLabel;
  QLineEdit* FilterEdit;
  QToolButton* WarningsButton;  // "N warning(s)"; pressed, only rows with notes show
  QCheckBox* WatchCheck;        // "Watch"
  QSpinBox* WatchInterval;      // its interval in seconds
  QPushButton* CompareButton;       // "Compare..."
  QPushButton* ClearCompareButton;  // "Clear comparison", while one is shown
  QPushButton* ExportButton;
  QPushButton* LogButton;
  QLabel* NoteLabel;   // the note; in full as its tooltip
  QLabel* WatchLabel;  // the watch's account

 private:
  void CreateMessageLine();
  void MessagesChanged();

  QHBoxLayout* controls_;
  QWidget* messages_;
  QTimer* note_timer_;
  std::function<void()> height_changed_;
};

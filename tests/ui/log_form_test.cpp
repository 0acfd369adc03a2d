// The debug log's window: lines as the log grows, each after its time, the
// bound on what is kept (said in the window once older lines were dropped),
// following the end, "Save..." (with the date), "Clear" and Escape.
#include "ui/log_form.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>

#include "ui/modal.h"
#include "widget_app.h"

namespace {

// A log that tells the window of each entry, as the main window's does; its
// clock starts at 2026-12-08 09:30:00.000 and each entry comes a second
// after the one before.
struct WatchedLog : StampedLog {
  explicit WatchedLog(std::size_t capacity)
      : StampedLog(capacity, 1024, [this] { return QDateTime(QDate(2026, 12, 8), QTime(9, 30)).addSecs(ticks++); }) {}
  void Append(const std::string& line) override {
    StampedLog::Append(line);
    if (form != nullptr) form->EntryAppended(line);
  }
  TLogForm* form = nullptr;
  int ticks = 0;
};

QString ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString("(unreadable)");
}

}  // namespace

TEST(LogForm, ShowsTheLogAsItGrowsAndSavesAndClearsIt) {
  EnsureWidgetApplication();
  WatchedLog log(100);
  log.Append("Col[0] - (114, 114)\n");
  log.Append("caf\xe9");  // Latin-1 from a device, no line feed
  TLogForm form(nullptr, log);
  log.form = &form;
  log.Append("while hidden\n");  // read when the window is shown
  form.show();
  EXPECT_EQ(form.LogText->toPlainText(),
            "09:30:00.000  Col[0] - (114, 114)\n09:30:01.000  caf\u00e9\n09:30:02.000  while hidden");
  log.Append("UPnP: 2 devices\n");
  EXPECT_EQ(form.LogText->toPlainText().split('\n').back(), "09:30:03.000  UPnP: 2 devices");
  log.Append("IP(\x1b]0;pwned\x07)\nsecond\n");  // a device's controls, a line feed inside
  EXPECT_FALSE(form.DroppedLabel->isVisibleTo(&form));

  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("saved.log");
  SetSaveFileHook([&](const QString&, QString*) { return path; });
  form.SaveButton->click();
  SetSaveFileHook(nullptr);
  // The file shows the controls escaped; each entry's own line feed stays.
  EXPECT_EQ(ReadAll(path),
            "2026-12-08 09:30:00.000  Col[0] - (114, 114)\n2026-12-08 09:30:01.000  caf\u00e9\n"
            "2026-12-08 09:30:02.000  while hidden\n2026-12-08 09:30:03.000  UPnP: 2 devices\n"
            "2026-12-08 09:30:04.000  IP(\\x1b]0;pwned\\x07)\\x0asecond\n");

  // A file that cannot be written is said in a message box.
  std::vector<std::string> messages;
  SetMessageHook([&](QWidget*, const QString& text, const QString& caption) {
    messages.push_back((caption + "|" + text).toStdString());
  });
  SetSaveFileHook([&](const QString&, QString*) { return dir.filePath("no/such/folder/saved.log"); });
  form.SaveButton->click();
  SetSaveFileHook(nullptr);
  SetMessageHook(nullptr);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].starts_with("Error|The log could not be saved to ")) << messages[0];

  form.ClearButton->click();
  EXPECT_EQ(log.Size(), 0u);
  EXPECT_EQ(form.LogText->toPlainText(), "");
  log.Append("after the clear\n");
  EXPECT_EQ(form.LogText->toPlainText(), "09:30:05.000  after the clear");
}

// The window's log keeps 10,000 lines; beyond them the oldest go, the view
// keeps the same lines, and the window says how many were dropped.
TEST(LogForm, KeepsTheLastTenThousandLinesAndSaysSo) {
  EnsureWidgetApplication();
  WatchedLog log(10000);
  TLogForm form(nullptr, log);
  log.form = &form;
  form.show();
  for (int i = 0; i < 10000; ++i) log.Append("line " + std::to_string(i) + "\n");
  EXPECT_FALSE(form.DroppedLabel->isVisibleTo(&form));
  for (int i = 10000; i < 12500; ++i) log.Append("line " + std::to_string(i) + "\n");
  EXPECT_EQ(log.Size(), 10000u);
  EXPECT_EQ(log.Lines().front(), "line 2500\n");
  EXPECT_EQ(form.LogText->document()->blockCount(), 10000);
  EXPECT_TRUE(form.LogText->document()->firstBlock().text().endsWith("  line 2500"));
  EXPECT_TRUE(form.LogText->document()->lastBlock().text().endsWith("  line 12499"));
  EXPECT_TRUE(form.DroppedLabel->isVisibleTo(&form));
  EXPECT_EQ(form.DroppedLabel->text(), "Only the last 10000 lines are kept: 2500 older lines were dropped.");

  // Shown again, it reads the same lines from the log.
  form.hide();
  log.Append("line 12500\n");
  form.show();
  EXPECT_EQ(form.LogText->document()->blockCount(), 10000);
  EXPECT_TRUE(form.LogText->document()->firstBlock().text().endsWith("  line 2501"));
  EXPECT_EQ(form.DroppedLabel->text(), "Only the last 10000 lines are kept: 2501 older lines were dropped.");
}

// New entries scroll the view while it stands at the end, and leave it
// where it is while the user reads further up; Escape closes the window.
TEST(LogForm, FollowsTheEndOnlyFromTheEndAndClosesOnEscape) {
  EnsureWidgetApplication();
  WatchedLog log(1000);
  TLogForm form(nullptr, log);
  log.form = &form;
  for (int i = 0; i < 200; ++i) log.Append("before " + std::to_string(i) + "\n");
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QScrollBar* bar = form.LogText->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum());
  for (int i = 0; i < 50; ++i) log.Append("more " + std::to_string(i) + "\n");
  QApplication::processEvents();
  EXPECT_EQ(bar->value(), bar->maximum());

  bar->setValue(10);
  for (int i = 0; i < 50; ++i) log.Append("while reading " + std::to_string(i) + "\n");
  QApplication::processEvents();
  EXPECT_EQ(bar->value(), 10);

  QApplication::setActiveWindow(&form);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(form.LogText, Qt::Key_Escape);
  EXPECT_FALSE(form.isVisible());
}

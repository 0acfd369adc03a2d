// A message box shows its text as plain text: a device's text in a notice
// ("Invalid IP Address - [...]") is never read as HTML.
#include "ui/modal.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>

#include "widget_app.h"

TEST(Modal, MessageBoxShowsTagsAsText) {
  EnsureWidgetApplication();
  const QString text = "Invalid IP Address - [<b>x</b>]";
  QString shown;
  Qt::TextFormat format = Qt::AutoText;
  // Read the box once its modal loop runs, then close it.
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(w);
      if (box == nullptr || !box->isVisible()) continue;
      if (auto* label = box->findChild<QLabel*>("qt_msgbox_label")) {
        shown = label->text();
        format = label->textFormat();
      }
      box->done(0);
    }
  });
  ShowMessage(nullptr, text, "Warning");
  EXPECT_EQ(shown, text);
  EXPECT_EQ(format, Qt::PlainText);
}

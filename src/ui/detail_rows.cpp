// Label-and-edit rows, OK and Copy of the detail dialogs, and their size.
#include "ui/detail_rows.h"

#include <QClipboard>
#include <QDialog>
#include <QEvent>
#include <QFont>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QShortcut>
#include <algorithm>
#include <cmath>

namespace {

double Luminance(const QColor& c) {
  auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

QColor Blend(const QColor& from, const QColor& to, double t) {
  return QColor::fromRgbF(static_cast<float>(from.redF() + (to.redF() - from.redF()) * t),
                          static_cast<float>(from.greenF() + (to.greenF() - from.greenF()) * t),
                          static_cast<float>(from.blueF() + (to.blueF() - from.blueF()) * t));
}

// Re-fixes the client size whenever the frame may have changed.
class OuterSizeKeeper : public QObject {
 public:
  OuterSizeKeeper(QWidget* window, QSize outer) : QObject(window), window_(window), outer_(outer) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (watched == window_ && (type == QEvent::Show || type == QEvent::Move)) {
      const QSize frame = window_->frameGeometry().size() - window_->size();
      const QSize client = (outer_ - frame).expandedTo(QSize(1, 1));
      if (window_->size() != client || window_->minimumSize() != client) window_->setFixedSize(client);
    }
    return false;
  }

 private:
  QWidget* window_;
  QSize outer_;
};

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor ReadableDisabledText(const QPalette& palette) {
  const QColor base = palette.color(QPalette::Disabled, QPalette::Base);
  const QColor own = palette.color(QPalette::Disabled, QPalette::Text);
  const QColor normal = palette.color(QPalette::Active, QPalette::Text);
  // A little above the limit, so that rounding to 8-bit channels keeps it.
  const double wanted = kReadableContrast + 0.1;
  for (int step = 0; step <= 20; ++step) {
    const QColor c = Blend(own, normal, step / 20.0);
    if (ContrastRatio(c, base) >= wanted) return c;
  }
  return ContrastRatio(Qt::black, base) >= ContrastRatio(Qt::white, base) ? QColor(Qt::black) : QColor(Qt::white);
}

QLineEdit* AddDetailRow(QDialog* dialog, const char* caption, const char* edit_name, int top,
                        int label_left, int label_width, int edit_left, int edit_width) {
  auto* label = new QLabel(QString::fromUtf8(caption), dialog);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  label->setGeometry(label_left, top + 3, label_width, 17);
  auto* edit = new QLineEdit(dialog);
  edit->setObjectName(QString::fromLatin1(edit_name));
  edit->setGeometry(edit_left, top, edit_width, 22);
  edit->setReadOnly(true);
  edit->setEnabled(false);  // shown, not editable, not focusable
  QPalette palette = edit->palette();
  palette.setColor(QPalette::Disabled, QPalette::Text, ReadableDisabledText(palette));
  edit->setPalette(palette);
  label->setBuddy(edit);
  return edit;
}

void SetDetailText(QLineEdit* edit, const QString& text) {
  edit->setText(text);
  edit->setCursorPosition(0);  // setText leaves it at the end, which shows the text's end
}

QPushButton* AddDetailOkButton(QDialog* dialog, int left, int top) {
  auto* button = new QPushButton(QStringLiteral("OK"), dialog);
  button->setObjectName(QStringLiteral("BitBtn1"));
  button->setGeometry(left, top, 75, 25);
  button->setDefault(true);
  QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
  return button;
}

QString DetailRowsText(const QDialog& dialog) {
  QString text;
  for (const QLabel* label : dialog.findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    if (const auto* edit = qobject_cast<const QLineEdit*>(label->buddy()))
      text += label->text() + QStringLiteral(": ") + edit->text() + QLatin1Char('\n');
  }
  return text;
}

QPushButton* AddDetailCopy(QDialog* dialog, int left, int top) {
  auto copy = [dialog] { QGuiApplication::clipboard()->setText(DetailRowsText(*dialog)); };
  auto* button = new QPushButton(QStringLiteral("Copy"), dialog);
  button->setObjectName(QStringLiteral("CopyButton"));
  button->setGeometry(left, top, 75, 25);
  button->setAutoDefault(false);  // Enter stays with OK
  QObject::connect(button, &QPushButton::clicked, dialog, copy);
  QObject::connect(new QShortcut(QKeySequence::Copy, dialog), &QShortcut::activated, dialog, copy);
  return button;
}

void KeepOuterSize(QWidget* window, QSize outer) {
  window->setFixedSize(outer);
  window->installEventFilter(new OuterSizeKeeper(window, outer));
}

// Label-and-edit rows and the OK button of the detail dialogs.
#include "ui/detail_rows.h"

#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

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
  label->setBuddy(edit);
  return edit;
}

QPushButton* AddDetailOkButton(QDialog* dialog, int left, int top) {
  auto* button = new QPushButton(QStringLiteral("OK"), dialog);
  button->setObjectName(QStringLiteral("BitBtn1"));
  button->setGeometry(left, top, 75, 25);
  button->setDefault(true);
  QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
  return button;
}

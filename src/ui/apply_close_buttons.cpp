// The Network Setup dialogs' button row.
#include "ui/apply_close_buttons.h"

#include <QBoxLayout>
#include <QHBoxLayout>
#include <QPushButton>

ApplyCloseButtons AddApplyCloseButtons(QWidget* dialog, QBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  ApplyCloseButtons buttons{new QPushButton("Apply", dialog), new QPushButton("Close", dialog)};
  buttons.apply->setObjectName("ButtonApply");
  buttons.close->setObjectName("ButtonClose");
  for (QPushButton* button : {buttons.apply, buttons.close}) {
    button->setAutoDefault(false);
    button->setDefault(false);
    row->addWidget(button);
  }
  layout->addLayout(row);
  return buttons;
}

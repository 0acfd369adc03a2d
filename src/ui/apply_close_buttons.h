// The "Apply" and "Close" buttons that both Network Setup dialogs end with.
#pragma once

class QBoxLayout;
class QPushButton;
class QWidget;

struct ApplyCloseButtons {
  QPushButton* apply;
  QPushButton* close;
};

// Adds a row to `layout` with the buttons "Apply" (object name ButtonApply)
// and "Close" (ButtonClose), side by side at its right end, children of
// `dialog`. Neither is a default button: Return in an edit sends nothing.
ApplyCloseButtons AddApplyCloseButtons(QWidget* dialog, QBoxLayout* layout);

// The rows of the two detail dialogs: a bold label with a read-only
// (disabled: shown, not editable, not focusable) one-line edit beside it,
// and the OK button under them that closes the dialog with the OK result.
#pragma once

class QDialog;
class QLineEdit;
class QPushButton;

// A label `caption` at (label_left, top + 3), `label_width` wide, and beside
// it an edit named `edit_name` at (edit_left, top), `edit_width` wide; the
// label is the edit's buddy. Returns the edit.
QLineEdit* AddDetailRow(QDialog* dialog, const char* caption, const char* edit_name, int top,
                        int label_left, int label_width, int edit_left, int edit_width);

// The default button "OK", named BitBtn1, at (left, top).
QPushButton* AddDetailOkButton(QDialog* dialog, int left, int top);

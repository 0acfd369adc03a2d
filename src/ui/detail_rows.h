// The rows of the two detail dialogs: a bold label with a read-only
// (disabled: shown, not editable, not focusable) one-line edit beside it,
// the OK button under them that closes the dialog with the OK result, and
// "Copy" (also Ctrl+C) that puts every row on the clipboard as a
// "Label: value" line. A disabled edit's text is drawn in a colour that
// stands out from its background by a contrast of at least
// kReadableContrast, and shows from its first character. On the
// user-interface thread.
#pragma once

#include <QColor>
#include <QSize>
#include <QString>

class QDialog;
class QLineEdit;
class QPalette;
class QPushButton;
class QWidget;

// The least contrast between text and background that reads well (WCAG AA).
constexpr double kReadableContrast = 4.5;

// The contrast ratio of two colours, from 1 (equal) to 21 (black on white),
// from their relative luminance in sRGB.
double ContrastRatio(const QColor& a, const QColor& b);

// A colour for disabled text on the palette's disabled base: the palette's
// own when it reaches kReadableContrast, else the nearest colour between it
// and the palette's normal text that does (black or white when none does),
// so that the text still looks disabled where the theme allows.
QColor ReadableDisabledText(const QPalette& palette);

// A label `caption` at (label_left, top + 3), `label_width` wide, and beside
// it an edit named `edit_name` at (edit_left, top), `edit_width` wide; the
// label is the edit's buddy. Returns the edit.
QLineEdit* AddDetailRow(QDialog* dialog, const char* caption, const char* edit_name, int top,
                        int label_left, int label_width, int edit_left, int edit_width);

// Shows `text` in a detail edit from its first character.
void SetDetailText(QLineEdit* edit, const QString& text);

// The default button "OK", named BitBtn1, at (left, top).
QPushButton* AddDetailOkButton(QDialog* dialog, int left, int top);

// Every row of `dialog` added by AddDetailRow, in order, as
// "Label: value\n" lines.
QString DetailRowsText(const QDialog& dialog);

// The button "Copy", named CopyButton, at (left, top), and Ctrl+C anywhere
// in the dialog: both put DetailRowsText on the clipboard.
QPushButton* AddDetailCopy(QDialog* dialog, int left, int top);

// Keeps the window's outer size, frame included, at `outer`: its client
// size is fixed at `outer` less the frame that the window system draws,
// measured again whenever the window is shown or moved (a window manager
// may frame it only after it is shown).
void KeepOuterSize(QWidget* window, QSize outer);

// Modal dialogs and message boxes go through here, so that tests can see what
// would be shown, and answer it, without blocking on a modal loop.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QDialog;
class QWidget;

// Shows `dialog` modally and returns its result (QDialog::exec), unless a hook
// is set, which is then called instead.
int ExecModal(QDialog& dialog);

// A message box with one OK button, owned by `owner` (may be null). `text`
// is shown as plain text, whatever tags it holds.
void ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                 QMessageBox::Icon icon = QMessageBox::NoIcon);

// Asks for the name of a file to write (QFileDialog::getSaveFileName):
// `filters` as "CSV (*.csv);;JSON (*.json)"; `selected_filter` receives the
// filter picked. Result: the name, or "" when the user cancelled.
QString AskSaveFileName(QWidget* owner, const QString& caption, const QString& suggested, const QString& filters,
                        QString* selected_filter = nullptr);

using ModalHook = std::function<int(QDialog& dialog)>;
using MessageHook =
    std::function<void(QWidget* owner, const QString& text, const QString& caption)>;
// Answers AskSaveFileName: the name and the filter picked.
using SaveFileHook = std::function<QString(const QString& caption, QString* selected_filter)>;

// Replace the modal loop, the message box and the file dialog; an empty
// function restores them.
void SetModalHook(ModalHook hook);
void SetMessageHook(MessageHook hook);
void SetSaveFileHook(SaveFileHook hook);

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
// `suggested` names the folder it starts in and the file; `filters` as
// "CSV (*.csv);;JSON (*.json)"; `selected_filter` receives the filter
// picked. Without `confirm_overwrite` the dialog does not ask before a
// file is replaced (for a caller that adds to the name and asks itself).
// Result: the name, or "" when the user cancelled.
QString AskSaveFileName(QWidget* owner, const QString& caption, const QString& suggested, const QString& filters,
                        QString* selected_filter = nullptr, bool confirm_overwrite = true);

// Asks for the name of a file to read (QFileDialog::getOpenFileName), in
// the folder `folder`, with `filters` as AskSaveFileName takes them.
// Result: the name, or "" when the user cancelled.
QString AskOpenFileName(QWidget* owner, const QString& caption, const QString& folder, const QString& filters);

// A question with the buttons Yes and No (the default), owned by `owner`.
// Result: true for Yes.
bool AskYesNo(QWidget* owner, const QString& text, const QString& caption);

using ModalHook = std::function<int(QDialog& dialog)>;
using MessageHook =
    std::function<void(QWidget* owner, const QString& text, const QString& caption)>;
// Answers AskSaveFileName: the name and the filter picked.
using SaveFileHook = std::function<QString(const QString& caption, QString* selected_filter)>;
// Answers AskOpenFileName.
using OpenFileHook = std::function<QString(const QString& caption)>;
// Answers AskYesNo.
using QuestionHook = std::function<bool(QWidget* owner, const QString& text, const QString& caption)>;

// Replace the modal loop, the message box, the file dialog and the
// question; an empty function restores them.
void SetModalHook(ModalHook hook);
void SetMessageHook(MessageHook hook);
void SetSaveFileHook(SaveFileHook hook);
void SetQuestionHook(QuestionHook hook);
void SetOpenFileHook(OpenFileHook hook);

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

// A message box with one OK button, owned by `owner` (may be null).
void ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                 QMessageBox::Icon icon = QMessageBox::NoIcon);

using ModalHook = std::function<int(QDialog& dialog)>;
using MessageHook =
    std::function<void(QWidget* owner, const QString& text, const QString& caption)>;

// Replaces the modal loop and the message box; an empty function restores them.
void SetModalHook(ModalHook hook);
void SetMessageHook(MessageHook hook);

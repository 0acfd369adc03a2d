// Default modal showing and message boxes, and the test hooks that replace them.
#include "ui/modal.h"

#include <QDialog>

namespace {
ModalHook g_modal_hook;
MessageHook g_message_hook;
}  // namespace

int ExecModal(QDialog& dialog) {
  if (g_modal_hook) return g_modal_hook(dialog);
  return dialog.exec();
}

void ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                 QMessageBox::Icon icon) {
  if (g_message_hook) {
    g_message_hook(owner, text, caption);
    return;
  }
  QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
  box.exec();
}

void SetModalHook(ModalHook hook) { g_modal_hook = std::move(hook); }
void SetMessageHook(MessageHook hook) { g_message_hook = std::move(hook); }

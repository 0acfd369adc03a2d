// Default modal showing, message boxes and file dialogs, and the test hooks that replace them.
#include "ui/modal.h"

#include <QDialog>
#include <QFileDialog>

namespace {
ModalHook g_modal_hook;
MessageHook g_message_hook;
SaveFileHook g_save_file_hook;
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
  box.setTextFormat(Qt::PlainText);  // a device's text is never read as HTML
  box.exec();
}

QString AskSaveFileName(QWidget* owner, const QString& caption, const QString& suggested, const QString& filters,
                        QString* selected_filter) {
  if (g_save_file_hook) return g_save_file_hook(caption, selected_filter);
  return QFileDialog::getSaveFileName(owner, caption, suggested, filters, selected_filter);
}

void SetModalHook(ModalHook hook) { g_modal_hook = std::move(hook); }
void SetMessageHook(MessageHook hook) { g_message_hook = std::move(hook); }
void SetSaveFileHook(SaveFileHook hook) { g_save_file_hook = std::move(hook); }

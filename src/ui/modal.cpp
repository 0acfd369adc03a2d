// Default modal showing, message boxes, questions and file dialogs, and the test hooks that replace them.
#include "ui/modal.h"

#include <QDialog>
#include <QFileDialog>

namespace {
ModalHook g_modal_hook;
MessageHook g_message_hook;
SaveFileHook g_save_file_hook;
QuestionHook g_question_hook;
OpenFileHook g_open_file_hook;
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
                        QString* selected_filter, bool confirm_overwrite) {
  if (g_save_file_hook) return g_save_file_hook(caption, selected_filter);
  const QFileDialog::Options options = confirm_overwrite ? QFileDialog::Options() : QFileDialog::DontConfirmOverwrite;
  return QFileDialog::getSaveFileName(owner, caption, suggested, filters, selected_filter, options);
}

QString AskOpenFileName(QWidget* owner, const QString& caption, const QString& folder, const QString& filters) {
  if (g_open_file_hook) return g_open_file_hook(caption);
  return QFileDialog::getOpenFileName(owner, caption, folder, filters);
}

bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) {
  if (g_question_hook) return g_question_hook(owner, text, caption);
  QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
  box.setDefaultButton(QMessageBox::No);
  box.setTextFormat(Qt::PlainText);
  return box.exec() == QMessageBox::Yes;
}

void SetModalHook(ModalHook hook) { g_modal_hook = std::move(hook); }
void SetMessageHook(MessageHook hook) { g_message_hook = std::move(hook); }
void SetSaveFileHook(SaveFileHook hook) { g_save_file_hook = std::move(hook); }
void SetQuestionHook(QuestionHook hook) { g_question_hook = std::move(hook); }
void SetOpenFileHook(OpenFileHook hook) { g_open_file_hook = std::move(hook); }

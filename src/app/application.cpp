// The application object and its error box.
#include "app/application.h"

#include <QString>
#include <iostream>

#include "ui/modal.h"

namespace {

const char kApplicationTitle[] = "Device Search";

QString MessageOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return QString::fromLocal8Bit(e.what());
  } catch (...) {
    return QStringLiteral("An unknown error occurred.");
  }
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The application's title. No display name: Qt would append it to every
  // window's caption on X11 and Wayland.
  setApplicationName(kApplicationTitle);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ShowException(std::current_exception());
    return false;
  }
}

void ShowException(const std::exception_ptr& error) {
  static bool showing = false;
  const QString message = MessageOf(error);
  if (showing) {  // a box already waits for the user (its own painting may have thrown)
    std::cerr << "device-search: " << message.toStdString() << "\n";
    return;
  }
  showing = true;
  ShowMessage(nullptr, message, kApplicationTitle, QMessageBox::Critical);
  showing = false;
}

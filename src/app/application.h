// The window's application object, titled "Device Search". An exception
// that an event handler throws does not end the program: the application
// shows its message in a message box and the event loop goes on. On the
// user-interface thread.
#pragma once

#include <QApplication>
#include <exception>

class TApplication : public QApplication {
 public:
  // As QApplication's; `argc` and `argv` must outlive the application.
  TApplication(int& argc, char** argv);
  // Delivers the event as QApplication does; an exception from the handler
  // is shown (ShowException) and the event counts as not handled.
  bool notify(QObject* receiver, QEvent* event) override;
};

// Shows `error` in the application's error box: caption "Device Search",
// the error icon, the exception's message (what() for a std::exception,
// "An unknown error occurred." for anything else). One box at a time: an
// exception while one is shown goes to standard error instead.
void ShowException(const std::exception_ptr& error);

// Driving the main window in the end-to-end tests: a window that searches
// the network, and a search from the button to its end.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include "app/main_form.h"

// Gives the window the network's exchanges without a UPnP phase, and shows it.
inline void ShowProtocolWindow(TMainForm& form) {
  form.UseNetwork();
  form.SetUpnpPhase(nullptr);
  form.show();
}

// Presses "Device Search" and runs the event loop until the search is over
// (false when it is not over within `timeout_ms`).
inline bool SearchFromWindow(TMainForm& form, int timeout_ms = 30000) {
  bool finished = false;
  form.SetOnSearchFinished([&] { finished = true; });
  QTest::mouseClick(form.Button1, Qt::LeftButton);
  QElapsedTimer timer;
  timer.start();
  while (!finished && timer.elapsed() < timeout_ms) QApplication::processEvents(QEventLoop::AllEvents, 50);
  form.SetOnSearchFinished(nullptr);
  return finished;
}

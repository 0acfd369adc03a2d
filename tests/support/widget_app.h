// The one QApplication of a widget test program that uses GoogleTest's own
// main: made on first use, on Qt's offscreen platform unless another is set.
#pragma once

#include <QApplication>

inline void EnsureWidgetApplication() {
  if (QApplication::instance() != nullptr) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "widget_test";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives for the whole test program
}

// Program entry: the window without arguments, `search` without a window,
// --help and --version.
#include <QApplication>
#include <QCoreApplication>
#include <QIcon>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/version.h"
#include "cli/search_command.h"
#include "cli/setup_command.h"
#include "cli/usage.h"
#include "ui/remembered_settings.h"

namespace {

bool HaveDisplay() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty()) {
    const std::string& first = args.front();
    if (first == "--help" || first == "-h") {
      std::cout << ProgramUsage();
      return 0;
    }
    if (first == "--version") {
      std::cout << "device-search " << kVersion << "\n";
      return 0;
    }
    if (first == "search") {
      QCoreApplication app(argc, argv);
      return RunSearchCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    if (first == "setup") {
      QCoreApplication app(argc, argv);
      return RunSetupCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    std::cerr << "device-search: unknown command '" << first << "' (see device-search --help)\n";
    return 2;
  }

  if (!HaveDisplay()) {
    std::cerr << "device-search: no display found (set DISPLAY, or use 'device-search search' without a window)\n";
    return 1;
  }
  QApplication app(argc, argv);
  // The application's title. No display name: Qt would append it to every
  // window's caption on X11 and Wayland.
  QApplication::setApplicationName("Device Search");
  // The desktop entry's id (Wayland's app id) and its icon from the theme.
  QGuiApplication::setDesktopFileName(kAppId);
  QApplication::setWindowIcon(QIcon::fromTheme(kAppId));
  TMainForm form;
  form.UseNetwork();
  form.UseSettingsFile(DefaultSettingsPath());
  form.show();
  return QApplication::exec();
}

// Program entry: the window without arguments, `search`, `setup` and `watch`
// without a window, --help and --version.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QIcon>
#include <iostream>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/display_check.h"
#include "app/main_form.h"
#include "app/version.h"
#include "cli/options.h"
#include "cli/search_command.h"
#include "cli/setup_command.h"
#include "cli/usage.h"
#include "cli/watch_command.h"
#include "protocol/shown_text.h"
#include "ui/remembered_settings.h"

namespace {

// A standard descriptor the program was started without gets /dev/null, so
// that no socket opened later takes its number and receives what the
// program writes to its output (or reads from its input).
void OpenMissingStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1) continue;
    const int null = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (null >= 0 && null != fd) {
      dup2(null, fd);
      close(null);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  OpenMissingStandardDescriptors();
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
    if (first == "watch") {
      QCoreApplication app(argc, argv);
      return RunWatchCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    }
    std::cerr << "device-search: unknown command " << ShownText(QuotedArgument(first))
              << " (see device-search --help)\n";
    return 2;
  }

  // Qt aborts in the application's constructor when it reaches no display.
  const std::string problem = DisplayProblem(DisplayEnvironment::OfThisProcess());
  if (!problem.empty()) {
    std::cerr << ShownText(problem) << "\n";  // it quotes DISPLAY and WAYLAND_DISPLAY
    return 1;
  }
  TApplication app(argc, argv);
  // The desktop entry's id (Wayland's app id) and its icon from the theme.
  QGuiApplication::setDesktopFileName(kAppId);
  QApplication::setWindowIcon(QIcon::fromTheme(kAppId));
  try {
    TMainForm form;
    form.UseNetwork();
    form.UseSettingsFile(DefaultSettingsPath());
    form.show();
    return QApplication::exec();
  } catch (...) {  // from start-up; the event handlers' are shown by the application
    ShowException(std::current_exception());
    return 1;
  }
}

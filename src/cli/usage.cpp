// The program's --help.
#include "cli/usage.h"

#include "cli/options.h"

std::string ProgramUsage() {
  // Read by main(), which dispatches on the first argument; listed here.
  const std::vector<Option> options = {
      Option({"-h", "--help"}, "", "print this help and exit"),
      Option({"--version"}, "", "print the version and exit"),
  };
  return "usage: device-search [--help | --version]\n"
         "       device-search search [OPTION...]\n"
         "       device-search setup OPTION...\n"
         "       device-search watch [OPTION...]\n"
         "\n"
         "Without arguments the window opens. 'search' runs one search without a window\n"
         "and prints the devices found; 'setup' finds one device by its MAC and changes\n"
         "its addressing, or many devices at once from a plan; 'watch' searches again\n"
         "and again and prints the devices that come, change and go. 'device-search\n"
         "COMMAND --help' lists a command's options.\n"
         "\n" +
         OptionList(options, 17) +
         "\n"
         "Exit status: 0 after a search, a sent package or a watch that was stopped, 1\n"
         "when the package was not sent, no single device has the MAC, the window finds\n"
         "no display or watch has no interface to search on, 2 for bad arguments.\n";
}

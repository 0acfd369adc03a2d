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
         "\n"
         "Without arguments the window opens. 'search' runs one search without a window\n"
         "and prints the devices found; 'setup' finds one device by its MAC and changes\n"
         "its addressing, or many devices at once from a plan. 'device-search search\n"
         "--help' and 'device-search setup --help' list their options.\n"
         "\n" +
         OptionList(options, 17) +
         "\n"
         "Exit status: 0 after a search or a sent package, 1 when the package was not\n"
         "sent, a verified plan's device was not found as planned, no single device\n"
         "has the MAC, or the window finds no display, 2 for bad arguments, a refused\n"
         "address or a refused plan.\n";
}

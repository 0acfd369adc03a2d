// `device-search search`: one search without a window, as the window's
// "Device Search" button runs it, printing the rows found (search/row_writer.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "protocol/device_table.h"
#include "lists/row_writer.h"

struct SearchCommand {
  SearchSettings settings;
  OutputFormat format = OutputFormat::kTable;
  bool pretty = false;  // json indented
  bool verbose = false;
  bool upnp = true;
  bool help = false;  // --help: print the usage, search nothing
  std::string compare;  // --compare FILE: the saved list to compare with; "" for none
};

// Exit statuses of `search --compare`: nothing differs (0), something is new,
// changed or missing (3), the file cannot be read or parsed (2, as for bad
// arguments).
constexpr int kCompareDiffers = 3;

// Parses the arguments after "search". On a bad argument returns nothing and
// sets `error` to a one-line message. --help ends the parse at once.
// --interface NAME may be given more than once; it does not go with --relay
// (kInterfaceWithRelayError).
std::optional<SearchCommand> ParseSearchArguments(const std::vector<std::string>& args, std::string& error);

// `device-search search --help`: the synopsis and every option.
std::string SearchUsage();

// Runs `device-search search ...`; returns the exit status.
int RunSearchCommand(const std::vector<std::string>& args);

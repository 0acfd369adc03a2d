// `device-search search`: its options, the search and its output.
#include "cli/search_command.h"

#include <unistd.h>

#include <iostream>

#include "cli/headless_search.h"
#include "cli/options.h"
#include "cli/search_options.h"
#include "cli/stderr_log.h"
#include "protocol/shown_text.h"
#include "search/firewall_hint.h"
#include "search/search_driver.h"
#include "lists/saved_list.h"
#include "upnp/upnp_merge.h"

namespace {

// The command's options, read into `cmd`; *protocol_given records --protocol.
std::vector<Option> SearchOptions(SearchCommand* cmd, bool* protocol_given) {
  return {
      RelayOption(&cmd->settings, "ask the relay at ADDRESS instead of broadcasting"),
      ProtocolOption(&cmd->settings, protocol_given),
      InterfaceOption(&cmd->settings, "broadcast only out of this interface (repeatable)"),
      {{"--project"}, "NAME", "list only the devices of this product line; ALL (the\ndefault) and UPNP also search by UPnP",
       StoreValue(&cmd->settings.project)},
      {{"--format"}, "FORMAT",
       "table (the default), csv, json (one array) or ndjson\n(one object per line, printed as soon as its row is\nfinal)",
       [cmd](const std::string& value, std::string* error) {
         if (value == "table") cmd->format = OutputFormat::kTable;
         else if (value == "csv") cmd->format = OutputFormat::kCsv;
         else if (value == "json") cmd->format = OutputFormat::kJson;
         else if (value == "ndjson") cmd->format = OutputFormat::kNdjson;
         else {
           *error = "--format must be table, csv, json or ndjson, not " + QuotedArgument(value);
           return false;
         }
         return true;
       }},
      {{"--pretty"}, "", "indent the json array", SetFlag(&cmd->pretty)},
      {{"--compare"}, "FILE",
       "compare with a list saved earlier (--format json,\nndjson or csv, or the window's Export): each row\nis same, new or changed, and the file's devices\nnot found now follow as missing rows",
       [cmd](const std::string& value, std::string* error) {
         if (value.empty()) {
           *error = "--compare needs a file";
           return false;
         }
         cmd->compare = value;
         return true;
       }},
      {{"--no-upnp"}, "", "leave the UPnP search out", SetFlag(&cmd->upnp, false)},
      VerboseOption(&cmd->verbose),
      HelpOption(&cmd->help),
  };
}

constexpr int kHelpColumn = 23;

}  // namespace

std::optional<SearchCommand> ParseSearchArguments(const std::vector<std::string>& args, std::string& error) {
  SearchCommand cmd;
  bool protocol_given = false;
  if (!ReadOptions(args, SearchOptions(&cmd, &protocol_given), &error)) return std::nullopt;
  if (cmd.help) return cmd;
  if (!CheckWhereToSearch(cmd.settings, protocol_given, &error)) return std::nullopt;
  if (cmd.pretty && cmd.format != OutputFormat::kJson) {
    error = "--pretty goes with --format json";
    return std::nullopt;
  }
  return cmd;
}

std::string SearchUsage() {
  SearchCommand unused;
  bool given = false;
  return "usage: device-search search [--relay ADDRESS [--protocol tcp|udp|httpcmd] |\n"
         "                             --interface NAME...] [--project NAME]\n"
         "                            [--format table|csv|json|ndjson] [--pretty]\n"
         "                            [--compare FILE] [--no-upnp] [--verbose]\n"
         "\n"
         "Runs one search without a window, as the window's \"Device Search\" button\n"
         "does, and prints the devices found in the grid's order. The broadcast goes\n"
         "out of every network interface, or of those named by --interface.\n"
         "\n"
         "Each row carries its notes: address-conflict, this-pc, own-gateway,\n"
         "not-reachable and seen-twice (json: \"notes\"; csv and table: the kinds\n"
         "joined by \";\" in the column Notes, which csv writes last, after\n"
         "Interface). With --compare, json rows add \"compare\" and, when changed,\n"
         "\"changed\" (the record's fields that differ; Interface and Notes are not\n"
         "compared); csv and table add the columns Compare and Changed after Notes.\n"
         "The missing rows come after the search's rows, with ndjson at the end.\n"
         "\n" +
         OptionList(SearchOptions(&unused, &given), kHelpColumn) +
         "\n"
         "Exit status: 0 after a search (also when nothing was found), 2 for bad\n"
         "arguments (an unknown interface included, a relay address that is no IPv4\n"
         "address for tcp and udp, or a relay host that cannot be found) or a\n"
         "--compare file that cannot be read or parsed. With --compare: 0 when\n"
         "nothing differs, 3 when a device is new, changed or missing. 1 (before 3)\n"
         "when another search on this machine held UDP port 6667 for 5 s, so that\n"
         "nothing was searched: no row is printed, and a line on standard error\n"
         "says so.\n";
}

int RunSearchCommand(const std::vector<std::string>& args) {
  std::string error;
  std::optional<SearchCommand> cmd = ParseSearchArguments(args, error);
  if (cmd && !CheckInterfaceNames(cmd->settings.interfaces, &error)) cmd.reset();
  if (cmd && !CheckRelayHost(cmd->settings, &error)) cmd.reset();
  if (std::optional<int> status = EndBeforeRunning("search", cmd.has_value(), cmd && cmd->help, error, SearchUsage()))
    return *status;
  std::optional<std::vector<ListedDevice>> saved;
  if (!cmd->compare.empty() && !(saved = ReadSavedList(cmd->compare, &error))) {
    std::cerr << "device-search: " << ShownText(error) << "\n";
    return 2;
  }
  StderrLog log(cmd->verbose);
  HeadlessSearch search(cmd->settings, cmd->upnp, log);
  const std::vector<LocalNetwork> local = ThisPcNetworks();
  auto extras = [&] { return ExtrasOf(search.Table(), search.Origins(), local, saved ? &*saved : nullptr); };
  NdjsonPrinter ndjson;
  // The exchange's rows are final when it ends, unless a UPnP merge for the
  // project filter "UPNP" is to replace them.
  const bool upnp_only = cmd->upnp && ProjectIsUpnpOnly(cmd->settings.project);
  // A UPnP row is final as soon as its device is read; with a comparison it
  // waits for the merge, where the whole list is compared. Those read before
  // the exchange has ended wait for it: a search that finds port 6667 held
  // prints no row.
  bool exchange_over = false;
  std::vector<DeviceInformationContainer> early_upnp;
  auto print_upnp = [&](const DeviceInformationContainer& device) {
    const std::vector<RowNote> notes = UpnpDeviceNotes(search.Table(), search.Origins(), local, device);
    ndjson.PrintUpnpDevice(device, std::cout, &notes);
  };
  if (cmd->format == OutputFormat::kNdjson && !saved)
    search.SetOnUpnpDevice([&](const DeviceInformationContainer& device) {
      if (exchange_over) print_upnp(device);
      else early_upnp.push_back(device);
    });
  search.SetOnExchangeDone([&] {
    exchange_over = true;
    if (search.PortHeld()) return;
    if (cmd->format == OutputFormat::kNdjson && !upnp_only)
      ndjson.PrintNewRows(search.Table(), search.Origins(), extras(), std::cout, false);
    for (const DeviceInformationContainer& device : early_upnp) print_upnp(device);
    early_upnp.clear();
  });
  search.Run();
  if (search.PortHeld()) {
    std::cerr << "device-search: " << kPortHeldText << "\n";
    return 1;
  }
  const RowExtras last = extras();
  if (cmd->format == OutputFormat::kNdjson) ndjson.PrintNewRows(search.Table(), search.Origins(), last, std::cout, true);
  else PrintRows(search.Table(), cmd->format, search.Origins(), last, std::cout, cmd->pretty);
  std::cout.flush();
  // Standard error stays empty for scripts: the hint goes to a person at a
  // terminal, and with --verbose it is in the log already.
  FirewallHintOnce hint;
  if (search.HeardNothing() && !cmd->verbose && isatty(STDERR_FILENO)) hint.Tell(std::cerr);
  return last.comparison && last.comparison->Differs() ? kCompareDiffers : 0;
}

// `device-search setup --mac MAC (--dhcp | --static --ip A --netmask M
// --gateway G [--dns D]) [--relay ADDRESS [--protocol tcp|udp|httpcmd] |
// --interface NAME...]`: Network Setup without a window. Searches as
// `device-search search` would, finds the device by its MAC, and sends it a
// control package with the same rules and texts as the Network Setup dialog,
// out of the interface the device answered on. With `--plan FILE` instead of
// the device and its addresses, many devices at once (plan_command.h).
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/plan_command.h"
#include "netsetup/control_sender.h"
#include "netsetup/net_setup_rules.h"
#include "protocol/device_table.h"

struct SetupCommand {
  SearchSettings settings;
  std::string mac;
  NetworkType type = NetworkType::kNone;
  std::optional<std::string> ip, netmask, gateway, dns;
  PlanCommand plan;  // with --plan: plan.file is not empty
  bool verbose = false;
  bool help = false;  // --help: print the usage, send nothing
};

// `device-search setup --help`: the synopsis and every option.
std::string SetupUsage();

// Parses the arguments after "setup"; on a bad argument returns nothing and
// sets `error` to a one-line message (quoting the arguments as given; it is
// shown by the shown-text rule). --mac must be six hexadecimal pairs.
// Given addresses are checked here: each a strict dotted quad
// (CheckGivenAddress: "Invalid IP Address - [10.1]: not a dotted quad such as
// ..."), and a static address with every rule that needs no search
// (CheckStaticAddress), so a bad one is refused before anything is sent.
// --plan goes with neither --mac nor --dhcp, --static and the addresses;
// --verify, --dry-run and --format go only with --plan, and --verify not
// with --dry-run. --help ends the parse at once.
std::optional<SetupCommand> ParseSetupArguments(const std::vector<std::string>& args,
                                                std::string& error);

// The records of `devices` whose mac is `mac` (SameMac: ignoring case, "-"
// for ":").
std::vector<tComUnitInfo> DevicesWithMac(const DeviceList& devices, const std::string& mac);

// The refusal when several devices have the MAC given: one line for each of
// `found` (model, name, IP and MAC, shown as ShownText shows them).
void PrintDevicesWithSameMac(const std::vector<tComUnitInfo>& found, const std::string& mac, std::ostream& err);

// From the device as the search found it and the command: the dialog's
// texts (addresses not given keep the device's), the gateway warning and the
// warning for an address outside this PC's subnets on the device's interface
// (UnreachableWarning) printed to `err`, then Apply through `sender`, which
// refuses a static address that
// is never handed out (CheckDeviceAddress against `neighbours`). Prints the
// result text to `out`. Device text in the messages is shown as ShownText
// shows it. Exit status: 0 sent, 1 not sent, 2 the address refused (nothing
// sent).
int ApplySetup(const SetupCommand& cmd, const AddressNeighbours& neighbours, ControlPackageSender& sender,
               DebugLog& log, std::ostream& out, std::ostream& err);

// Runs `device-search setup ...`; returns the exit status.
int RunSetupCommand(const std::vector<std::string>& args);

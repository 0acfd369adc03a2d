// `device-search setup`: its options, the search, the device by MAC, the send.
#include "cli/setup_command.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "cli/headless_search.h"
#include "cli/options.h"
#include "cli/search_options.h"
#include "cli/stderr_log.h"
#include "protocol/mac_text.h"
#include "protocol/shown_text.h"
#include "protocol/string_printf.h"
#include "search/search_driver.h"

namespace {

constexpr int kMaxVerifySeconds = 86400;

// What the options say before they are checked together.
struct SetupOptions {
  bool protocol_given = false;
  bool dhcp = false;
  bool stat = false;
  bool format_given = false;
};

std::vector<Option> SetupOptionTable(SetupCommand* cmd, SetupOptions* given) {
  auto address = [](std::optional<std::string>* target) {
    return [target](const std::string& value, std::string*) {
      *target = value;
      return true;
    };
  };
  return {
      {{"--mac"}, "MAC", "the device's hardware address, as the search lists it", StoreValue(&cmd->mac)},
      {{"--dhcp"}, "", "the device takes its addresses from a DHCP server", SetFlag(&given->dhcp)},
      {{"--static"}, "", "the device uses the addresses given:", SetFlag(&given->stat)},
      {{"--ip"}, "ADDRESS", "  its address", address(&cmd->ip)},
      {{"--netmask"}, "MASK", "  its netmask", address(&cmd->netmask)},
      {{"--gateway"}, "ADDRESS", "  its gateway (a warning when outside its subnet)", address(&cmd->gateway)},
      {{"--dns"}, "ADDRESS", "  its DNS server (when left out, the one it has)", address(&cmd->dns)},
      {{"--plan"}, "FILE",
       "re-address the devices the CSV file names, a row each:\n"
       "MAC,IP,NETMASK,GATEWAY,DNS or MAC,dhcp (\"-\": standard input)",
       [cmd](const std::string& value, std::string* error) {
         if (value.empty()) *error = "--plan needs a file";
         cmd->plan.file = value;
         return !value.empty();
       }},
      {{"--verify"}, "SECONDS", "after sending, wait this long, search again and\nreport where each device is",
       [cmd](const std::string& value, std::string* error) {
         char* end = nullptr;
         long seconds = std::strtol(value.c_str(), &end, 10);
         if (value.empty() || *end != '\0' || seconds < 0 || seconds > kMaxVerifySeconds) {
           *error = StringPrintf("--verify needs a number of seconds from 0 to %d, not ", kMaxVerifySeconds) +
                    QuotedArgument(value);
           return false;
         }
         cmd->plan.verify = static_cast<int>(seconds);
         return true;
       }},
      {{"--dry-run"}, "", "print the plan, send nothing", SetFlag(&cmd->plan.dry_run)},
      {{"--format"}, "FORMAT", "the plan as a table (the default), json or csv",
       [cmd, given](const std::string& value, std::string* error) {
         given->format_given = true;
         if (value == "table") cmd->plan.format = OutputFormat::kTable;
         else if (value == "json") cmd->plan.format = OutputFormat::kJson;
         else if (value == "csv") cmd->plan.format = OutputFormat::kCsv;
         else {
           *error = "--format must be table, json or csv, not " + QuotedArgument(value);
           return false;
         }
         return true;
       }},
      RelayOption(&cmd->settings, "search and send through the relay at ADDRESS"),
      ProtocolOption(&cmd->settings, &given->protocol_given),
      InterfaceOption(&cmd->settings, "search only on this interface (repeatable)"),
      VerboseOption(&cmd->verbose),
      HelpOption(&cmd->help),
  };
}

constexpr int kHelpColumn = 23;

// The settings the control package goes out with: an HTTP command relay's
// host:port or name becomes its host's address, since the package goes to
// that address by UDP (the transport reads anything but a dotted quad as
// 255.255.255.255).
SearchSettings SendingSettings(const SearchSettings& settings) {
  SearchSettings sending = settings;
  if (std::optional<std::string> address = HttpRelayAddress(settings)) sending.relay_address = *address;
  return sending;
}

// A search that found UDP port 6667 held by another search on this machine
// searched nothing: said on standard error; the status is 1.
int PortHeldStatus() {
  std::cerr << "device-search: " << kPortHeldText << "\n";
  return 1;
}

// `setup --plan`: the file, the search, the plan, then CarryOutPlan with the
// network's sender and a second search for the verification.
int RunPlan(const SetupCommand& cmd, DebugLog& log) {
  std::string error;
  std::optional<std::string> text = ReadPlanFile(cmd.plan.file, &error);
  if (!text) {
    std::cerr << "device-search: " << ShownText(error) << "\n";
    return 2;
  }
  // Devices found by UPnP cannot be re-addressed, so no UPnP phase is run.
  HeadlessSearch search(cmd.settings, false, log);
  search.Run();
  if (search.PortHeld()) return PortHeldStatus();
  const ReaddressPlan plan = CsvPlan(*text, PlanDevicesOf(search.Table().devices), MachineAddresses());
  const SearchSettings sending = SendingSettings(cmd.settings);
  UdpControlPackageSender sender(sending, log);
  VerifySearch verify = [&](int wait_seconds) {
    std::this_thread::sleep_for(std::chrono::seconds(wait_seconds));
    HeadlessSearch again(cmd.settings, false, log);
    again.Run();
    if (again.PortHeld()) PortHeldStatus();  // every device then is "not found": status 1
    return PlanDevicesOf(again.Table().devices);
  };
  return CarryOutPlan(cmd.plan, plan, sender, log, verify, std::cout, std::cerr);
}

}  // namespace

std::string SetupUsage() {
  SetupCommand unused;
  SetupOptions given;
  return "usage: device-search setup --mac MAC (--dhcp | --static --ip ADDRESS --netmask MASK\n"
         "                           --gateway ADDRESS [--dns ADDRESS])\n"
         "                           [--relay ADDRESS [--protocol tcp|udp|httpcmd] |\n"
         "                            --interface NAME...] [--verbose]\n"
         "       device-search setup --plan FILE [--verify SECONDS] [--dry-run]\n"
         "                           [--format table|json|csv]\n"
         "                           [--relay ADDRESS [--protocol tcp|udp|httpcmd] |\n"
         "                            --interface NAME...] [--verbose]\n"
         "\n"
         "Searches as 'device-search search --no-upnp' does, finds the one device whose\n"
         "MAC is MAC (ignoring case) and sends it a control package, as the window's\n"
         "\"Network Setup\" does: use DHCP, or the static addresses given. The package\n"
         "goes out of the network interface the device answered on.\n"
         "\n"
         "Every address given (--ip, --netmask, --gateway, --dns and a plan's cells)\n"
         "is a dotted quad such as 192.168.1.20: four decimal numbers from 0 to 255,\n"
         "without leading zeros and with nothing before or after. Any other text\n"
         "(10.1, 010.0.0.1, 0x0a.0.0.1, \"10.0.0.1 x\") is refused before anything\n"
         "is sent, as is 255.255.255.255.\n"
         "\n"
         "A static address is refused when it is 0.0.0.0, loopback, multicast or\n"
         "class E, the network or broadcast address of its netmask, its own gateway,\n"
         "an address of this PC on the interface the device answered on, or one\n"
         "another device keeps (a device that reports an address in another form,\n"
         "such as 10.0.0.011, keeps both 10.0.0.11 and 10.0.0.9); so is a netmask\n"
         "that is 0.0.0.0 or not contiguous. A gateway of 0.0.0.0 means none. An\n"
         "address outside every subnet of this PC on that interface is sent with a\n"
         "warning (\"the device will not be reachable from eth0 (10.0.0.1/24)\").\n"
         "DHCP is never refused for the addresses a device has.\n"
         "\n"
         "With --plan, every device the file (at most 1 MiB) names, each with its own\n"
         "addresses. The whole plan is checked before anything is sent: a row with a\n"
         "bad MAC or address, a MAC that no device or several have, two devices given\n"
         "one address, or an address refused as above refuses the plan, and every\n"
         "such row is named, in line order. A heading line, blank lines and lines\n"
         "starting with # are skipped. The table format prints the plan before\n"
         "sending; json and csv print one document at the end, with what was sent\n"
         "and found. A DHCP row whose device answers is \"answered (DHCP)\": its\n"
         "settings cannot be confirmed.\n"
         "\n" +
         OptionList(SetupOptionTable(&unused, &given), kHelpColumn) +
         "\n"
         "Exit status: 0 when the package was sent (with --plan: every package, and\n"
         "with --verify every static row's device was found at its new settings and\n"
         "every DHCP row's device answered), 1 when it was not, a device was not\n"
         "found as planned, or no single device has the MAC, 2 for bad arguments, a\n"
         "refused address or a refused plan. Also 1, with a line on standard error,\n"
         "when another search on this machine held UDP port 6667 for 5 s, so that\n"
         "nothing was searched (and nothing sent).\n";
}

std::optional<SetupCommand> ParseSetupArguments(const std::vector<std::string>& args, std::string& error) {
  SetupCommand cmd;
  SetupOptions given;
  if (!ReadOptions(args, SetupOptionTable(&cmd, &given), &error)) return std::nullopt;
  if (cmd.help) return cmd;
  const PlanCommand& plan = cmd.plan;
  if (!plan.file.empty()) {
    if (!cmd.mac.empty() || given.dhcp || given.stat || cmd.ip || cmd.netmask || cmd.gateway || cmd.dns) {
      error = "--plan goes with none of --mac, --dhcp, --static, --ip, --netmask, --gateway and --dns";
      return std::nullopt;
    }
    if (plan.verify && plan.dry_run) {
      error = "--verify does not go with --dry-run";
      return std::nullopt;
    }
    if (!CheckWhereToSearch(cmd.settings, given.protocol_given, &error)) return std::nullopt;
    return cmd;
  }
  if (plan.verify || plan.dry_run || given.format_given) {
    error = "--verify, --dry-run and --format go with --plan";
    return std::nullopt;
  }
  if (cmd.mac.empty()) {
    error = "--mac is required";
    return std::nullopt;
  }
  if (!IsMacText(cmd.mac)) {
    error = "--mac needs six hexadecimal pairs such as 00:11:22:33:44:55, not " + QuotedArgument(cmd.mac);
    return std::nullopt;
  }
  if (given.dhcp == given.stat) {
    error = "give exactly one of --dhcp and --static";
    return std::nullopt;
  }
  if (!CheckWhereToSearch(cmd.settings, given.protocol_given, &error)) return std::nullopt;
  if (given.dhcp && (cmd.ip || cmd.netmask || cmd.gateway || cmd.dns)) {
    error = "--dhcp takes no addresses";
    return std::nullopt;
  }
  if (given.stat && (!cmd.ip || !cmd.netmask || !cmd.gateway)) {
    error = "--static needs --ip, --netmask and --gateway";
    return std::nullopt;
  }
  cmd.type = given.dhcp ? NetworkType::kDhcp : NetworkType::kStatic;
  const std::pair<AddressField, std::optional<std::string>*> addresses[] = {
      {AddressField::kIp, &cmd.ip}, {AddressField::kNetmask, &cmd.netmask},
      {AddressField::kGateway, &cmd.gateway}, {AddressField::kDns, &cmd.dns}};
  for (const auto& [field, text] : addresses) {
    if (!*text) continue;
    if (std::optional<AddressRefusal> refused = CheckGivenAddress(field, **text)) {
      error = refused->Message(": ");
      return std::nullopt;
    }
  }
  if (cmd.type == NetworkType::kStatic) {
    if (std::optional<AddressRefusal> refused = CheckStaticAddress({*cmd.ip, *cmd.netmask, *cmd.gateway}, "", {})) {
      error = refused->Message(": ");
      return std::nullopt;
    }
  }
  return cmd;
}

std::vector<tComUnitInfo> DevicesWithMac(const DeviceList& devices, const std::string& mac) {
  std::vector<tComUnitInfo> found;
  for (const tComUnitInfo& info : devices.Records())
    if (SameMac(FieldText(info.mac), mac)) found.push_back(info);
  return found;
}

void PrintDevicesWithSameMac(const std::vector<tComUnitInfo>& found, const std::string& mac, std::ostream& err) {
  err << "device-search: " << found.size() << " devices have MAC " << ShownText(mac) << ":\n";
  for (const tComUnitInfo& info : found) {
    err << "  " << ShownText(FieldText(info.model)) << "  " << ShownText(FieldText(info.name)) << "  "
        << ShownText(FieldText(info.ip)) << "  " << ShownText(FieldText(info.mac)) << "\n";
  }
}

int ApplySetup(const SetupCommand& cmd, const AddressNeighbours& neighbours, ControlPackageSender& sender,
               DebugLog& log, std::ostream& out, std::ostream& err) {
  NetFormTexts texts = TextsOfRecord(neighbours.device.record);
  texts[NetEdit::kIp] = cmd.ip.value_or(texts[NetEdit::kIp]);
  texts[NetEdit::kNetmask] = cmd.netmask.value_or(texts[NetEdit::kNetmask]);
  texts[NetEdit::kGateway] = cmd.gateway.value_or(texts[NetEdit::kGateway]);
  texts[NetEdit::kDns] = cmd.dns.value_or(texts[NetEdit::kDns]);

  if (cmd.gateway) {
    NetSetupRules::ExitCheck check = NetSetupRules::CheckAddressExit(NetEdit::kGateway, texts);
    if (!check.notice.Empty()) err << check.notice.caption << ": " << ShownLines(check.notice.text) << "\n";
  }
  if (cmd.type == NetworkType::kStatic) {
    const StaticAddress address{texts[NetEdit::kIp], texts[NetEdit::kNetmask], texts[NetEdit::kGateway]};
    const std::string warning = UnreachableWarning(address.ip, neighbours.device.interface, neighbours.own);
    if (!warning.empty() && !CheckDeviceAddress(address, neighbours)) err << "Warning: " << ShownText(warning) << "\n";
  }
  NetSetupRules rules(sender, log);
  rules.SetNeighbours(neighbours);
  NetSetupRules::ApplyResult result = rules.Apply(cmd.type, texts);
  if (result.refused) {
    err << "device-search: " << ShownLines(result.refused->Message(": ")) << "; nothing was sent\n";
    return 2;
  }
  if (!result.close) {  // refused before sending (a text too long)
    err << result.notice.caption << ": " << ShownLines(result.notice.text) << "\n";
    return 1;
  }
  out << ShownLines(result.notice.text) << "\n";
  return result.sent ? 0 : 1;
}

int RunSetupCommand(const std::vector<std::string>& args) {
  std::string error;
  std::optional<SetupCommand> cmd = ParseSetupArguments(args, error);
  if (cmd && !CheckInterfaceNames(cmd->settings.interfaces, &error)) cmd.reset();
  if (cmd && !CheckRelayHost(cmd->settings, &error)) cmd.reset();
  if (std::optional<int> status = EndBeforeRunning("setup", cmd.has_value(), cmd && cmd->help, error, SetupUsage()))
    return *status;
  StderrLog log(cmd->verbose);
  if (!cmd->plan.file.empty()) return RunPlan(*cmd, log);
  // Devices found by UPnP cannot be re-addressed, so no UPnP phase is run.
  HeadlessSearch search(cmd->settings, false, log);
  search.Run();
  if (search.PortHeld()) return PortHeldStatus();

  std::vector<tComUnitInfo> found = DevicesWithMac(search.Table().devices, cmd->mac);
  if (found.empty()) {
    std::cerr << "device-search: no device with MAC " << ShownText(cmd->mac) << " was found\n";
    return 1;
  }
  if (found.size() > 1) {
    PrintDevicesWithSameMac(found, cmd->mac, std::cerr);
    return 1;
  }
  // The package goes out of the interface the device answered on.
  const DeviceList& devices = search.Table().devices;
  const tComUnitInfo* record = devices.FindFirst(FieldText(found.front().ip), FieldText(found.front().mac));
  const std::string interface = record != nullptr ? devices.InterfaceOf(record) : "";
  const SearchSettings sending = SendingSettings(cmd->settings);
  UdpControlPackageSender sender(sending, log);
  sender.SetDeviceInterface(interface);
  sender.SetDeviceAddress(std::string(FieldText(found.front().ip)));
  const AddressNeighbours neighbours{
      {found.front(), interface, record != nullptr ? devices.LocalAddressOf(record) : 0}, MachineAddresses(),
      PlanDevicesOf(devices)};
  return ApplySetup(*cmd, neighbours, sender, log, std::cout, std::cerr);
}

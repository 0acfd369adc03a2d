// `device-search setup`: its options, the search, the device by MAC, the send.
#include "cli/setup_command.h"

#include <QString>
#include <iostream>

#include "cli/headless_search.h"
#include "cli/options.h"
#include "cli/search_options.h"
#include "cli/stderr_log.h"
#include "protocol/string_printf.h"

namespace {

// What the options say before they are checked together.
struct SetupOptions {
  bool protocol_given = false;
  bool dhcp = false;
  bool stat = false;
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
      RelayOption(&cmd->settings, "search and send through the relay at ADDRESS"),
      ProtocolOption(&cmd->settings, &given->protocol_given),
      InterfaceOption(&cmd->settings, "search only on this interface (repeatable)"),
      VerboseOption(&cmd->verbose),
      HelpOption(&cmd->help),
  };
}

constexpr int kHelpColumn = 23;

}  // namespace

std::string SetupUsage() {
  SetupCommand unused;
  SetupOptions given;
  return "usage: device-search setup --mac MAC (--dhcp | --static --ip ADDRESS --netmask MASK\n"
         "                           --gateway ADDRESS [--dns ADDRESS])\n"
         "                           [--relay ADDRESS [--protocol tcp|udp|httpcmd] |\n"
         "                            --interface NAME...] [--verbose]\n"
         "\n"
         "Searches as 'device-search search --no-upnp' does, finds the one device whose\n"
         "MAC is MAC (ignoring case) and sends it a control package, as the window's\n"
         "\"Network Setup\" does: use DHCP, or the static addresses given. The package\n"
         "goes out of the network interface the device answered on.\n"
         "\n" +
         OptionList(SetupOptionTable(&unused, &given), kHelpColumn) +
         "\n"
         "Exit status: 0 when the package was sent, 1 when it was not or no single\n"
         "device has the MAC, 2 for bad arguments.\n";
}

std::optional<SetupCommand> ParseSetupArguments(const std::vector<std::string>& args, std::string& error) {
  SetupCommand cmd;
  SetupOptions given;
  if (!ReadOptions(args, SetupOptionTable(&cmd, &given), &error)) return std::nullopt;
  if (cmd.help) return cmd;
  if (cmd.mac.empty()) {
    error = "--mac is required";
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
  const std::pair<NetEdit, std::optional<std::string>*> addresses[] = {
      {NetEdit::kIp, &cmd.ip}, {NetEdit::kNetmask, &cmd.netmask},
      {NetEdit::kGateway, &cmd.gateway}, {NetEdit::kDns, &cmd.dns}};
  for (const auto& [edit, text] : addresses) {
    if (*text && !NetSetupRules::IsValidAddress(**text)) {
      error = StringPrintf("Invalid %s - [%s]", NetSetupRules::Caption(edit), (*text)->c_str());
      return std::nullopt;
    }
  }
  return cmd;
}

std::vector<tComUnitInfo> DevicesWithMac(const DeviceList& devices, const std::string& mac) {
  std::vector<tComUnitInfo> found;
  const QString wanted = QString::fromStdString(mac);
  for (const tComUnitInfo& info : devices.Records()) {
    QString have = QString::fromStdString(std::string(FieldText(info.mac)));
    if (have.compare(wanted, Qt::CaseInsensitive) == 0) found.push_back(info);
  }
  return found;
}

int ApplySetup(const SetupCommand& cmd, const tComUnitInfo& device, ControlPackageSender& sender,
               DebugLog& log, std::ostream& out, std::ostream& err) {
  NetFormTexts texts;
  texts[NetEdit::kModel] = std::string(FieldText(device.model));
  texts[NetEdit::kProj] = std::string(FieldText(device.proj));
  texts[NetEdit::kName] = std::string(FieldText(device.name));
  texts[NetEdit::kMac] = std::string(FieldText(device.mac));
  texts[NetEdit::kIp] = cmd.ip.value_or(std::string(FieldText(device.ip)));
  texts[NetEdit::kNetmask] = cmd.netmask.value_or(std::string(FieldText(device.netmask)));
  texts[NetEdit::kGateway] = cmd.gateway.value_or(std::string(FieldText(device.gateway)));
  texts[NetEdit::kDns] = cmd.dns.value_or(std::string(FieldText(device.dns)));
  texts[NetEdit::kDev] = std::string(FieldText(device.dev));
  texts[NetEdit::kPort] = std::string(FieldText(device.trigger_port));

  if (cmd.gateway) {
    NetSetupRules::ExitCheck check = NetSetupRules::CheckAddressExit(NetEdit::kGateway, texts);
    if (!check.notice.Empty()) err << check.notice.caption << ": " << check.notice.text << "\n";
  }
  NetSetupRules rules(sender, log);
  NetSetupRules::ApplyResult result = rules.Apply(cmd.type, texts);
  if (!result.close) {  // refused before sending (a text too long)
    err << result.notice.caption << ": " << result.notice.text << "\n";
    return 1;
  }
  out << result.notice.text << "\n";
  return result.sent ? 0 : 1;
}

int RunSetupCommand(const std::vector<std::string>& args) {
  std::string error;
  std::optional<SetupCommand> cmd = ParseSetupArguments(args, error);
  if (cmd && !CheckInterfaceNames(cmd->settings.interfaces, &error)) cmd.reset();
  if (std::optional<int> status = EndBeforeRunning("setup", cmd.has_value(), cmd && cmd->help, error, SetupUsage()))
    return *status;
  StderrLog log(cmd->verbose);
  // Devices found by UPnP cannot be re-addressed, so no UPnP phase is run.
  HeadlessSearch search(cmd->settings, false, log);
  search.Run();

  std::vector<tComUnitInfo> found = DevicesWithMac(search.Table().devices, cmd->mac);
  if (found.empty()) {
    std::cerr << "device-search: no device with MAC " << cmd->mac << " was found\n";
    return 1;
  }
  if (found.size() > 1) {
    std::cerr << "device-search: " << found.size() << " devices have MAC " << cmd->mac << ":\n";
    for (const tComUnitInfo& info : found) {
      std::cerr << "  " << FieldText(info.model) << "  " << FieldText(info.name) << "  " << FieldText(info.ip)
                << "  " << FieldText(info.mac) << "\n";
    }
    return 1;
  }
  // The package goes out of the interface the device answered on.
  const DeviceList& devices = search.Table().devices;
  const tComUnitInfo* record = devices.FindFirst(FieldText(found.front().ip), FieldText(found.front().mac));
  UdpControlPackageSender sender(cmd->settings, log);
  if (record != nullptr) sender.SetDeviceInterface(devices.InterfaceOf(record));
  return ApplySetup(*cmd, found.front(), sender, log, std::cout, std::cerr);
}

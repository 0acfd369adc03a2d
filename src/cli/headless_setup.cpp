// Headless Network Setup: arguments, the search, the device by MAC, the send.
#include "cli/headless_setup.h"

#include <QString>
#include <iostream>

#include "cli/headless.h"
#include "protocol/string_printf.h"

const char kSetupUsage[] =
    "usage: device-search setup --mac MAC (--dhcp | --static --ip ADDRESS --netmask MASK\n"
    "                           --gateway ADDRESS [--dns ADDRESS])\n"
    "                           [--relay ADDRESS [--protocol tcp|udp|httpcmd] |\n"
    "                            --interface NAME...] [--verbose]\n"
    "\n"
    "Searches as 'device-search search --no-upnp' does, finds the one device whose\n"
    "MAC is MAC (ignoring case) and sends it a control package, as the window's\n"
    "\"Network Setup\" does: use DHCP, or the static addresses given. The package\n"
    "goes out of the network interface the device answered on.\n"
    "\n"
    "  --mac MAC            the device's hardware address, as the search lists it\n"
    "  --dhcp               the device takes its addresses from a DHCP server\n"
    "  --static             the device uses the addresses given:\n"
    "  --ip ADDRESS           its address\n"
    "  --netmask MASK         its netmask\n"
    "  --gateway ADDRESS      its gateway (a warning when outside its subnet)\n"
    "  --dns ADDRESS          its DNS server (when left out, the one it has)\n"
    "  --relay ADDRESS      search and send through the relay at ADDRESS\n"
    "  --protocol PROTOCOL  the relay's protocol: tcp (the default), udp or httpcmd\n"
    "  --interface NAME     search only on this interface (repeatable)\n"
    "  --verbose            copy the debug log to standard error\n"
    "  -h, --help           print this help and exit\n"
    "\n"
    "Exit status: 0 when the package was sent, 1 when it was not or no single\n"
    "device has the MAC, 2 for bad arguments.\n";

std::optional<SetupCommand> ParseSetupArguments(const std::vector<std::string>& args,
                                                std::string& error) {
  SetupCommand cmd;
  bool relay = false, protocol = false, dhcp = false, stat = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::optional<std::string>& into) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      into = args[++i];
      return true;
    };
    std::optional<std::string> v;
    if (a == "--mac") {
      if (!value(v)) return std::nullopt;
      cmd.mac = *v;
    } else if (a == "--dhcp") {
      dhcp = true;
    } else if (a == "--static") {
      stat = true;
    } else if (a == "--ip") {
      if (!value(cmd.ip)) return std::nullopt;
    } else if (a == "--netmask") {
      if (!value(cmd.netmask)) return std::nullopt;
    } else if (a == "--gateway") {
      if (!value(cmd.gateway)) return std::nullopt;
    } else if (a == "--dns") {
      if (!value(cmd.dns)) return std::nullopt;
    } else if (a == "--relay") {
      if (!value(v)) return std::nullopt;
      cmd.settings.ip_relay = true;
      cmd.settings.relay_address = *v;
      relay = true;
    } else if (a == "--protocol") {
      if (!value(v)) return std::nullopt;
      std::optional<std::string> relay_protocol = RelayProtocolOf(*v);
      if (!relay_protocol) {
        error = "--protocol must be tcp, udp or httpcmd, not '" + *v + "'";
        return std::nullopt;
      }
      cmd.settings.relay_protocol = *relay_protocol;
      protocol = true;
    } else if (a == "--interface") {
      if (!value(v)) return std::nullopt;
      cmd.settings.interfaces.push_back(*v);
    } else if (a == "--verbose") {
      cmd.verbose = true;
    } else if (a == "--help" || a == "-h") {
      cmd.help = true;
      return cmd;
    } else {
      error = "unknown argument '" + a + "'";
      return std::nullopt;
    }
  }
  if (cmd.mac.empty()) {
    error = "--mac is required";
    return std::nullopt;
  }
  if (dhcp == stat) {
    error = "give exactly one of --dhcp and --static";
    return std::nullopt;
  }
  if (protocol && !relay) {
    error = "--protocol goes with --relay";
    return std::nullopt;
  }
  if (relay && !cmd.settings.interfaces.empty()) {
    error = kInterfaceWithRelayError;
    return std::nullopt;
  }
  if (dhcp && (cmd.ip || cmd.netmask || cmd.gateway || cmd.dns)) {
    error = "--dhcp takes no addresses";
    return std::nullopt;
  }
  if (stat && (!cmd.ip || !cmd.netmask || !cmd.gateway)) {
    error = "--static needs --ip, --netmask and --gateway";
    return std::nullopt;
  }
  cmd.type = dhcp ? NetworkType::kDhcp : NetworkType::kStatic;
  const std::pair<NetEdit, std::optional<std::string>*> given[] = {
      {NetEdit::kIp, &cmd.ip}, {NetEdit::kNetmask, &cmd.netmask},
      {NetEdit::kGateway, &cmd.gateway}, {NetEdit::kDns, &cmd.dns}};
  for (const auto& [edit, text] : given) {
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
  if (cmd && !CheckInterfaceNames(cmd->settings.interfaces, error)) cmd.reset();
  if (!cmd) {
    std::cerr << "device-search: " << error << " (see device-search setup --help)\n";
    return 2;
  }
  if (cmd->help) {
    std::cout << kSetupUsage;
    return 0;
  }
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

// The control package's default path to the network: reply socket on 6667,
// then one datagram to 6666, to the relay or out of the device's interface
// (every interface when that one is unknown or gone) from the address in the
// device's subnet, socket closed again.
// Kept apart so that code which injects its own sender does not need the
// transport.
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>

#include "netsetup/address_rules.h"
#include "netsetup/control_sender.h"
#include "protocol/interfaces.h"
#include "protocol/ipv4_text.h"
#include "protocol/string_printf.h"
#include "protocol/transport.h"

const char kControlSentOnLog[] = "Control package sent on %s\n";
const char kControlInterfaceGoneLog[] = "Interface %s is gone; the control package goes out of every interface\n";
const char kNoControlInterfaceLog[] = "No network interface to send the control package on\n";

namespace {

// The interfaces the package goes out of: the device's own when it is still
// there (and among those chosen), else every chosen one.
std::vector<NetInterface> TargetInterfaces(const std::string& device_interface,
                                           const SearchSettings& settings, DebugLog& log) {
  std::vector<NetInterface> chosen = SelectInterfaces(BroadcastInterfaces(), settings.interfaces);
  if (device_interface.empty()) return chosen;
  auto it = std::find_if(chosen.begin(), chosen.end(),
                         [&](const NetInterface& i) { return i.name == device_interface; });
  if (it != chosen.end()) return {*it};
  log.Append(StringPrintf(kControlInterfaceGoneLog, device_interface.c_str()));
  return chosen;
}

// `i` with one address only: the one in the subnet of `device_ip` (a
// dotted quad) when it has one, else its first.
NetInterface FromDeviceSubnet(NetInterface i, const std::string& device_ip) {
  const std::uint32_t device = htonl(StrictAddress(device_ip).value_or(0));
  const InterfaceAddress from = AddressForDevice(i, device).value_or(AddressesOf(i).front());
  i.address = from.address;
  i.netmask = from.netmask;
  i.addresses = {from};
  return i;
}

}  // namespace

int UdpControlPackageSender::Send(const char* encoded) {
  if (encoded == nullptr) return -1;
  int sock = -1;
  sockaddr_in addr{};
  if (DM_CreateUDPBroadcastSocket(kReplyPort, &sock, &addr, log_) != 0) return -1;
  int result = -1;
  if (settings_.ip_relay) {
    if (const std::string note = RelayTextNote(settings_.relay_address); !note.empty()) log_.Append(note);
    result = SendDatagram(kRequestPort, encoded, settings_, log_);
  } else {
    std::vector<NetInterface> targets = TargetInterfaces(interface_, settings_, log_);
    for (NetInterface& i : targets) i = FromDeviceSubnet(std::move(i), device_ip_);
    if (targets.empty()) {
      log_.Append(kNoControlInterfaceLog);
    } else {
      std::vector<std::string> sent = SendBroadcastOn(targets, kRequestPort, encoded, log_);
      if (!sent.empty()) {
        log_.Append(StringPrintf(kControlSentOnLog, JoinNames(sent).c_str()));
        result = 0;
      }
    }
  }
  if (sock >= 0) ::close(sock);
  return result;
}

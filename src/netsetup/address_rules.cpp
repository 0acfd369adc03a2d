// The addresses a device is never given, and the texts that are addresses.
#include "netsetup/address_rules.h"

#include <arpa/inet.h>

#include <algorithm>

#include "protocol/ipv4_text.h"
#include "protocol/string_printf.h"

std::optional<std::uint32_t> GivenAddress(std::string_view text) {
  const std::optional<std::uint32_t> address = StrictAddress(text);
  if (address == 0xFFFFFFFFu) return std::nullopt;
  return address;
}

std::vector<OwnAddress> OwnAddressesOf(const std::vector<NetInterface>& interfaces) {
  std::vector<OwnAddress> own;
  for (const NetInterface& i : interfaces)
    for (const InterfaceAddress& a : AddressesOf(i)) own.push_back({i.name, ntohl(a.address), ntohl(a.netmask)});
  return own;
}

std::vector<OwnAddress> MachineAddresses() { return OwnAddressesOf(BroadcastInterfaces()); }

std::string AddressRefusal::Invalid() const {
  const char* caption = "IP Address";
  if (field == AddressField::kNetmask) caption = "Netmask";
  if (field == AddressField::kGateway) caption = "Gateway";
  if (field == AddressField::kDns) caption = "DNS";
  return StringPrintf("Invalid %s - [%s]", caption, text.c_str());
}

std::string AddressRefusal::Message(const char* separator) const {
  return reason.empty() ? Invalid() : Invalid() + separator + reason;
}

namespace {

AddressRefusal Refusal(AddressField field, const std::string& text, std::string reason) {
  return {field, text, std::move(reason)};
}

}  // namespace

std::optional<AddressRefusal> CheckGivenAddress(AddressField field, const std::string& text) {
  if (GivenAddress(text)) return std::nullopt;
  return Refusal(field, text, NotStrictReason(text));
}

std::optional<AddressRefusal> CheckNetmask(const std::string& netmask) {
  if (std::optional<AddressRefusal> refused = CheckGivenAddress(AddressField::kNetmask, netmask)) return refused;
  const std::optional<std::uint32_t> mask = GivenAddress(netmask);
  if (*mask == 0) return Refusal(AddressField::kNetmask, netmask, netmask + " is not a usable netmask");
  // Contiguous: the zeros form one run at the low end, so ~mask + 1 is a power of two.
  const std::uint32_t hosts = ~*mask;
  if ((hosts & (hosts + 1)) != 0)
    return Refusal(AddressField::kNetmask, netmask, netmask + " is not a contiguous netmask");
  return std::nullopt;
}

std::optional<AddressRefusal> CheckAddressKind(const std::string& ip) {
  if (std::optional<AddressRefusal> refused = CheckGivenAddress(AddressField::kIp, ip)) return refused;
  const std::uint32_t a = *GivenAddress(ip);  // never 255.255.255.255
  const char* kind = nullptr;
  if (a == 0) kind = " is not a device address";
  else if ((a >> 24) == 127) kind = " is a loopback address";
  else if ((a >> 28) == 0xE) kind = " is a multicast address";
  else if ((a >> 28) == 0xF) kind = " is a reserved (class E) address";
  if (kind != nullptr) return Refusal(AddressField::kIp, ip, ip + kind);
  return std::nullopt;
}

std::optional<AddressRefusal> CheckStaticAddress(const StaticAddress& address, const std::string& interface,
                                                 const std::vector<OwnAddress>& own) {
  if (std::optional<AddressRefusal> refused = CheckNetmask(address.netmask)) return refused;
  if (std::optional<AddressRefusal> refused = CheckAddressKind(address.ip)) return refused;
  const std::uint32_t ip = *GivenAddress(address.ip);
  const std::uint32_t mask = *GivenAddress(address.netmask);
  const char* ip_text = address.ip.c_str();
  if (ip == (ip & mask))
    return Refusal(AddressField::kIp, address.ip,
                   StringPrintf("%s is the network address of netmask %s", ip_text, address.netmask.c_str()));
  if (ip == (ip | ~mask))
    return Refusal(AddressField::kIp, address.ip,
                   StringPrintf("%s is the broadcast address of netmask %s", ip_text, address.netmask.c_str()));
  if (GivenAddress(address.gateway) == ip)
    return Refusal(AddressField::kIp, address.ip, StringPrintf("%s is the gateway's address", ip_text));
  if (!interface.empty()) {
    for (const OwnAddress& mine : own)
      if (mine.interface == interface && mine.address == ip)
        return Refusal(AddressField::kIp, address.ip,
                       StringPrintf("%s is this PC's address on %s", ip_text, interface.c_str()));
  }
  return std::nullopt;
}

std::optional<AddressRefusal> CheckDeviceAddress(const StaticAddress& address, const AddressNeighbours& neighbours) {
  if (std::optional<AddressRefusal> refused =
          CheckStaticAddress(address, neighbours.device.interface, neighbours.own))
    return refused;
  const std::uint32_t ip = *GivenAddress(address.ip);
  for (const PlanDevice& other : neighbours.listed) {
    if (SameListing(other.record, neighbours.device.record)) continue;
    const std::vector<std::uint32_t> held = HeldAddresses(FieldText(other.record.ip));
    if (std::find(held.begin(), held.end(), ip) == held.end()) continue;
    return Refusal(AddressField::kIp, address.ip,
                   StringPrintf("%s is held by %s", address.ip.c_str(), std::string(FieldText(other.record.mac)).c_str()));
  }
  return std::nullopt;
}

std::string UnreachableWarning(const std::string& ip, const std::string& interface,
                               const std::vector<OwnAddress>& own) {
  const std::optional<std::uint32_t> address = GivenAddress(ip);
  if (!address || interface.empty()) return "";
  std::vector<InterfaceAddress> subnets;
  for (const OwnAddress& mine : own)
    if (mine.interface == interface) subnets.push_back({htonl(mine.address), htonl(mine.netmask)});
  if (subnets.empty() || InSubnetOf(subnets, htonl(*address))) return "";
  return "the device will not be reachable from " + SubnetsText(interface, subnets);
}

bool IsNoAddress(const std::string& text) { return GivenAddress(text) == 0u; }

std::string RelayAddressNote(const SearchSettings& settings) {
  if (!settings.ip_relay || settings.relay_protocol == "HttpCmd") return "";
  return RelayTextNote(settings.relay_address);
}

std::string RelayTextNote(const std::string& text) {
  if (IsStrictAddress(text)) return "";
  return StringPrintf("Relay address [%s] is not an IPv4 address such as 192.168.1.20; it is read as %s\n",
                      text.c_str(), DottedAddress(InetAddr(text.c_str())).c_str());
}

// Interface enumeration over getifaddrs.
#include "protocol/interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

std::vector<NetInterface> BroadcastInterfaces() {
  std::vector<NetInterface> found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return found;
  for (const ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET || a->ifa_name == nullptr) continue;
    const unsigned flags = a->ifa_flags;
    if ((flags & IFF_UP) == 0 || (flags & IFF_BROADCAST) == 0 || (flags & IFF_LOOPBACK) != 0) continue;
    std::string name = a->ifa_name;
    // An alias label ("eth0:1") names the same interface as "eth0".
    const std::size_t colon = name.find(':');
    if (colon != std::string::npos) name.resize(colon);
    InterfaceAddress address;
    address.address = reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
    if (a->ifa_netmask != nullptr)
      address.netmask = reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr;
    auto known = std::find_if(found.begin(), found.end(), [&](const NetInterface& i) { return i.name == name; });
    if (known != found.end()) {
      known->addresses.push_back(address);
      continue;
    }
    NetInterface i;
    i.name = name;
    i.index = if_nametoindex(name.c_str());
    if (i.index == 0) continue;  // gone meanwhile
    i.address = address.address;
    i.netmask = address.netmask;
    i.addresses.push_back(address);
    found.push_back(std::move(i));
  }
  freeifaddrs(list);
  return found;
}

std::vector<InterfaceAddress> AddressesOf(const NetInterface& i) {
  if (!i.addresses.empty()) return i.addresses;
  return {InterfaceAddress{i.address, i.netmask}};
}

std::optional<InterfaceAddress> AddressForDevice(const NetInterface& i, std::uint32_t device) {
  if (device == 0) return std::nullopt;
  for (const InterfaceAddress& a : AddressesOf(i))
    if ((a.address & a.netmask) == (device & a.netmask)) return a;
  return std::nullopt;
}

std::uint32_t LocalAddressFor(const NetInterface& i, std::uint32_t destination) {
  if (destination == htonl(INADDR_BROADCAST)) return 0;
  for (const InterfaceAddress& a : AddressesOf(i)) {
    if (a.netmask == 0xFFFFFFFFu) continue;  // a subnet of one address has no broadcast of its own
    if (destination == (a.address | ~a.netmask)) return a.address;
  }
  return destination;
}

std::vector<NetInterface> SelectInterfaces(const std::vector<NetInterface>& all,
                                           const std::vector<std::string>& wanted) {
  if (wanted.empty()) return all;
  std::vector<NetInterface> chosen;
  for (const NetInterface& i : all) {
    if (std::find(wanted.begin(), wanted.end(), i.name) != wanted.end()) chosen.push_back(i);
  }
  return chosen;
}

std::vector<std::string> UnknownInterfaces(const std::vector<NetInterface>& all,
                                           const std::vector<std::string>& wanted) {
  std::vector<std::string> unknown;
  for (const std::string& name : wanted) {
    if (std::none_of(all.begin(), all.end(), [&](const NetInterface& i) { return i.name == name; }))
      unknown.push_back(name);
  }
  return unknown;
}

std::string InterfaceNames(const std::vector<NetInterface>& interfaces) {
  std::vector<std::string> names;
  for (const NetInterface& i : interfaces) names.push_back(i.name);
  return JoinNames(names);
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string joined;
  for (const std::string& name : names) joined += (joined.empty() ? "" : ", ") + name;
  return joined;
}

std::string DottedAddress(std::uint32_t address) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr a{};
  a.s_addr = address;
  inet_ntop(AF_INET, &a, text, sizeof(text));
  return text;
}

bool InSubnetOf(const std::vector<InterfaceAddress>& subnets, std::uint32_t address) {
  return std::any_of(subnets.begin(), subnets.end(),
                     [address](const InterfaceAddress& s) { return ((address ^ s.address) & s.netmask) == 0; });
}

namespace {

int PrefixLength(std::uint32_t netmask) {
  const std::uint32_t host = ntohl(netmask);
  int n = 0;
  while (n < 32 && (host & (0x80000000u >> n))) ++n;
  return n;
}

}  // namespace

std::string SubnetsText(const std::string& name, const std::vector<InterfaceAddress>& subnets) {
  std::vector<std::string> texts;
  for (const InterfaceAddress& s : subnets)
    texts.push_back(DottedAddress(s.address) + "/" + std::to_string(PrefixLength(s.netmask)));
  return name + " (" + JoinNames(texts) + ")";
}

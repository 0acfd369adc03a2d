// The machine's network interfaces that a broadcast search goes out of:
// every one that is up, can broadcast and has an IPv4 address, loopback
// excluded. Read afresh (getifaddrs) at each call, so that interfaces that
// come and go between searches are picked up by the next one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// One IPv4 address of an interface, with its netmask, network byte order.
struct InterfaceAddress {
  std::uint32_t address = 0;
  std::uint32_t netmask = 0;
};

struct NetInterface {
  std::string name;            // "eth0"
  unsigned index = 0;          // the kernel's interface index
  std::uint32_t address = 0;   // its first IPv4 address, network byte order
  std::uint32_t netmask = 0;   // that address's netmask, network byte order
  // Every IPv4 address of the interface in the order the system lists them,
  // the first one (address, netmask) included. Empty in an interface made
  // by hand: then the first one alone counts (AddressesOf).
  std::vector<InterfaceAddress> addresses;
};

// Every usable interface in the order the system lists them, once each (an
// interface with several IPv4 addresses is listed once, with its first in
// address and netmask and all of them in addresses).
std::vector<NetInterface> BroadcastInterfaces();

// The addresses of `i`: i.addresses, or its first address alone when that
// list is empty.
std::vector<InterfaceAddress> AddressesOf(const NetInterface& i);

// The address of `i` whose subnet holds `device` (network byte order), the
// first such in order; nullopt when none does or `device` is 0.
std::optional<InterfaceAddress> AddressForDevice(const NetInterface& i, std::uint32_t device);

// The address of this machine that a datagram which came in on `i`, sent to
// `destination` (network byte order), reached: `destination` itself when it
// is a unicast address (the system delivers those only to its own), the
// address of `i` whose subnet's broadcast address it is, or 0 for the
// limited broadcast.
std::uint32_t LocalAddressFor(const NetInterface& i, std::uint32_t destination);

// Those of `all` whose names are in `wanted`, in the order of `all`; all of
// them when `wanted` is empty.
std::vector<NetInterface> SelectInterfaces(const std::vector<NetInterface>& all,
                                           const std::vector<std::string>& wanted);

// The names of `wanted` that are not among `all`, in the order given.
std::vector<std::string> UnknownInterfaces(const std::vector<NetInterface>& all,
                                           const std::vector<std::string>& wanted);

// The names joined by ", " ("" for none).
std::string InterfaceNames(const std::vector<NetInterface>& interfaces);
std::string JoinNames(const std::vector<std::string>& names);

// "10.99.0.1" for an address in network byte order.
std::string DottedAddress(std::uint32_t address);

// True when `address` (network byte order) lies in the subnet of one of
// `subnets` (address and netmask alike).
bool InSubnetOf(const std::vector<InterfaceAddress>& subnets, std::uint32_t address);
// An interface and its subnets as notes and warnings name them:
// "eth0 (10.99.0.1/24, 192.168.0.1/16)", each address of `subnets` with the
// length of its netmask's leading ones.
std::string SubnetsText(const std::string& name, const std::vector<InterfaceAddress>& subnets);

// The machine's network interfaces that a broadcast search goes out of:
// every one that is up, can broadcast and has an IPv4 address, loopback
// excluded. Read afresh (getifaddrs) at each call, so that interfaces that
// come and go between searches are picked up by the next one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct NetInterface {
  std::string name;            // "eth0"
  unsigned index = 0;          // the kernel's interface index
  std::uint32_t address = 0;   // its first IPv4 address, network byte order
  std::uint32_t netmask = 0;   // that address's netmask, network byte order
};

// Every usable interface in the order the system lists them, once each (an
// interface with several IPv4 addresses is listed with its first).
std::vector<NetInterface> BroadcastInterfaces();

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

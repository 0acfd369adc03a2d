// The address a device found by WS-Discovery is reached at, from its XAddrs
// (its service URLs) and the answer that brought them:
//
//   1. the first http:// XAddr whose host is an IPv4 address in a subnet of
//      the interface the answer came in on;
//   2. else the first http:// XAddr whose host is an IPv4 address;
//   3. else (host names or IPv6 only, or no usable URL) the address the
//      answer came from, with the port of the first http:// XAddr.
//
// Host names are never resolved; IPv6 XAddrs stay in the device's details
// only. The web page is http://IP:PORT/ of that address, port 80 when the
// URL gives none.
//
// Plain functions of their arguments, safe on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/interfaces.h"

// An http:// or https:// URL taken apart.
struct XaddrUrl {
  bool https = false;
  std::string host;        // "10.99.0.2", "[fe80::1]", "camera.local"
  bool ipv4 = false;       // host is a dotted quad (inet_pton's strict form)
  std::uint32_t address = 0;  // that address, network byte order
  bool ipv6 = false;       // host is a bracketed IPv6 address
  int port = 80;           // the URL's port, else 80 (443 for https)
  std::string path = "/";  // from the first '/' on, query included
};

// `url` taken apart; nullopt when it is not an http:// or https:// URL (scheme
// in any case) with a host, or its host or port are not plain: user
// information ('@'), blanks or controls, a port that is not 1 to 65535.
std::optional<XaddrUrl> ReadXaddr(std::string_view url);

struct OnvifAddress {
  std::string ip;        // "10.99.0.2"
  int port = 80;
  std::string web_page;  // "http://10.99.0.2:80/"
};

// The rule above, for a device whose XAddrs are `xaddrs` and whose answer
// came from `from` (network byte order) in on an interface with `subnets`.
OnvifAddress OnvifAddressOf(const std::vector<std::string>& xaddrs,
                            const std::vector<InterfaceAddress>& subnets, std::uint32_t from);

// The XAddr to ask for the device's details: the first http:// XAddr whose
// host is `from` itself, so that no answer can send the search to another
// host; nullopt when there is none.
std::optional<XaddrUrl> DetailsXaddr(const std::vector<std::string>& xaddrs, std::uint32_t from);

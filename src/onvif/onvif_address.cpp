// The address rule of WS-Discovery answers.
#include "onvif/onvif_address.h"

#include <arpa/inet.h>

#include "protocol/string_printf.h"

namespace {

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_';
}

std::optional<int> ReadPort(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  int port = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

}  // namespace

std::optional<XaddrUrl> ReadXaddr(std::string_view url) {
  XaddrUrl x;
  std::string_view rest;
  if (StartsWithIgnoringCase(url, "http://")) {
    rest = url.substr(7);
  } else if (StartsWithIgnoringCase(url, "https://")) {
    rest = url.substr(8);
    x.https = true;
    x.port = 443;
  } else {
    return std::nullopt;
  }
  for (char c : url)
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return std::nullopt;
  const std::size_t end = rest.find_first_of("/?#");
  const std::string_view authority = rest.substr(0, end);
  if (end != std::string_view::npos) {
    x.path = std::string(rest.substr(end));
    if (x.path.front() != '/') x.path = "/" + x.path;
  }
  if (authority.empty() || authority.find('@') != std::string_view::npos) return std::nullopt;
  std::string_view host = authority;
  std::string_view port;
  if (authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(0, close + 1);
    const std::string_view after = authority.substr(close + 1);
    if (!after.empty() && after.front() != ':') return std::nullopt;
    if (!after.empty()) port = after.substr(1);
    const std::string inner(host.substr(1, host.size() - 2));
    in6_addr six{};
    // A zone ("%eth0") is kept as written; the address before it must read.
    if (inet_pton(AF_INET6, inner.substr(0, inner.find('%')).c_str(), &six) != 1) return std::nullopt;
    x.ipv6 = true;
  } else {
    const std::size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon + 1);
    }
    if (host.empty()) return std::nullopt;
    for (char c : host)
      if (!IsNameCharacter(c)) return std::nullopt;
    in_addr four{};
    if (inet_pton(AF_INET, std::string(host).c_str(), &four) == 1) {
      x.ipv4 = true;
      x.address = four.s_addr;
    }
  }
  if (!port.empty()) {
    const std::optional<int> p = ReadPort(port);
    if (!p) return std::nullopt;
    x.port = *p;
  } else if (authority.back() == ':') {
    return std::nullopt;
  }
  x.host = std::string(host);
  return x;
}

OnvifAddress OnvifAddressOf(const std::vector<std::string>& xaddrs, const std::vector<InterfaceAddress>& subnets,
                            std::uint32_t from) {
  std::optional<XaddrUrl> in_subnet, any_ipv4, first_http;
  for (const std::string& text : xaddrs) {
    const std::optional<XaddrUrl> x = ReadXaddr(text);
    if (!x || x->https) continue;
    if (!first_http) first_http = x;
    if (!x->ipv4) continue;
    if (!any_ipv4) any_ipv4 = x;
    for (const InterfaceAddress& s : subnets) {
      if (!in_subnet && (s.address & s.netmask) == (x->address & s.netmask)) in_subnet = x;
    }
  }
  OnvifAddress a;
  if (const std::optional<XaddrUrl>& chosen = in_subnet ? in_subnet : any_ipv4) {
    a.ip = chosen->host;
    a.port = chosen->port;
  } else {
    a.ip = DottedAddress(from);
    a.port = first_http ? first_http->port : 80;
  }
  a.web_page = StringPrintf("http://%s:%d/", a.ip.c_str(), a.port);
  return a;
}

std::optional<XaddrUrl> DetailsXaddr(const std::vector<std::string>& xaddrs, std::uint32_t from) {
  for (const std::string& text : xaddrs) {
    const std::optional<XaddrUrl> x = ReadXaddr(text);
    if (x && !x->https && x->ipv4 && x->address == from) return x;
  }
  return std::nullopt;
}

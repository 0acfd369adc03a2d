// The strict and the lenient reading of IPv4 address texts.
#include "protocol/ipv4_text.h"

#include <arpa/inet.h>

namespace {

// Four dot-separated parts of one to `max_digits` decimal digits, each at
// most 255; leading zeros only when `zeros` allows them. Host byte order.
std::optional<std::uint32_t> DecimalQuad(std::string_view text, bool zeros) {
  std::uint32_t host = 0;
  std::size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && (i >= text.size() || text[i++] != '.')) return std::nullopt;
    const std::size_t start = i;
    unsigned value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3)
      value = value * 10 + static_cast<unsigned>(text[i++] - '0');
    if (i == start || value > 255 || (!zeros && text[start] == '0' && i - start > 1)) return std::nullopt;
    host = host << 8 | value;
  }
  if (i != text.size()) return std::nullopt;
  return host;
}

}  // namespace

std::optional<std::uint32_t> StrictAddress(std::string_view text) { return DecimalQuad(text, false); }

bool IsStrictAddress(std::string_view text) { return StrictAddress(text).has_value(); }

std::string NotStrictReason(std::string_view text) {
  if (text.empty() || IsStrictAddress(text)) return "";
  return "not a dotted quad such as 192.168.1.20 (four decimal numbers from 0 to 255, no leading zeros, nothing "
         "else)";
}

std::optional<std::uint32_t> LenientAddress(std::string_view text) {
  in_addr address{};
  if (inet_aton(std::string(text).c_str(), &address) == 0) return std::nullopt;
  return ntohl(address.s_addr);
}

std::uint32_t InetAddr(const char* text) {
  if (text == nullptr) return kInetAddrNone;
  const std::optional<std::uint32_t> host = LenientAddress(text);
  return host ? htonl(*host) : kInetAddrNone;
}

std::vector<std::uint32_t> HeldAddresses(std::string_view text) {
  std::vector<std::uint32_t> held;
  if (std::optional<std::uint32_t> decimal = DecimalQuad(text, true)) held.push_back(*decimal);
  if (std::optional<std::uint32_t> lenient = LenientAddress(text))
    if (held.empty() || held.front() != *lenient) held.push_back(*lenient);
  return held;
}

bool SameAddressText(std::string_view a, std::string_view b) {
  const std::optional<std::uint32_t> x = StrictAddress(a), y = StrictAddress(b);
  if (x || y) return x == y;
  return a == b;
}

std::string DottedText(std::uint32_t host) {
  char text[INET_ADDRSTRLEN] = {};
  in_addr address{};
  address.s_addr = htonl(host);
  inet_ntop(AF_INET, &address, text, sizeof(text));
  return text;
}

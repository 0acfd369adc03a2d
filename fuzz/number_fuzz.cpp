// Fuzz target: the small text rules of the codec and of IPv4 texts: the MAC
// test, the number parse, the dotted-address conversion and the strict rule.
//
// Input: one text (up to its first zero byte).
//
// Checks: GetMacFromCString is true exactly when the text holds five ":"
// or more; ParseNumber equals atol's reading computed wide and clamped to
// long, and leaves errno alone; InetAddr gives the expected address for a
// plain dotted quad, fails on an empty text, and an address it gives reads
// back the same from its dotted form; StrictAddress takes exactly the plain
// dotted quads (as inet_pton does), and what a device reporting the text
// holds is at most two addresses, the conversion's among them.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <algorithm>

#include "fuzz_check.h"
#include "protocol/codec.h"
#include "protocol/ipv4_text.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

long ReferenceNumber(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  __int128 value = 0;
  const __int128 cap = static_cast<__int128>(LONG_MAX) + 1;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    value = value * 10 + (s[i] - '0');
    if (value > cap) value = cap;  // far enough out: stays clamped
  }
  if (negative) value = -value;
  if (value > LONG_MAX) return LONG_MAX;
  if (value < LONG_MIN) return LONG_MIN;
  return static_cast<long>(value);
}

// The address of "a.b.c.d" with four decimal parts 0..255 and no leading
// zeros, in network byte order; false for any other text.
bool PlainDottedQuad(const std::string& s, std::uint32_t* out) {
  std::uint32_t host = 0;
  std::size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= s.size() || s[i] != '.') return false;
      ++i;
    }
    std::size_t start = i;
    unsigned value = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 3) value = value * 10 + (s[i++] - '0');
    const std::size_t digits = i - start;
    if (digits == 0 || value > 255 || (digits > 1 && s[start] == '0')) return false;
    if (i < s.size() && s[i] >= '0' && s[i] <= '9') return false;
    host = (host << 8) | value;
  }
  if (i != s.size()) return false;
  *out = htonl(host);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text = TextOf(data, size);

  std::size_t colons = 0;
  for (char c : text) colons += c == ':';
  FUZZ_CHECK(GetMacFromCString(text.c_str()) == (colons >= 5), "MAC test");

  errno = 12345;
  const long number = ParseNumber(text.c_str());
  FUZZ_CHECK(errno == 12345, "ParseNumber changed errno");
  FUZZ_CHECK(number == ReferenceNumber(text), "ParseNumber differs from the clamped reading");

  const std::uint32_t address = InetAddr(text.c_str());
  std::uint32_t expected = 0;
  if (PlainDottedQuad(text, &expected))
    FUZZ_CHECK(address == expected, "a plain dotted quad converts otherwise");
  if (text.empty()) FUZZ_CHECK(address == kInetAddrNone, "an empty text converts");
  if (address != kInetAddrNone) {
    in_addr a{};
    a.s_addr = address;
    char dotted[INET_ADDRSTRLEN] = {};
    FUZZ_CHECK(inet_ntop(AF_INET, &a, dotted, sizeof(dotted)) != nullptr, "inet_ntop");
    FUZZ_CHECK(InetAddr(dotted) == address, "the dotted form reads back otherwise");
  }

  const std::optional<std::uint32_t> strict = StrictAddress(text);
  in_addr pton{};
  FUZZ_CHECK(strict.has_value() == (inet_pton(AF_INET, text.c_str(), &pton) == 1),
             "the strict rule is not inet_pton's");
  FUZZ_CHECK(strict.has_value() == PlainDottedQuad(text, &expected), "the strict rule takes another text");
  if (strict) FUZZ_CHECK(htonl(*strict) == expected && DottedText(*strict) == text, "a strict text reads otherwise");
  const std::vector<std::uint32_t> held = HeldAddresses(text);
  FUZZ_CHECK(held.size() <= 2, "more than two addresses held");
  if (strict) FUZZ_CHECK(held == std::vector<std::uint32_t>{*strict}, "a strict text holds another address");
  if (const std::optional<std::uint32_t> lenient = LenientAddress(text))
    FUZZ_CHECK(std::find(held.begin(), held.end(), *lenient) != held.end(), "the conversion's address is not held");
  return 0;
}

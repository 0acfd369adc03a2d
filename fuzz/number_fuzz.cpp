// Fuzz target: the small text rules of the codec: the MAC test, the number
// parse and the dotted-address conversion.
//
// Input: one text (up to its first zero byte).
//
// Checks: GetMacFromCString is true exactly when the text holds five ":"
// or more; ParseNumber equals atol's reading computed wide and clamped to
// long, and leaves errno alone; InetAddr gives the expected address for a
// plain dotted quad, fails on an empty text, and an address it gives reads
// back the same from its dotted form.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "protocol/codec.h"

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
  return 0;
}

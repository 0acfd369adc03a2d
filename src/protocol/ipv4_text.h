// IPv4 addresses written as text: the one strict rule by which the program
// reads every address it takes from a person or a file, the C library's
// lenient reading (what devices and relays that convert with inet_addr make
// of a text), and what a device that reports a text outside the strict rule
// may hold. Plain functions of their arguments, any thread.
//
// The strict rule is inet_pton's: four decimal numbers from 0 to 255
// separated by dots, without leading zeros, with nothing before or after.
// A strict text has one spelling per address, so two strict texts are the
// same address exactly when they are equal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The strict reading ("10.0.0.1"), in host byte order; none for any other
// text: "10.1", "010.0.0.1", "0x0a.0.0.1", "10.0.0.1 x", "10.0.0.256", "".
std::optional<std::uint32_t> StrictAddress(std::string_view text);
bool IsStrictAddress(std::string_view text);

// Why `text` does not pass the strict rule, as a refusal's reason after the
// text: "not a dotted quad such as 192.168.1.20 (four decimal numbers from 0
// to 255, no leading zeros, nothing else)"; "" for a strict text and for the
// empty text, which need no reason.
std::string NotStrictReason(std::string_view text);

// The C library's reading (inet_aton, which inet_addr uses): one to four
// parts, each decimal, octal with a leading 0 or hexadecimal with 0x, the
// last one filling the bytes left ("10.1" is 10.0.0.1, "10.0.0.011" is
// 10.0.0.9), and anything after a blank ignored ("10.0.0.1 x" is 10.0.0.1).
// Host byte order; none when it fails. A text stops at a zero byte.
std::optional<std::uint32_t> LenientAddress(std::string_view text);

// The lenient reading as inet_addr gives it: network byte order, and
// kInetAddrNone when it fails (as 255.255.255.255 gives too). The
// discovery protocol's own conversion: the reply parser's field checks and
// the relay address a relay reads.
std::uint32_t InetAddr(const char* text);
constexpr std::uint32_t kInetAddrNone = 0xFFFFFFFFu;

// The addresses a device that reports `text` as its address may be at, in
// host byte order, each once: the text read as four decimal numbers of up to
// three digits each (leading zeros read as a person reads them:
// "10.0.0.011" is 10.0.0.11), and the C library's reading (10.0.0.9). A
// strict text gives its one address; a text that neither reading takes
// gives none. At most two.
std::vector<std::uint32_t> HeldAddresses(std::string_view text);

// Two address texts as the same address: both strict and of one value, which
// for strict texts is being equal; two texts outside the rule only when they
// are the same bytes (neither has one value to compare).
bool SameAddressText(std::string_view a, std::string_view b);

// "10.0.0.1" for a host-order address.
std::string DottedText(std::uint32_t host);

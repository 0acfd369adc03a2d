// Fuzz target: device text as shown on terminals and in files (ShownText,
// ShownLogEntry, DisplayWidth).
//
// Input: any bytes, zero bytes included.
//
// Checks: what is shown is valid UTF-8 and holds nothing but printable text
// and escapes: no C0 control, DEL, C1 control or bidi override, and every
// backslash begins a whole escape ("\\", "\xNN" of a control, "\u{NNNN}" of
// an override), so no sequence is ever left open. Undoing the escapes gives
// back exactly the text the record text rule reads. A log entry is one line
// ending in its one line feed. The width is at most two cells a character,
// and one a character for printable ASCII.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "protocol/record_text.h"
#include "protocol/shown_text.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case is not written
}

// `count` lower-case hex digits of `s` at `at`, or -1.
long Hex(std::string_view s, std::size_t at, std::size_t count) {
  if (at + count > s.size()) return -1;
  long value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int digit = HexValue(s[at + i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); }
bool IsBidiControl(char32_t c) { return (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069); }

// The characters of `shown` (valid UTF-8) with its escapes undone; checks
// that no control or override is left and that every escape is whole and
// stands for what it must.
std::u32string Unescaped(const std::u32string& shown) {
  std::u32string out;
  for (std::size_t k = 0; k < shown.size(); ++k) {
    const char32_t c = shown[k];
    FUZZ_CHECK(!IsControl(c), "a control is shown");
    FUZZ_CHECK(!IsBidiControl(c), "a bidi override is shown");
    if (c != '\\') {
      out += c;
      continue;
    }
    FUZZ_CHECK(k + 1 < shown.size(), "a backslash ends the text");
    std::string rest;  // the next (up to) seven characters after the kind
    for (std::size_t j = k + 2; j < shown.size() && j < k + 9; ++j)
      rest += shown[j] < 0x80 ? static_cast<char>(shown[j]) : '?';
    const char32_t kind = shown[k + 1];
    if (kind == '\\') {
      out += U'\\';
      k += 1;
    } else if (kind == 'x') {
      const long value = Hex(rest, 0, 2);
      FUZZ_CHECK(value >= 0 && IsControl(static_cast<char32_t>(value)), "\\x of no control");
      out += static_cast<char32_t>(value);
      k += 3;
    } else if (kind == 'u') {
      FUZZ_CHECK(rest.size() >= 6 && rest[0] == '{' && rest[5] == '}', "an open \\u{");
      const long value = Hex(rest, 1, 4);
      FUZZ_CHECK(value >= 0 && IsBidiControl(static_cast<char32_t>(value)), "\\u{} of no override");
      out += static_cast<char32_t>(value);
      k += 7;
    } else {
      FUZZ_CHECK(false, "a backslash begins no escape");
    }
  }
  return out;
}

std::u32string Characters(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toStdU32String();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string shown = ShownText(bytes);
  FUZZ_CHECK(IsValidUtf8(shown), "shown text is not UTF-8");
  const std::u32string characters = Characters(shown);
  FUZZ_CHECK(Unescaped(characters) == RecordText(bytes).toStdU32String(), "the escapes do not give the text back");

  const std::string entry = ShownLogEntry(bytes);
  const std::string_view body = bytes.ends_with('\n') ? bytes.substr(0, size - 1) : bytes;
  FUZZ_CHECK(entry == ShownText(body) + "\n", "a log entry is not its shown text and one line feed");

  const std::size_t width = DisplayWidth(shown);
  FUZZ_CHECK(width <= 2 * characters.size(), "wider than two cells a character");
  bool ascii = true;
  for (char c : shown) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) FUZZ_CHECK(width == shown.size(), "printable ASCII is not one cell a character");
  return 0;
}

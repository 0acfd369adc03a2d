// Fuzz target: device text as read by the record text rule (Utf8Text,
// RecordText) and as shown on terminals and in files (ShownText,
// UnshownText, ShownLogEntry, DisplayWidth).
//
// Input: any bytes, zero bytes included.
//
// Checks: the record text rule agrees with Qt's UTF-8 decoder: well-formed
// UTF-8 is read whole, and a text read without a cut last character is
// well-formed up to it, drops no more than three bytes, ends in the start of
// a character that some continuation makes whole, and shows that it is UTF-8
// (a multibyte character before the cut, or two bytes of the cut one).
// What is shown is valid UTF-8 and holds nothing but printable text and
// escapes: no C0 control, DEL, C1 control, bidi control, zero-width
// character or line or paragraph separator, and every backslash begins a
// whole escape ("\\", "\xNN" of a control, "\u{NNNN}" of one of those format
// characters), so no sequence is ever left open. Undoing the escapes, by
// hand and by UnshownText, gives back exactly the text the record text rule
// reads. A log entry is one line ending in its one line feed. The width is at
// most two cells a character, and one a character for printable ASCII.
#include <QStringDecoder>
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
// The format characters shown as "\u{NNNN}", listed one by one.
bool IsEscapedFormat(char32_t c) {
  static const char32_t kEscaped[] = {0x061c, 0x200b, 0x200c, 0x200d, 0x200e, 0x200f, 0x2028, 0x2029,
                                      0x202a, 0x202b, 0x202c, 0x202d, 0x202e, 0x2060, 0x2061, 0x2062,
                                      0x2063, 0x2064, 0x2066, 0x2067, 0x2068, 0x2069, 0xfeff};
  for (char32_t e : kEscaped)
    if (c == e) return true;
  return false;
}

// The characters of `shown` (valid UTF-8) with its escapes undone; checks
// that no control or escaped format character is left and that every escape
// is whole and stands for what it must.
std::u32string Unescaped(const std::u32string& shown) {
  std::u32string out;
  for (std::size_t k = 0; k < shown.size(); ++k) {
    const char32_t c = shown[k];
    FUZZ_CHECK(!IsControl(c), "a control is shown");
    FUZZ_CHECK(!IsEscapedFormat(c), "an invisible format character is shown");
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
      FUZZ_CHECK(value >= 0 && IsEscapedFormat(static_cast<char32_t>(value)), "\\u{} of no escaped character");
      out += static_cast<char32_t>(value);
      k += 7;
    } else {
      FUZZ_CHECK(false, "a backslash begins no escape");
    }
  }
  return out;
}

// Every character of `utf8`, a leading U+FEFF too.
std::u32string Characters(std::string_view utf8) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
  return QString(decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())))).toStdU32String();
}

bool QtReadsUtf8(std::string_view bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  return !decoder.hasError();
}

// Whether some continuation makes `start` (one to three bytes) one whole
// character, as Qt's decoder judges it.
bool StartsACharacter(std::string_view start) {
  static const char kNext[] = {'\x80', '\x8f', '\x90', '\x9f', '\xa0', '\xbf'};
  if (start.size() >= 4) return false;
  for (char next : kNext) {
    const std::string longer = std::string(start) + next;
    if (QtReadsUtf8(longer) || StartsACharacter(longer)) return true;
  }
  return false;
}

void CheckRecordTextRule(std::string_view bytes) {
  const std::optional<std::string_view> text = Utf8Text(bytes);
  FUZZ_CHECK(IsValidUtf8(bytes) == QtReadsUtf8(bytes), "IsValidUtf8 and Qt disagree");
  if (QtReadsUtf8(bytes)) FUZZ_CHECK(text && text->size() == bytes.size(), "UTF-8 is not read whole");
  if (!text || text->size() == bytes.size()) return;
  FUZZ_CHECK(text->data() == bytes.data() && QtReadsUtf8(*text), "what is left of a cut text is no UTF-8");
  const std::string_view cut = bytes.substr(text->size());
  FUZZ_CHECK(cut.size() <= 3 && StartsACharacter(cut), "more than a cut character is left out");
  bool multibyte = false;
  for (char c : *text) multibyte = multibyte || static_cast<unsigned char>(c) >= 0x80;
  FUZZ_CHECK(multibyte || cut.size() >= 2, "a lone lead byte after ASCII is taken for a cut character");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckRecordTextRule(bytes);

  const std::string shown = ShownText(bytes);
  FUZZ_CHECK(IsValidUtf8(shown), "shown text is not UTF-8");
  const std::u32string characters = Characters(shown);
  const QString read = RecordText(bytes);
  FUZZ_CHECK(Unescaped(characters) == read.toStdU32String(), "the escapes do not give the text back");
  FUZZ_CHECK(UnshownText(shown) == read.toStdString(), "UnshownText does not give the text back");

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

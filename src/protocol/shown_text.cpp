// Device text escaped for terminals, files and CSV, and its width in cells.
#include "protocol/shown_text.h"

#include <QChar>
#include <algorithm>
#include <optional>

#include "protocol/record_text.h"

namespace {

struct CodeRange {
  char32_t first;
  char32_t last;
};

// Wide and full-width characters (East Asian Width W or F, assigned ones,
// and the two ideograph planes whole), from the Unicode 14 character data.
constexpr CodeRange kWide[] = {
    {0x1100, 0x115f}, {0x231a, 0x231b}, {0x2329, 0x232a}, {0x23e9, 0x23ec}, {0x23f0, 0x23f0},
    {0x23f3, 0x23f3}, {0x25fd, 0x25fe}, {0x2614, 0x2615}, {0x2648, 0x2653}, {0x267f, 0x267f},
    {0x2693, 0x2693}, {0x26a1, 0x26a1}, {0x26aa, 0x26ab}, {0x26bd, 0x26be}, {0x26c4, 0x26c5},
    {0x26ce, 0x26ce}, {0x26d4, 0x26d4}, {0x26ea, 0x26ea}, {0x26f2, 0x26f3}, {0x26f5, 0x26f5},
    {0x26fa, 0x26fa}, {0x26fd, 0x26fd}, {0x2705, 0x2705}, {0x270a, 0x270b}, {0x2728, 0x2728},
    {0x274c, 0x274c}, {0x274e, 0x274e}, {0x2753, 0x2755}, {0x2757, 0x2757}, {0x2795, 0x2797},
    {0x27b0, 0x27b0}, {0x27bf, 0x27bf}, {0x2b1b, 0x2b1c}, {0x2b50, 0x2b50}, {0x2b55, 0x2b55},
    {0x2e80, 0x2e99}, {0x2e9b, 0x2ef3}, {0x2f00, 0x2fd5}, {0x2ff0, 0x2ffb}, {0x3000, 0x3029},
    {0x302e, 0x303e}, {0x3041, 0x3096}, {0x309b, 0x30ff}, {0x3105, 0x312f}, {0x3131, 0x318e},
    {0x3190, 0x31e3}, {0x31f0, 0x321e}, {0x3220, 0x3247}, {0x3250, 0x4dbf}, {0x4e00, 0xa48c},
    {0xa490, 0xa4c6}, {0xa960, 0xa97c}, {0xac00, 0xd7a3}, {0xf900, 0xfa6d}, {0xfa70, 0xfad9},
    {0xfe10, 0xfe19}, {0xfe30, 0xfe52}, {0xfe54, 0xfe66}, {0xfe68, 0xfe6b}, {0xff01, 0xff60},
    {0xffe0, 0xffe6}, {0x16fe0, 0x16fe3}, {0x16ff0, 0x16ff1}, {0x17000, 0x187f7}, {0x18800, 0x18cd5},
    {0x18d00, 0x18d08}, {0x1aff0, 0x1aff3}, {0x1aff5, 0x1affb}, {0x1affd, 0x1affe}, {0x1b000, 0x1b122},
    {0x1b150, 0x1b152}, {0x1b164, 0x1b167}, {0x1b170, 0x1b2fb}, {0x1f004, 0x1f004}, {0x1f0cf, 0x1f0cf},
    {0x1f18e, 0x1f18e}, {0x1f191, 0x1f19a}, {0x1f200, 0x1f202}, {0x1f210, 0x1f23b}, {0x1f240, 0x1f248},
    {0x1f250, 0x1f251}, {0x1f260, 0x1f265}, {0x1f300, 0x1f320}, {0x1f32d, 0x1f335}, {0x1f337, 0x1f37c},
    {0x1f37e, 0x1f393}, {0x1f3a0, 0x1f3ca}, {0x1f3cf, 0x1f3d3}, {0x1f3e0, 0x1f3f0}, {0x1f3f4, 0x1f3f4},
    {0x1f3f8, 0x1f43e}, {0x1f440, 0x1f440}, {0x1f442, 0x1f4fc}, {0x1f4ff, 0x1f53d}, {0x1f54b, 0x1f54e},
    {0x1f550, 0x1f567}, {0x1f57a, 0x1f57a}, {0x1f595, 0x1f596}, {0x1f5a4, 0x1f5a4}, {0x1f5fb, 0x1f64f},
    {0x1f680, 0x1f6c5}, {0x1f6cc, 0x1f6cc}, {0x1f6d0, 0x1f6d2}, {0x1f6d5, 0x1f6d7}, {0x1f6dd, 0x1f6df},
    {0x1f6eb, 0x1f6ec}, {0x1f6f4, 0x1f6fc}, {0x1f7e0, 0x1f7eb}, {0x1f7f0, 0x1f7f0}, {0x1f90c, 0x1f93a},
    {0x1f93c, 0x1f945}, {0x1f947, 0x1f9ff}, {0x1fa70, 0x1fa74}, {0x1fa78, 0x1fa7c}, {0x1fa80, 0x1fa86},
    {0x1fa90, 0x1faac}, {0x1fab0, 0x1faba}, {0x1fac0, 0x1fac5}, {0x1fad0, 0x1fad9}, {0x1fae0, 0x1fae7},
    {0x1faf0, 0x1faf6}, {0x20000, 0x2fffd}, {0x30000, 0x3fffd},
};

bool IsWide(char32_t c) {
  auto it = std::upper_bound(std::begin(kWide), std::end(kWide), c,
                             [](char32_t v, const CodeRange& r) { return v < r.first; });
  return it != std::begin(kWide) && c <= std::prev(it)->last;
}

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); }

// The invisible format characters that are escaped: the bidi marks,
// embeddings, overrides and isolates (U+061C, U+200E, U+200F, U+202A-U+202E,
// U+2066-U+2069), the zero-width ones (U+200B-U+200D, U+2060-U+2064, U+FEFF)
// and the line and paragraph separators (U+2028, U+2029).
bool IsEscapedFormat(char32_t c) {
  return c == 0x061c || (c >= 0x200b && c <= 0x200f) || (c >= 0x2028 && c <= 0x202e) ||
         (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x2069) || c == 0xfeff;
}

// Cells taken by one character.
int CharacterWidth(char32_t c) {
  if (IsControl(c)) return 0;
  if (c >= 0x1160 && c <= 0x11ff) return 0;  // Hangul vowels and finals join the syllable before
  switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
      return 0;
    case QChar::Other_Format:
      return c == 0xad ? 1 : 0;  // a soft hyphen is drawn
    default:
      return IsWide(c) ? 2 : 1;
  }
}

// Calls `each(code_point, bytes)` for every character of `bytes` read by the
// record text rule; `bytes` is the character's own UTF-8 sequence when the
// text is UTF-8, else its one Latin-1 byte.
template <typename Each>
void ForEachCharacter(std::string_view bytes, Each each) {
  const std::optional<std::string_view> text = Utf8Text(bytes);
  const bool utf8 = text.has_value();
  if (utf8) bytes = *text;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 1;
    char32_t c = lead;
    if (utf8 && lead >= 0x80) {
      length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : 2;
      c = lead & (0x7f >> length);
      for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3f);
    }
    each(c, bytes.substr(i, length));
    i += length;
  }
}

const char kHex[] = "0123456789abcdef";

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

int HexDigit(char c, bool lower_only) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (!lower_only && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ShownText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  ForEachCharacter(bytes, [&out](char32_t c, std::string_view sequence) {
    if (IsControl(c)) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xf];
    } else if (IsEscapedFormat(c)) {
      out += "\\u{";
      for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xf];
      out += '}';
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c >= 0x80 && sequence.size() == 1) {  // a Latin-1 character, in UTF-8
      AppendUtf8(out, c);
    } else {
      out += sequence;
    }
  });
  return out;
}

std::string UnshownText(std::string_view shown) {
  std::string out;
  out.reserve(shown.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] != '\\') {
      out += shown[i];
      continue;
    }
    std::string_view rest = shown.substr(i + 1);
    if (!rest.empty() && rest[0] == '\\') {
      out += '\\';
      i += 1;
    } else if (rest.size() >= 3 && rest[0] == 'x' && HexDigit(rest[1], true) >= 0 && HexDigit(rest[2], true) >= 0) {
      AppendUtf8(out, static_cast<char32_t>(HexDigit(rest[1], true) * 16 + HexDigit(rest[2], true)));
      i += 3;
    } else if (rest.size() >= 4 && rest.substr(0, 2) == "u{") {
      const std::size_t close = rest.find('}');
      char32_t c = 0;
      bool ok = close != std::string_view::npos && close >= 3 && close <= 8;
      for (std::size_t k = 2; ok && k < close; ++k) {
        const int d = HexDigit(rest[k], false);
        ok = d >= 0;
        c = c * 16 + static_cast<char32_t>(d);
      }
      if (ok && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)) {
        AppendUtf8(out, c);
        i += close + 1;
      } else {
        out += '\\';
      }
    } else {
      out += '\\';
    }
  }
  return out;
}

std::string ShownLines(std::string_view text) {
  std::string out;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find('\n', start);
    out += ShownText(text.substr(start, end - start));
    if (end == std::string_view::npos) return out;
    out += '\n';
    start = end + 1;
  }
}

std::string ShownLogEntry(std::string_view entry) {
  if (!entry.empty() && entry.back() == '\n') entry.remove_suffix(1);
  return ShownText(entry) + '\n';
}

std::size_t DisplayWidth(std::string_view text) {
  std::size_t cells = 0;
  ForEachCharacter(text, [&cells](char32_t c, std::string_view) {
    cells += static_cast<std::size_t>(CharacterWidth(c));
  });
  return cells;
}

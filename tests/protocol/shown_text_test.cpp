// Device text as shown on terminals, in files and in CSV: the escapes, the
// log entry's line end, the width in terminal cells and the formula guard.
#include "protocol/shown_text.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/csv_cell.h"
#include "protocol/record_text.h"

namespace {

struct Case {
  std::string in;
  std::string out;
};

}  // namespace

TEST(ShownText, EscapesEveryControlAndInvisibleFormatCharacterAndKeepsWholeCharacters) {
  const Case cases[] = {
      {"\x1b]0;pwned\x07", "\\x1b]0;pwned\\x07"},          // OSC: retitles the terminal
      {"\x1b[2J", "\\x1b[2J"},                              // CSI: clears the screen
      {"ring\a", "ring\\x07"},                              // BEL
      {"a\tb\r\nc", "a\\x09b\\x0d\\x0ac"},                  // no line of its own
      {std::string("a\0b", 3), "a\\x00b"},                  // NUL
      {"del\x7f", "del\\x7f"},                              // DEL
      {"\xc2\x9b" "2J \xc2\x85", "\\x9b2J \\x85"},          // C1 as UTF-8 (CSI, NEL)
      {"\x9b" "2J caf\xe9", "\\x9b2J caf\xc3\xa9"},         // C1 as Latin-1: the text is not UTF-8
      // A port field cut to 7 bytes inside an OSC, and names cut inside a
      // UTF-8 character (read as UTF-8 without it): nothing is left open.
      {"\x1b]0;pwn", "\\x1b]0;pwn"},
      {"ab\xe6\x97", "ab"},
      {"\xc3\xa9\xc3\xa9\xc3", "\xc3\xa9\xc3\xa9"},
      {"Caf\xe9", "Caf\xc3\xa9"},                           // but a lone 0xE9 after ASCII is Latin-1
      // Bidi controls, which reorder what follows them: overrides,
      // embeddings, isolates and the marks.
      {"\xe2\x80\xae" "exe.txt", "\\u{202e}exe.txt"},
      {"\xe2\x80\xaa\xe2\x80\xac", "\\u{202a}\\u{202c}"},
      {"\xe2\x81\xa6x\xe2\x81\xa9", "\\u{2066}x\\u{2069}"},
      {"\xe2\x80\x8e\xe2\x80\x8f\xd8\x9c", "\\u{200e}\\u{200f}\\u{061c}"},
      // Zero-width characters, which make two names look alike, and the line
      // and paragraph separators, which split a line for some readers.
      {"Z\xe2\x80\x8bw", "Z\\u{200b}w"},
      {"Z\xe2\x80\x8c\xe2\x80\x8dw", "Z\\u{200c}\\u{200d}w"},
      {"Z\xe2\x81\xa0\xe2\x81\xa1\xe2\x81\xa4w", "Z\\u{2060}\\u{2061}\\u{2064}w"},
      {"\xef\xbb\xbfZw", "\\u{feff}Zw"},
      {"a\xe2\x80\xa8" "b\xe2\x80\xa9", "a\\u{2028}b\\u{2029}"},
      // Format characters that are drawn or belong to emoji stay: a soft
      // hyphen, a variation selector, a tag character.
      {"ab\xc2\xad" "c \xe2\x9d\xa4\xef\xb8\x8f \xf3\xa0\x81\xa7", "ab\xc2\xad" "c \xe2\x9d\xa4\xef\xb8\x8f \xf3\xa0\x81\xa7"},
      // Valid multibyte characters pass whole: Cyrillic, CJK, an emoji.
      {"\xd1\x81\xd0\xb5\xd1\x82\xd1\x8c", "\xd1\x81\xd0\xb5\xd1\x82\xd1\x8c"},
      {"\xe6\x97\xa5 \xf0\x9f\x98\x80", "\xe6\x97\xa5 \xf0\x9f\x98\x80"},
      // A backslash is doubled, so a device's own "\x1b" is not taken for ESC.
      {"C:\\cam", "C:\\\\cam"},
      {"\\x1b", "\\\\x1b"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShownText(c.in), c.out) << c.in;
    EXPECT_EQ(UnshownText(c.out), RecordText(c.in).toStdString()) << c.out;
  }
}

// Undoing the escapes also reads what a person may have typed: upper-case
// digits in braces; a backslash that begins no escape stays.
TEST(ShownText, UnshownTextUndoesEscapesAndKeepsStrayBackslashes) {
  const Case cases[] = {
      {"\\u{202E}x", "\xe2\x80\xaex"},
      {"\\u{1f600}", "\xf0\x9f\x98\x80"},
      {"\\x1B", "\\x1B"},           // "\x" takes lower case only, as written
      {"\\u{d800}", "\\u{d800}"},   // no surrogate
      {"\\u{110000}", "\\u{110000}"},
      {"\\u{}", "\\u{}"},
      {"a\\", "a\\"},
      {"\\q", "\\q"},
  };
  for (const Case& c : cases) EXPECT_EQ(UnshownText(c.in), c.out) << c.in;
}

// A message of the program's own keeps its lines; what it quotes is escaped.
TEST(ShownText, LinesKeepTheirLineFeeds) {
  EXPECT_EQ(ShownLines("Control package sent.\nPlease try again [\x1b[2J]"),
            "Control package sent.\nPlease try again [\\x1b[2J]");
  EXPECT_EQ(ShownLines("a\r\n\n"), "a\\x0d\n\n");
  EXPECT_EQ(ShownLines(""), "");
}

// Only the line feed that ends an entry stays one; every entry ends in one.
TEST(ShownText, LogEntryKeepsOnlyItsClosingLineFeed) {
  const Case cases[] = {
      {"ARow(1) ACol(0) IP(\x1b[2J)\n", "ARow(1) ACol(0) IP(\\x1b[2J)\n"},
      {"a\nb\n", "a\\x0ab\n"},
      {"a\n\n", "a\\x0a\n"},
      {"no line feed", "no line feed\n"},
      {"", "\n"},
      {"\n", "\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(ShownLogEntry(c.in), c.out) << c.in;
}

TEST(ShownText, DisplayWidthCountsTerminalCells) {
  const std::pair<std::string, std::size_t> cases[] = {
      {"", 0},
      {"Lobby", 5},
      {"\xd1\x81\xd0\xb5\xd1\x82\xd1\x8c", 4},   // Cyrillic: 8 bytes, 4 cells
      {"\xe6\x97\xa5\xe6\x9c\xac", 4},           // CJK: 2 cells each
      {"\xef\xbc\xa1", 2},                       // full-width A
      {"\xf0\x9f\x98\x80", 2},                   // an emoji
      {"\xf0\xa0\x80\x80", 2},                   // an ideograph beyond the BMP
      {"e\xcc\x81", 1},                          // e and a combining acute
      {"a\xe2\x80\x8b" "b", 2},                  // a zero-width space
      {"\x1b", 0},                               // a control takes no cell
  };
  for (const auto& [text, cells] : cases) EXPECT_EQ(DisplayWidth(text), cells) << text;
}

// A cell starting with a formula character, after any blanks, gets a leading
// "'" (a negative number too), and the guard comes off again exactly, also
// from a text that already looked guarded.
TEST(CsvCell, GuardsFormulaCellsAndUnguardsThemExactly) {
  const Case cases[] = {
      {"=HYPERLINK(\"http://x\")", "'=HYPERLINK(\"http://x\")"},
      {"+1", "'+1"},
      {"-1", "'-1"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\tx", "'\tx"},
      {"\rx", "'\rx"},
      {"a=b", "a=b"},
      {"10.0.0.1", "10.0.0.1"},
      {"", ""},
      {"'x", "'x"},
      {"'", "'"},
      {"'=x", "''=x"},  // already looked guarded: one "'" more
      {"''-1", "'''-1"},
      // Blanks first: the formula still starts after them.
      {" =1+1", "' =1+1"},
      {"   -1", "'   -1"},
      {" \tx", "' \tx"},
      {"' =1", "'' =1"},
      {" '=1", " '=1"},  // a "'" after the blanks: text already
      {"  ", "  "},
      {" a=b", " a=b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GuardCsvCell(c.in), c.out) << c.in;
    EXPECT_EQ(UnguardCsvCell(c.out), c.in) << c.out;
  }
}

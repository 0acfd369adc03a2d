// Fuzz target: the CSV cell guard and the cells of CSV and the tab-separated
// Copy (GuardCsvCell, UnguardCsvCell, DelimitedCell).
//
// Input: any bytes, zero bytes included.
//
// Checks: a guarded cell never starts with a formula character ("=", "+",
// "-", "@", tab, carriage return), after blanks or not, and unguards to
// exactly its text; a cell that does not start with one unguards to a text
// that guards back to it. A delimited cell, with a comma and with a tab
// between cells, is one whole RFC 4180 field whose text holds no control and
// no invisible format character (zero-width, bidi, line separators), never
// starts with a formula character, after blanks or not, and unguards to the
// text as ShownText shows it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "protocol/csv_cell.h"
#include "protocol/shown_text.h"

namespace {

bool StartsFormula(std::string_view cell) {
  while (!cell.empty() && cell.front() == ' ') cell.remove_prefix(1);
  if (cell.empty()) return false;
  const char c = cell.front();
  return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

// True when `cell` (UTF-8) holds a zero-width character, a bidi control or
// a line or paragraph separator (all of them three-byte sequences), or
// U+061C.
bool HoldsInvisibleFormat(std::string_view cell) {
  static const char* const kEscaped[] = {
      "\xd8\x9c",     "\xe2\x80\x8b", "\xe2\x80\x8c", "\xe2\x80\x8d", "\xe2\x80\x8e", "\xe2\x80\x8f",
      "\xe2\x80\xa8", "\xe2\x80\xa9", "\xe2\x80\xaa", "\xe2\x80\xab", "\xe2\x80\xac", "\xe2\x80\xad",
      "\xe2\x80\xae", "\xe2\x81\xa0", "\xe2\x81\xa1", "\xe2\x81\xa2", "\xe2\x81\xa3", "\xe2\x81\xa4",
      "\xe2\x81\xa6", "\xe2\x81\xa7", "\xe2\x81\xa8", "\xe2\x81\xa9", "\xef\xbb\xbf"};
  for (const char* e : kEscaped)
    if (cell.find(e) != std::string_view::npos) return true;
  return false;
}

// The text of one field as a CSV reader reads it; checks that it is whole.
std::string ReadField(const std::string& field, char separator) {
  if (field.empty() || field.front() != '"') {
    FUZZ_CHECK(field.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos,
               "an unquoted field holds a separator, a quote or a line break");
    return field;
  }
  FUZZ_CHECK(field.size() >= 2 && field.back() == '"', "a quoted field is not closed");
  std::string text;
  for (std::size_t i = 1; i + 1 < field.size(); ++i) {
    if (field[i] == '"') {
      FUZZ_CHECK(i + 2 < field.size() && field[i + 1] == '"', "a lone quote inside a quoted field");
      ++i;
    }
    text += field[i];
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  const std::string guarded = GuardCsvCell(text);
  FUZZ_CHECK(!StartsFormula(guarded), "a guarded cell starts with a formula character");
  FUZZ_CHECK(guarded == text || guarded == "'" + std::string(text), "the guard changed more than its \"'\"");
  FUZZ_CHECK(UnguardCsvCell(guarded) == text, "the guard does not come off exactly");
  if (!StartsFormula(text)) FUZZ_CHECK(GuardCsvCell(UnguardCsvCell(text)) == text, "a cell does not guard back");

  const std::string shown = ShownText(text);
  for (char separator : {',', '\t'}) {
    const std::string cell = ReadField(DelimitedCell(text, separator), separator);
    FUZZ_CHECK(!StartsFormula(cell), "a written cell starts with a formula character");
    for (char c : cell)
      FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f, "a written cell holds a control");
    FUZZ_CHECK(!HoldsInvisibleFormat(cell), "a written cell holds an invisible format character");
    FUZZ_CHECK(UnguardCsvCell(cell) == shown, "a written cell is not the shown text");
  }
  return 0;
}

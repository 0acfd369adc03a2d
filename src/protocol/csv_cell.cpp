// CSV and tab-separated cells: shown, guarded against formulas, quoted.
#include "protocol/csv_cell.h"

#include "protocol/shown_text.h"

namespace {

// True when `text`, after any blanks, starts with a formula character.
bool StartsFormula(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return false;
  const char c = text[first];
  return c == '=' || c == '+' || c == '-' || c == '@' || c == '\t' || c == '\r';
}

// True when `cell` is any number of "'" and then a formula's start.
bool NeedsGuard(std::string_view cell) {
  const std::size_t first = cell.find_first_not_of('\'');
  return first != std::string_view::npos && StartsFormula(cell.substr(first));
}

}  // namespace

std::string GuardCsvCell(std::string_view cell) {
  return NeedsGuard(cell) ? "'" + std::string(cell) : std::string(cell);
}

std::string UnguardCsvCell(std::string_view cell) {
  if (!cell.empty() && cell.front() == '\'' && NeedsGuard(cell.substr(1))) cell.remove_prefix(1);
  return std::string(cell);
}

std::string DelimitedCell(std::string_view text, char separator) {
  const std::string cell = GuardCsvCell(ShownText(text));
  const char special[] = {separator, '"', '\r', '\n', '\0'};
  if (cell.find_first_of(special) == std::string::npos) return cell;
  std::string out = "\"";
  for (char c : cell) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string CsvField(std::string_view text) { return DelimitedCell(text, ','); }

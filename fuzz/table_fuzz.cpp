// Fuzz target: a relay's device page through the line split, the "No
// available items" rule, CleanHtml and PhaseItem, as the HTTP command search
// runs them.
//
// Input: the page body (used up to its first zero byte, as the fetch does).
//
// Checks: no line keeps a line break; no line is left empty after CleanHtml
// or after PhaseItem; every record's fields are zero-terminated; the grid's
// row count is 1 without records and otherwise one more than the highest
// row written, which is the number of lines kept or one less; no grid cell
// is longer than its field allows or holds "</td>"; the row counter is left
// alone; and on pages of up to 1 KiB the lines, records and grid equal those
// of the literal, quadratic reading of the rules.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "httpcmd/http_page.h"
#include "httpcmd/table_parser.h"
#include "literal_table_parser.h"

namespace {

using Lines = std::vector<std::string>;

constexpr std::size_t kLiteralLimit = 1024;
constexpr int kCellFields[StringGrid::kColumns] = {0, 1, 2, 3, 4, 5, 8};

void ResetTable(DeviceTable& table) {
  table.grid.ClearRows(1);
  WriteGridHeadings(table.grid);
  table.grid.SetRowCount(1);
  table.row_counter = 1;
}

void CheckNoEmptyLine(const Lines& lines, const char* what) {
  for (const std::string& line : lines) FUZZ_CHECK(!line.empty(), what);
}

void CheckTable(const DeviceTable& table, const Lines& kept) {
  FUZZ_CHECK(table.row_counter == 1, "PhaseItem changed the row counter");
  const int rows = table.grid.RowCount();
  if (table.devices.Empty()) {
    FUZZ_CHECK(rows == 1, "rows without records");
  } else {
    FUZZ_CHECK(rows >= 2, "records without rows");
    FUZZ_CHECK(static_cast<std::size_t>(rows - 1) <= table.devices.Size(), "more rows than records");
    FUZZ_CHECK(static_cast<std::size_t>(rows) == kept.size() ||
                   static_cast<std::size_t>(rows) == kept.size() + 1,
               "row count does not follow the lines kept");
  }
  for (const tComUnitInfo& info : table.devices.Records())
    FUZZ_CHECK(FieldsTerminated(info), "record field not zero-terminated");
  for (int r = 1; r < rows; ++r) {
    for (int c = 0; c < StringGrid::kColumns; ++c) {
      const std::string& cell = table.grid.Cell(c, r);
      FUZZ_CHECK(cell.size() < UnitFieldWidth(kCellFields[c]), "grid cell longer than its field");
      FUZZ_CHECK(cell.find("</td>") == std::string::npos, "grid cell holds </td>");
      FUZZ_CHECK(cell.find('\0') == std::string::npos, "grid cell holds a zero byte");
    }
  }
}

bool SameTables(const DeviceTable& a, const DeviceTable& b) {
  if (a.grid.RowCount() != b.grid.RowCount() || a.devices.Size() != b.devices.Size()) return false;
  for (std::size_t i = 0; i < a.devices.Size(); ++i)
    if (!SameRecord(a.devices.At(i), b.devices.At(i))) return false;
  const int rows = static_cast<int>(a.devices.Size()) + a.grid.RowCount() + 2;
  for (int r = 0; r < rows; ++r)
    if (a.grid.RowAt(r) != b.grid.RowAt(r)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string body = TextOf(data, size);
  Lines lines = SplitPageLines(body);
  for (const std::string& line : lines)
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos, "a line keeps a line break");
  ApplyNoAvailableItemsRule(lines);
  const Lines page = lines;

  CleanHtml(lines);
  CheckNoEmptyLine(lines, "CleanHtml left an empty line");
  FUZZ_CHECK(lines.size() <= page.size(), "CleanHtml added lines");
  const Lines cleaned = lines;

  DeviceTable table;
  ResetTable(table);
  PhaseItem(lines, table);
  CheckNoEmptyLine(lines, "PhaseItem left an empty line");
  FUZZ_CHECK(lines.size() <= cleaned.size(), "PhaseItem added lines");
  CheckTable(table, lines);

  if (body.size() <= kLiteralLimit) {
    Lines slow = page;
    LiteralCleanHtml(slow);
    FUZZ_CHECK(slow == cleaned, "CleanHtml differs from the literal rules");
    DeviceTable slow_table;
    ResetTable(slow_table);
    LiteralPhaseItem(slow, slow_table);
    FUZZ_CHECK(slow == lines, "PhaseItem's lines differ from the literal rules");
    FUZZ_CHECK(SameTables(table, slow_table), "PhaseItem's table differs from the literal rules");
  }
  return 0;
}

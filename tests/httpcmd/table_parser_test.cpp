// CleanHtml and PhaseItem: the worked examples, and a differential test that
// compares them with a plain, slow transcription of the line-scan rules on
// many generated pages.
#include "httpcmd/table_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "literal_table_parser.h"

namespace {

using Lines = std::vector<std::string>;

// ---- Helpers.

// A table as the search driver hands it over: headings, only row 0 shown.
void ResetTable(DeviceTable& table) {
  WriteGridHeadings(table.grid);
  table.grid.SetRowCount(1);
  table.row_counter = 7;  // PhaseItem must leave it alone
}

std::string Cells(const std::vector<std::string>& values) {
  std::string s;
  for (const std::string& v : values) s += "<td>" + v + "</td>";
  return s;
}

void ExpectSameTables(const DeviceTable& a, const DeviceTable& b, const std::string& context) {
  ASSERT_EQ(a.grid.RowCount(), b.grid.RowCount()) << context;
  ASSERT_EQ(a.devices.Size(), b.devices.Size()) << context;
  for (std::size_t i = 0; i < a.devices.Size(); ++i)
    ASSERT_EQ(std::memcmp(&a.devices.At(i), &b.devices.At(i), sizeof(tComUnitInfo)), 0)
        << context << " record " << i;
  const int rows = static_cast<int>(a.devices.Size()) + a.grid.RowCount() + 2;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < StringGrid::kColumns; ++c)
      ASSERT_EQ(a.grid.Cell(c, r), b.grid.Cell(c, r)) << context << " cell " << c << "," << r;
  ASSERT_EQ(b.row_counter, 7) << context;
}

std::string Show(const Lines& lines) {
  std::string s;
  for (const std::string& l : lines) s += "[" + l + "]\n";
  return s;
}

}  // namespace

TEST(CleanHtml, StripsLeadingPageAndTableTags) {
  Lines lines = {"<TR><td>A</td></TR>",
                 "<table>",
                 "</table>",
                 "<html>",
                 "</body></html>",
                 "<title>x",
                 "<html><head><title>Dev</title></head>",
                 "plain text",
                 "a>b<tr>",           // ">" before the first "<": left alone
                 "<strong>bold",      // "STRONG" contains "TR"
                 "<tr class=x><td>1",
                 "<html><body><table>",
                 ""};
  CleanHtml(lines);
  EXPECT_EQ(lines, (Lines{"<td>A</td></TR>", "x", "<head><title>Dev</title></head>", "plain text",
                          "a>b<tr>", "bold", "<td>1"}));
}

TEST(PhaseItem, HeaderLineThenOneDevice) {
  DeviceTable table;
  ResetTable(table);
  Lines lines = {"<td>Model</td><td>Proj</td></tr>",
                 Cells({"M1", "P1", "N1", "10.0.0.7", "80", "255.0.0.0", "00:11:22:33:44:55"}) +
                     "</tr>"};
  PhaseItem(lines, table);
  EXPECT_EQ(table.grid.RowCount(), 2);
  EXPECT_EQ(table.grid.RowAt(0), (StringGrid::Row{"Model", "Proj", "Name", "IP", "Port", "Netmask",
                                                  "Mac"}));
  EXPECT_EQ(table.grid.RowAt(1), (StringGrid::Row{"M1", "P1", "N1", "10.0.0.7", "80", "255.0.0.0",
                                                  "00:11:22:33:44:55"}));
  ASSERT_EQ(table.devices.Size(), 1u);
  const tComUnitInfo& d = table.devices.At(0);
  EXPECT_EQ(FieldText(d.model), "M1");
  EXPECT_EQ(FieldText(d.trigger_port), "80");
  EXPECT_EQ(FieldText(d.mac), "00:11:22:33:44:55");
  EXPECT_EQ(FieldText(d.gateway), "");  // never from the page
  EXPECT_EQ(lines, (Lines{"</tr>", "</tr>"}));
  EXPECT_EQ(table.row_counter, 7);
}

TEST(PhaseItem, HeaderWithoutTrailingTextSwallowsTheNextLine) {
  DeviceTable table;
  ResetTable(table);
  Lines lines = {Cells({"Model", "Proj"}), Cells({"M1", "P1", "N1", "10.0.0.7"}) + "</tr>"};
  PhaseItem(lines, table);
  EXPECT_EQ(table.devices.Size(), 0u);
  EXPECT_EQ(table.grid.RowCount(), 1);
  EXPECT_EQ(table.grid.Cell(kModelColumn, 1), "");
  EXPECT_EQ(lines, (Lines{"</tr>"}));
}

TEST(PhaseItem, RowsShareOneWorkingRecord) {
  DeviceTable table;
  ResetTable(table);
  const std::string long_model(40, 'm');
  Lines lines = {"</tr>",
                 Cells({long_model, "P1", "N1", "10.0.0.7", "80", "255.0.0.0", "aa:bb", "8th"}) + "x",
                 "text without cells",
                 Cells({"M2", "P2"}) + "</tr>",
                 "<b>pre</b><td>M3</td>tail",  // text before the first <td> goes with it
                 "</td><td>M4</td>"};          // a stray </td> counts as an empty cell
  PhaseItem(lines, table);
  ASSERT_EQ(table.devices.Size(), 5u);
  EXPECT_EQ(table.grid.RowCount(), 6);
  // Over-long values are cut to the field's width less one; the cell shows that.
  EXPECT_EQ(FieldText(table.devices.At(0).model), std::string(31, 'm'));
  EXPECT_EQ(table.grid.Cell(kModelColumn, 1), std::string(31, 'm'));
  // The eighth cell is dropped.
  EXPECT_EQ(FieldText(table.devices.At(0).note), "");
  // A line without cells adds a copy of the previous record.
  EXPECT_EQ(std::memcmp(&table.devices.At(0), &table.devices.At(1), sizeof(tComUnitInfo)), 0);
  EXPECT_EQ(table.grid.RowAt(2), StringGrid::Row{});
  // A short row keeps the earlier row's values in the fields it does not reach.
  const tComUnitInfo& d3 = table.devices.At(2);
  EXPECT_EQ(FieldText(d3.model), "M2");
  EXPECT_EQ(FieldText(d3.ip), "10.0.0.7");
  EXPECT_EQ(FieldText(d3.mac), "aa:bb");
  EXPECT_EQ(table.grid.Cell(kIpColumn, 3), "");  // but its grid row shows only its own cells
  EXPECT_EQ(FieldText(table.devices.At(3).model), "M3");
  EXPECT_EQ(FieldText(table.devices.At(4).model), "");
  EXPECT_EQ(FieldText(table.devices.At(4).proj), "M4");
  EXPECT_EQ(lines, (Lines{"</tr>", "x", "text without cells", "</tr>", "tail"}));
  EXPECT_EQ(table.row_counter, 7);
}

TEST(PhaseItem, TakesNoMoreCellsThanCharactersLeft) {
  // Ten empty cells in 90 characters: after nine, nine characters remain and
  // the attempt count has reached nine, so the tenth stays in the line.
  DeviceTable table;
  ResetTable(table);
  std::string row;
  for (int i = 0; i < 10; ++i) row += "<td></td>";
  Lines lines = {"h", row};
  PhaseItem(lines, table);
  EXPECT_EQ(lines, (Lines{"h", "<td></td>"}));
  EXPECT_EQ(table.devices.Size(), 1u);
}

TEST(TableParser, SameResultsAsTheLiteralRules) {
  static const char* const kTokens[] = {
      "<td>",   "</td>",   "<tr>",    "</tr>", "<TR>",      "<table>", "</table>", "<body>",
      "<html>", "</html>", "<title>", "<head>", "<strong>", "<b>",     "<",        ">",
      "<td",    "td>",     "x",       "M1",    "10.0.0.7",  " ",       "<Html>",   "<tr class=x>",
      "<TITLE>", "</TD>",  "bOdY",    "<td><td>", "</td></td>"};
  const std::string long_value(45, 'v');
  std::mt19937 rng(20240611);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  constexpr int kTokenCount = sizeof kTokens / sizeof kTokens[0];
  for (int page = 0; page < 20000; ++page) {
    Lines lines(static_cast<std::size_t>(pick(10)));
    for (std::string& line : lines) {
      const int tokens = pick(page % 7 == 0 ? 60 : 14);
      for (int t = 0; t < tokens; ++t) {
        if (page % 5 == 1) {  // dense short cells: the attempt count matters
          static const char* const kDense[] = {"<td>", "</td>", "</td>", "<td></td>", "y"};
          line += kDense[pick(5)];
          continue;
        }
        const int k = pick(kTokenCount + 3);
        if (k < kTokenCount) {
          line += kTokens[k];
        } else if (k == kTokenCount) {
          line += long_value;
        } else {
          line += "<>/tdrTRbBhHx"[pick(13)];
        }
      }
    }
    const std::string context = "page " + std::to_string(page) + ":\n" + Show(lines);

    Lines fast = lines, slow = lines;
    CleanHtml(fast);
    LiteralCleanHtml(slow);
    ASSERT_EQ(fast, slow) << context;

    DeviceTable fast_table, slow_table;
    ResetTable(fast_table);
    ResetTable(slow_table);
    PhaseItem(fast, fast_table);
    LiteralPhaseItem(slow, slow_table);
    ASSERT_EQ(fast, slow) << context;
    ExpectSameTables(fast_table, slow_table, context);
  }
}

TEST(TableParser, SameResultsOnLongLines) {
  auto repeat = [](std::string text, const std::string& unit, std::size_t size) {
    while (text.size() < size) text += unit;
    text.resize(size);
    return text;
  };
  const std::size_t kSize = 32768;
  const std::vector<Lines> pages = {
      {repeat("", "<tr>", kSize)},
      {"h", repeat("", "<td></td>", kSize)},
      {"h", repeat("", "<TR>" + std::string(60, 'a'), kSize)},
      {"h", repeat("<Title>", "<td>v</td><b>" + std::string(40, 'w') + "</b>", kSize)},
      {repeat("", "<html><body><table><tr><td>M</td><td>P</td></tr>", kSize)},
  };
  for (std::size_t p = 0; p < pages.size(); ++p) {
    Lines fast = pages[p], slow = pages[p];
    CleanHtml(fast);
    LiteralCleanHtml(slow);
    ASSERT_EQ(fast, slow) << "page " << p;
    DeviceTable fast_table, slow_table;
    ResetTable(fast_table);
    ResetTable(slow_table);
    PhaseItem(fast, fast_table);
    LiteralPhaseItem(slow, slow_table);
    ASSERT_EQ(fast, slow) << "page " << p;
    ExpectSameTables(fast_table, slow_table, "page " + std::to_string(p));
  }
}

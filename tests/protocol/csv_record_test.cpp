// The one CSV reader: quoted cells, line ends, comments and its bounds.
#include "protocol/csv_record.h"

#include <gtest/gtest.h>

namespace {

// Every record of `text` joined as "a|b" with "/" between records, then the
// error, if any.
std::string Records(const std::string& text, CsvRecordReader::Options options = {}, std::size_t most = 8) {
  CsvRecordReader reader(text, std::move(options));
  std::string out;
  std::vector<std::string> cells;
  std::string error;
  while (reader.Next(&cells, most, "too many", &error)) {
    std::string record = std::to_string(reader.Line()) + ":";
    for (std::size_t i = 0; i < cells.size(); ++i) record += (i ? "|" : "") + cells[i];
    out += (out.empty() ? "" : " / ") + record;
  }
  return error.empty() ? out : out + " ! " + error;
}

TEST(CsvRecordReader, ReadsRfc4180RecordsAndRefusesWhatIsOutOfPlace) {
  struct Case {
    std::string text, records;
    CsvRecordReader::Options options = {};
  } cases[] = {
      {"a,b\r\nc,d\n", "1:a|b / 2:c|d"},
      {"a,b", "1:a|b"},                                   // no line end at the end
      {"\"a,b\",\"say \"\"hi\"\"\"\n", "1:a,b|say \"hi\""},  // a comma and doubled quotes in quotes
      {"\"two\nlines\",x\ny\n", "1:two\nlines|x / 3:y"},   // a line break in quotes: the next record's line
      {"a,,\n\n", "1:a|| / 2:"},                          // empty cells, an empty line
      {"\"a\"b\n", " ! line 1: text after a quoted cell"},
      {"a\"b\n", " ! line 1: a quote inside a cell that is not quoted"},
      {"x\n\"open\n", "1:x ! line 2: a quoted cell is not closed"},
      {"1,2,3,4,5,6,7,8,9\n", " ! line 1: too many"},
      {"# a \"comment\", quoted\n  # another\na\n", "3:a", {.comments = true}},
      {"# \"no comment\"\n", " ! line 1: a quote inside a cell that is not quoted", {}},
      {std::string(40, 'x') + "\n", " ! line 1: too long", {.max_record_bytes = 16, .long_record = "too long"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Records(c.text, c.options), c.records) << c.text;
}

TEST(CsvRecordReader, CarriesOnAfterARefusedRecordAtTheNextLine) {
  CsvRecordReader reader("a\"b,c\nd,e\n");
  std::vector<std::string> cells;
  std::string error;
  EXPECT_FALSE(reader.Next(&cells, 8, "", &error));
  EXPECT_EQ(error, "line 1: a quote inside a cell that is not quoted");
  reader.SkipRestOfLine();
  error.clear();
  ASSERT_TRUE(reader.Next(&cells, 8, "", &error));
  EXPECT_EQ(reader.Line(), 2);
  EXPECT_EQ(cells, (std::vector<std::string>{"d", "e"}));
}

}  // namespace

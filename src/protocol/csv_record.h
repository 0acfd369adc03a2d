// The one CSV reader (RFC 4180): records of cells between commas, a quoted
// cell's quotes doubled, a quoted cell free to hold commas and line breaks,
// records ending in CR LF, LF or a CR alone. Saved device lists and re-addressing plans
// are both read with it, so a cell in quotes reads as its text wherever a
// file is read. Bounded: a record stops at the first cell past the caller's
// count and at the first byte past its size limit. Plain class, one thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CsvRecordReader {
 public:
  struct Options {
    // A record longer than this many bytes is refused with `long_record`.
    std::size_t max_record_bytes = 1 << 20;
    std::string long_record = "a record too long";
    // Lines whose first character other than blanks is "#" are comments,
    // skipped whole (quotes in them are text).
    bool comments = false;
  };

  explicit CsvRecordReader(std::string_view text) : CsvRecordReader(text, Options()) {}
  CsvRecordReader(std::string_view text, Options options) : text_(text), options_(std::move(options)) {}

  // The next record's cells, at most `most` of them (an empty line is one
  // empty cell). False at the end, or, with *error set to "line N: " and
  // the reason: for a quote out of place, at the first cell past `most`
  // (`too_many`), or at the first byte past the record size limit.
  bool Next(std::vector<std::string>* cells, std::size_t most, const std::string& too_many, std::string* error);

  // The line the last record began on, counting from 1.
  int Line() const { return line_; }
  // After a refused record: goes on at the start of the next line, so that
  // a reader that reports every bad record can carry on.
  void SkipRestOfLine();

 private:
  static bool IsCellEnd(char c) { return c == ',' || c == '\n' || c == '\r'; }
  bool Fail(const std::string& what, std::string* error);
  void SkipComments();

  std::string_view text_;
  Options options_;
  std::size_t pos_ = 0;
  int line_ = 1;
  int next_line_ = 1;
};

// RFC 4180 records, bounded.
#include "protocol/csv_record.h"

#include "protocol/string_printf.h"

bool CsvRecordReader::Fail(const std::string& what, std::string* error) {
  *error = StringPrintf("line %d: %s", line_, what.c_str());
  return false;
}

void CsvRecordReader::SkipRestOfLine() {
  if (pos_ >= text_.size()) return;
  const std::size_t end = text_.find('\n', pos_);
  if (end == std::string_view::npos) {
    pos_ = text_.size();
    return;
  }
  pos_ = end + 1;
  ++next_line_;
}

void CsvRecordReader::SkipComments() {
  while (options_.comments && pos_ < text_.size()) {
    std::size_t first = pos_;
    while (first < text_.size() && (text_[first] == ' ' || text_[first] == '\t')) ++first;
    if (first >= text_.size() || text_[first] != '#') return;
    const std::size_t end = text_.find('\n', first);
    pos_ = end == std::string_view::npos ? text_.size() : end + 1;
    ++next_line_;
  }
}

bool CsvRecordReader::Next(std::vector<std::string>* cells, std::size_t most, const std::string& too_many,
                           std::string* error) {
  cells->clear();
  SkipComments();
  if (pos_ >= text_.size()) return false;
  line_ = next_line_;
  const std::size_t end_at_most = pos_ + options_.max_record_bytes;
  while (true) {
    std::string cell;
    if (pos_ < text_.size() && text_[pos_] == '"') {
      ++pos_;
      while (true) {
        if (pos_ >= text_.size()) return Fail("a quoted cell is not closed", error);
        if (pos_ >= end_at_most) return Fail(options_.long_record, error);
        const char c = text_[pos_++];
        if (c == '\n') ++next_line_;
        if (c != '"') {
          cell += c;
        } else if (pos_ < text_.size() && text_[pos_] == '"') {
          cell += '"';
          ++pos_;
        } else {
          break;
        }
      }
      if (pos_ < text_.size() && !IsCellEnd(text_[pos_])) return Fail("text after a quoted cell", error);
    } else {
      while (pos_ < text_.size() && !IsCellEnd(text_[pos_])) {
        if (text_[pos_] == '"') return Fail("a quote inside a cell that is not quoted", error);
        if (pos_ >= end_at_most) return Fail(options_.long_record, error);
        cell += text_[pos_++];
      }
    }
    cells->push_back(std::move(cell));
    if (pos_ >= text_.size()) return true;
    const char end = text_[pos_++];
    if (end == ',') {
      if (cells->size() == most) return Fail(too_many, error);
      if (pos_ > end_at_most) return Fail(options_.long_record, error);
      continue;
    }
    if (end == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    ++next_line_;
    return true;
  }
}

// The row filter's rule and the count label.
#include "app/row_filter.h"

#include "protocol/record_text.h"
#include "protocol/string_printf.h"

void RowFilter::SetText(const std::string& text) {
  needle_ = QString::fromStdString(text).trimmed();
  Forget();
}

bool RowFilter::Shows(const DeviceTable& table, int row) const {
  if (!Active()) return true;
  if (row < 0) return Matches(table, row);
  if (memo_.size() <= static_cast<std::size_t>(row)) memo_.resize(static_cast<std::size_t>(row) + 1);
  Answer& answer = memo_[static_cast<std::size_t>(row)];
  const StringGrid::Row& cells = table.grid.RowAt(row);
  if (!answer.known || answer.cells != cells) {
    answer.cells = cells;
    answer.shows = Matches(table, row);
    answer.known = true;
  }
  return answer.shows;
}

bool RowFilter::Matches(const DeviceTable& table, int row) const {
  for (int c = 0; c < StringGrid::kColumns; ++c)
    if (RecordText(table.grid.Cell(c, row)).contains(needle_, Qt::CaseInsensitive)) return true;
  const tComUnitInfo* record = FirstRecordOfRow(table, row);
  return record != nullptr && RecordText(table.devices.InterfaceOf(record)).contains(needle_, Qt::CaseInsensitive);
}

std::vector<int> RowFilter::ShownRows(const DeviceTable& table) const {
  std::vector<int> rows;
  for (int r = 1; r < table.grid.RowCount(); ++r)
    if (Shows(table, r)) rows.push_back(r);
  return rows;
}

std::string CountLabelText(const RowFilter& filter, const std::string& search_text, int shown, int found) {
  if (!filter.Active()) return search_text;
  return StringPrintf("%d of %d device(s) shown", shown, found);
}

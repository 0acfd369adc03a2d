// Cell storage of the device grid.
#include "protocol/string_grid.h"

namespace {
const std::string kEmpty;
const StringGrid::Row kEmptyRow{};
}  // namespace

StringGrid::StringGrid() : rows_(2) {}

void StringGrid::SetRowCount(int rows) {
  if (rows < 0) rows = 0;
  row_count_ = rows;
  Changed();
}

void StringGrid::SetFixedRows(int rows) {
  fixed_rows_ = rows < 0 ? 0 : rows;
  Changed();
}

const std::string& StringGrid::Cell(int col, int row) const {
  if (col < 0 || col >= kColumns || row < 0 ||
      row >= static_cast<int>(rows_.size()))
    return kEmpty;
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

void StringGrid::SetCell(int col, int row, std::string text) {
  if (col < 0 || col >= kColumns || row < 0) return;
  Store(row)[static_cast<std::size_t>(col)] = std::move(text);
  Changed();
}

const StringGrid::Row& StringGrid::RowAt(int row) const {
  if (row < 0 || row >= static_cast<int>(rows_.size())) return kEmptyRow;
  return rows_[static_cast<std::size_t>(row)];
}

void StringGrid::SetRow(int row, Row cells) {
  if (row < 0) return;
  Store(row) = std::move(cells);
  Changed();
}

void StringGrid::ClearRows(int from) {
  if (from < 0) from = 0;
  if (from < static_cast<int>(rows_.size())) rows_.resize(static_cast<std::size_t>(from));
  Changed();
}

void StringGrid::EndUpdate() {
  if (batch_ > 0 && --batch_ == 0 && pending_) {
    pending_ = false;
    if (observer_) observer_();
  }
}

void StringGrid::Changed() {
  if (batch_ > 0) {
    pending_ = true;
    return;
  }
  if (observer_) observer_();
}

StringGrid::Row& StringGrid::Store(int row) {
  if (row >= static_cast<int>(rows_.size())) rows_.resize(static_cast<std::size_t>(row) + 1);
  return rows_[static_cast<std::size_t>(row)];
}

// The device grid's content: text cells in seven columns, a row count and a
// fixed-row count, as the search, the intake and the sort use it. Row 0 holds
// the headings. The Qt view draws this; nothing else keeps the grid's texts.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

class StringGrid {
 public:
  static constexpr int kColumns = 7;
  using Row = std::array<std::string, kColumns>;

  StringGrid();

  int RowCount() const { return row_count_; }
  // Rows added by a larger count start empty unless they were written before;
  // a smaller count hides rows without forgetting their texts, as cells
  // written past the last row are kept too.
  void SetRowCount(int rows);
  int FixedRows() const { return fixed_rows_; }
  void SetFixedRows(int rows);

  // Texts of cells outside the grid read as empty; writes to negative indices
  // or columns outside 0..6 are ignored.
  const std::string& Cell(int col, int row) const;
  void SetCell(int col, int row, std::string text);
  const Row& RowAt(int row) const;
  void SetRow(int row, Row cells);
  // Empties the texts of rows from..last stored row.
  void ClearRows(int from);

  // Called after every change, so that a view can refresh itself.
  void SetObserver(std::function<void()> observer) { observer_ = std::move(observer); }
  // Batches changes: the observer runs once when the outermost batch ends.
  void BeginUpdate() { ++batch_; }
  void EndUpdate();

 private:
  void Changed();
  Row& Store(int row);

  std::vector<Row> rows_;
  int row_count_ = 2;
  int fixed_rows_ = 1;
  int batch_ = 0;
  bool pending_ = false;
  std::function<void()> observer_;
};

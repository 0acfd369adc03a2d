// Qt item model over the device grid's content: while row 0 is fixed it is
// the heading and the data rows follow; otherwise every row, the heading's
// included, is shown as a data row.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <string>

#include "protocol/string_grid.h"

class GridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit GridModel(StringGrid& grid, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The grid row shown at a view row, and back.
  int GridRow(int view_row) const { return view_row + FixedOffset(); }
  int ViewRow(int grid_row) const { return grid_row - FixedOffset(); }
  bool HeadingFixed() const { return grid_.FixedRows() > 0; }

  // Re-reads the grid after a change.
  void Refresh();

  // A row's own line for the tooltip of each of its cells ("" for none),
  // given the grid row; shown below a long cell's full text.
  void SetRowToolTip(std::function<std::string(int grid_row)> row_tip) { row_tip_ = std::move(row_tip); }

 private:
  int FixedOffset() const { return grid_.FixedRows() > 0 ? 1 : 0; }

  StringGrid& grid_;
  std::function<std::string(int)> row_tip_;
};

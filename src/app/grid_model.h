// Qt item model over the device grid's content: while row 0 is fixed it is
// the heading and the data rows follow; otherwise every row, the heading's
// included, is shown as a data row. A row filter hides data rows from view
// without touching the grid. And the grid's view, whose rows can be kept
// clear of a strip that covers its lower edge.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <functional>
#include <string>
#include <vector>

#include "protocol/string_grid.h"

class GridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit GridModel(StringGrid& grid, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The grid row shown at a view row, and back (-1 for a row not shown).
  int GridRow(int view_row) const;
  int ViewRow(int grid_row) const;
  bool HeadingFixed() const { return grid_.FixedRows() > 0; }

  // Which data rows are shown (null: all); applied at the next Refresh.
  void SetRowFilter(std::function<bool(int grid_row)> shows) { shows_ = std::move(shows); }

  // Re-reads the grid after a change.
  void Refresh();

  // A row's own line for the tooltip of each of its cells ("" for none),
  // given the grid row; shown below a long cell's full text. Tooltips show
  // their text as plain text, whatever tags it holds.
  void SetRowToolTip(std::function<std::string(int grid_row)> row_tip) { row_tip_ = std::move(row_tip); }

 private:
  void ReadRows();

  StringGrid& grid_;
  std::vector<int> rows_;  // the grid rows shown, ascending
  std::function<bool(int)> shows_;
  std::function<std::string(int)> row_tip_;
};

// The device grid's view. SetCoveredBottom keeps that many pixels at the
// bottom of its viewport free of rows, for a strip laid over its lower edge.
class GridView : public QTableView {
 public:
  using QTableView::QTableView;
  void SetCoveredBottom(int pixels);

 protected:
  void updateGeometries() override;

 private:
  int covered_bottom_ = 0;
};

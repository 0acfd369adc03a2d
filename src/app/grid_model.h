// Qt item model over the device grid's content: while row 0 is fixed it is
// the heading and the data rows follow; otherwise every row, the heading's
// included, is shown as a data row. A row filter hides data rows from view
// without touching the grid. Rows can carry marks (RowLook: a warning icon
// in the first cell, a tint, grey text), and extra rows that are no grid
// rows (a compared list's missing devices) can follow the grid's, greyed.
// And the grid's view, whose rows can be kept clear of a strip that covers
// its lower edge.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QPalette>
#include <QTableView>
#include <functional>
#include <string>
#include <vector>

#include "app/row_marks.h"
#include "protocol/string_grid.h"

class GridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit GridModel(StringGrid& grid, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The grid row shown at a view row, and back (-1 for a row not shown, and
  // for an extra row).
  int GridRow(int view_row) const;
  int ViewRow(int grid_row) const;
  bool HeadingFixed() const { return grid_.FixedRows() > 0; }

  // Which data rows are shown (null: all); applied at the next Refresh.
  void SetRowFilter(std::function<bool(int grid_row)> shows) { shows_ = std::move(shows); }

  // Re-reads the grid after a change.
  void Refresh();

  // How each grid row is drawn besides its texts (null: plain); redrawn at
  // the next Refresh or MarksChanged.
  void SetRowLook(std::function<RowLook(int grid_row)> look) { look_ = std::move(look); }
  // Rows shown after the grid's, greyed, with a tooltip each; applied at the
  // next Refresh. They are not grid rows: GridRow gives -1 for them.
  void SetExtraRows(std::vector<StringGrid::Row> rows, std::vector<std::string> tips);
  int ExtraRows() const { return static_cast<int>(extra_.size()); }
  bool IsExtraRow(int view_row) const { return view_row >= static_cast<int>(rows_.size()) && view_row < rowCount(); }
  // Redraws every row's marks and tooltips (the texts are unchanged).
  void MarksChanged();

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
  std::function<RowLook(int)> look_;
  std::vector<StringGrid::Row> extra_;
  std::vector<std::string> extra_tips_;
};

// The text colour of greyed rows (gone while watching, missing from a
// compared list): the palette's disabled text where it reaches a contrast of
// 4.5:1 on the base and on the new and changed rows' tints, else the nearest
// colour towards the normal text that does.
QColor GreyedText(const QPalette& palette);

// The device grid's view.
class GridView : public QTableView {
 public:
  using QTableView::QTableView;
};

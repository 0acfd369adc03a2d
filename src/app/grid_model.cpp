// Item model over StringGrid, and the grid's view.
#include "app/grid_model.h"

#include <QTextDocument>
#include <algorithm>

#include "protocol/record_text.h"

GridModel::GridModel(StringGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) { ReadRows(); }

int GridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int GridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : StringGrid::kColumns;
}

int GridModel::GridRow(int view_row) const {
  if (view_row < 0 || view_row >= static_cast<int>(rows_.size())) return -1;
  return rows_[static_cast<std::size_t>(view_row)];
}

int GridModel::ViewRow(int grid_row) const {
  auto it = std::lower_bound(rows_.begin(), rows_.end(), grid_row);
  return it != rows_.end() && *it == grid_row ? static_cast<int>(it - rows_.begin()) : -1;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
  const int row = GridRow(index.row());
  const std::string& text = grid_.Cell(index.column(), row);
  if (role == Qt::ToolTipRole) {
    std::string tip = text.size() < 20 ? std::string() : text;  // a long text in full
    std::string row_line = row_tip_ ? row_tip_(row) : std::string();
    if (!row_line.empty()) tip += (tip.empty() ? "" : "\n") + row_line;
    if (tip.empty()) return {};
    // A tooltip guesses rich text: a text that might be read as such goes
    // as escaped rich text, which shows it as it is.
    const QString plain = RecordText(tip);
    return Qt::mightBeRichText(plain) ? Qt::convertFromPlainText(plain, Qt::WhiteSpacePre) : plain;
  }
  return RecordText(text);
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return GridRow(section);
  if (!HeadingFixed()) return {};
  return RecordText(grid_.Cell(section, 0));
}

void GridModel::Refresh() {
  beginResetModel();
  ReadRows();
  endResetModel();
}

void GridModel::ReadRows() {
  rows_.clear();
  const int first = HeadingFixed() ? 1 : 0;  // an unfixed heading is shown as a row
  for (int r = first; r < grid_.RowCount(); ++r)
    if (r == 0 || !shows_ || shows_(r)) rows_.push_back(r);
}

void GridView::SetCoveredBottom(int pixels) {
  if (pixels == covered_bottom_) return;
  covered_bottom_ = pixels;
  updateGeometries();
}

void GridView::updateGeometries() {
  // QTableView sets the viewport's margins for its headers each time.
  QTableView::updateGeometries();
  const QMargins m = viewportMargins();
  if (m.bottom() != covered_bottom_) setViewportMargins(m.left(), m.top(), m.right(), covered_bottom_);
}

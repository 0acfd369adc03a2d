// Item model over StringGrid.
#include "app/grid_model.h"

#include "protocol/record_text.h"

GridModel::GridModel(StringGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) {}

int GridModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  int rows = grid_.RowCount() - FixedOffset();
  return rows > 0 ? rows : 0;
}

int GridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : StringGrid::kColumns;
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
    return RecordText(tip);
  }
  return RecordText(text);
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + FixedOffset();
  if (!HeadingFixed()) return {};
  return RecordText(grid_.Cell(section, 0));
}

void GridModel::Refresh() {
  beginResetModel();
  endResetModel();
}

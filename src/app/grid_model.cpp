// Item model over StringGrid, and the grid's view.
#include "app/grid_model.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QTextDocument>
#include <algorithm>

#include "protocol/record_text.h"
#include "ui/detail_rows.h"

GridModel::GridModel(StringGrid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid) { ReadRows(); }

namespace {

// The tooltip text as the tooltip shows it: a text that might be read as
// rich text goes as escaped rich text, which shows it as it is.
QVariant PlainTip(const std::string& tip) {
  if (tip.empty()) return {};
  const QString plain = RecordText(tip);
  return Qt::mightBeRichText(plain) ? Qt::convertFromPlainText(plain, Qt::WhiteSpacePre) : plain;
}

const QColor kNewTint(0xdf, 0xf5, 0xdf);      // pale green
const QColor kChangedTint(0xfc, 0xf0, 0xcf);  // pale amber

QColor Mix(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * t),
                          static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * t),
                          static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * t));
}

}  // namespace

QColor GreyedText(const QPalette& palette) {
  // The palette's disabled text where it reads on the base and on both
  // tints, else the nearest colour towards the normal text that does.
  const QColor own = palette.color(QPalette::Disabled, QPalette::Text);
  const QColor normal = palette.color(QPalette::Active, QPalette::Text);
  const QColor backgrounds[] = {palette.color(QPalette::Active, QPalette::Base), kNewTint, kChangedTint};
  for (int step = 0; step <= 20; ++step) {
    const QColor c = Mix(own, normal, step / 20.0);
    if (std::all_of(std::begin(backgrounds), std::end(backgrounds),
                    [&](const QColor& b) { return ContrastRatio(c, b) >= kReadableContrast + 0.1; }))
      return c;
  }
  return normal;
}

namespace {

QVariant Greyed() { return QBrush(GreyedText(QApplication::palette())); }

// The first cell's marks: the warning's icon where the row has notes, and
// the new or changed row's mark after it.
QVariant MarksIcon(const RowLook& look) {
  const char* mark = look.tint == RowLook::Tint::kNew       ? kNewMark
                     : look.tint == RowLook::Tint::kChanged ? kChangedMark
                                                            : nullptr;
  if (mark == nullptr && !look.warning) return {};
  const int side = QApplication::style()->pixelMetric(QStyle::PM_SmallIconSize);
  QPixmap pixmap((look.warning && mark != nullptr ? 2 : 1) * side, side);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  int left = 0;
  if (look.warning) {
    QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning).paint(&painter, 0, 0, side, side);
    left = side;
  }
  if (mark != nullptr) {
    QFont font = QApplication::font();
    font.setBold(true);
    font.setPixelSize(side);
    painter.setFont(font);
    painter.setPen(QApplication::palette().color(QPalette::Active, QPalette::Text));
    painter.drawText(QRect(left, 0, side, side), Qt::AlignCenter, QString::fromUtf8(mark));
  }
  painter.end();
  return QIcon(pixmap);
}

}  // namespace

int GridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size() + extra_.size());
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
  if (!index.isValid()) return {};
  if (IsExtraRow(index.row())) {
    const std::size_t e = static_cast<std::size_t>(index.row()) - rows_.size();
    const std::string& text = extra_[e][static_cast<std::size_t>(index.column())];
    if (role == Qt::DisplayRole) return RecordText(text);
    if (role == Qt::ForegroundRole) return Greyed();
    if (role == Qt::ToolTipRole) return PlainTip((text.size() < 20 ? std::string() : text + "\n") + extra_tips_[e]);
    return {};
  }
  const int row = GridRow(index.row());
  const std::string& text = grid_.Cell(index.column(), row);
  switch (role) {
    case Qt::DisplayRole:
      return RecordText(text);
    case Qt::ToolTipRole: {
      std::string tip = text.size() < 20 ? std::string() : text;  // a long text in full
      std::string row_line = row_tip_ ? row_tip_(row) : std::string();
      if (!row_line.empty()) tip += (tip.empty() ? "" : "\n") + row_line;
      return PlainTip(tip);
    }
    case Qt::DecorationRole:
      if (index.column() == 0 && look_) return MarksIcon(look_(row));
      return {};
    case Qt::ForegroundRole:
      if (look_ && look_(row).greyed) return Greyed();
      return {};
    case Qt::BackgroundRole: {
      if (!look_) return {};
      const RowLook::Tint tint = look_(row).tint;
      if (tint == RowLook::Tint::kNew) return QBrush(kNewTint);
      if (tint == RowLook::Tint::kChanged) return QBrush(kChangedTint);
      return {};
    }
    default:
      return {};
  }
}

void GridModel::SetExtraRows(std::vector<StringGrid::Row> rows, std::vector<std::string> tips) {
  extra_ = std::move(rows);
  extra_tips_ = std::move(tips);
  extra_tips_.resize(extra_.size());
}

void GridModel::MarksChanged() {
  if (rowCount() == 0) return;
  emit dataChanged(index(0, 0), index(rowCount() - 1, StringGrid::kColumns - 1),
                   {Qt::DecorationRole, Qt::ForegroundRole, Qt::BackgroundRole, Qt::ToolTipRole});
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

// The grid sort by the collation of the user's locale.
#include "search/grid_sort.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QString>
#include <algorithm>
#include <numeric>
#include <vector>

#include "protocol/record_text.h"

namespace {

QLocale SortLocale(const std::string& locale_name) {
  QLocale locale = locale_name.empty() ? QLocale::system() : QLocale(QString::fromStdString(locale_name));
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::English, QLocale::UnitedStates);
  return locale;
}

std::string RowText(const StringGrid::Row& row) {
  std::string text;
  for (const std::string& cell : row) {
    text += cell;
    text += "\r\n";
  }
  return text;
}

}  // namespace

void SortGridByColumnInLocale(DeviceTable& table, int column, const std::string& locale_name) {
  StringGrid& grid = table.grid;
  const int n = grid.RowCount();
  grid.BeginUpdate();
  if (n > 2) {
    QCollator collator(SortLocale(locale_name));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(false);
    collator.setIgnorePunctuation(false);

    std::vector<StringGrid::Row> rows;
    std::vector<QCollatorSortKey> keys;
    rows.reserve(static_cast<std::size_t>(n - 1));
    keys.reserve(static_cast<std::size_t>(n - 1));
    for (int r = 1; r < n; ++r) {
      rows.push_back(grid.RowAt(r));
      std::string entry = grid.Cell(column, r) + "@" + RowText(rows.back());
      keys.push_back(collator.sortKey(RecordText(entry)));
    }
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return keys[a].compare(keys[b]) < 0; });
    for (int r = 1; r < n; ++r) {
      std::size_t entry = table.sort_ascending ? order[static_cast<std::size_t>(r - 1)]
                                               : order[static_cast<std::size_t>(n - 1 - r)];
      grid.SetRow(r, rows[entry]);
    }
  }
  if (grid.RowCount() < 2) grid.SetRowCount(2);
  grid.SetFixedRows(1);
  grid.EndUpdate();
}

void SortGridByColumn(DeviceTable& table, int column) { SortGridByColumnInLocale(table, column, ""); }

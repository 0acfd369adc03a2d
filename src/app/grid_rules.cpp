// Selection, pointer, sort, popup and Browse rules of the device grid.
#include "app/grid_rules.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QString>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "protocol/codec.h"
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

bool SelectGridCell(DeviceTable& table, int col, int row, DebugLog& log) {
  if (row <= 0) return false;
  table.selected_row = row;
  log.Append(StringPrintf("ARow(%d) ACol(%d) IP(%s)\n", row, col, table.grid.Cell(3, row).c_str()));
  return true;
}

bool IsHandCell(int col, int row) { return col == 3 && row >= 1; }

bool HeadingClick(DeviceTable& table, int col, int row, bool left_button) {
  if (row != 0 || !left_button || col < 0 || col >= StringGrid::kColumns) return false;
  table.sort_ascending = !table.sort_ascending;
  SortGridByColumn(table, col);
  return true;
}

bool NetworkSetupEnabled(const DeviceTable& table) {
  return table.grid.Cell(5, table.selected_row).find("NULL") == std::string::npos;
}

std::optional<std::string> BrowseUrl(const DeviceTable& table) {
  if (table.selected_row >= table.grid.RowCount()) return std::nullopt;
  const tComUnitInfo* info =
      table.devices.FindFirst(table.grid.Cell(3, table.selected_row), table.grid.Cell(6, table.selected_row));
  if (info == nullptr) return std::nullopt;
  std::string port_text(FieldText(info->trigger_port));
  // "Read as a decimal integer": the whole text must be one.
  char* end = nullptr;
  long port = std::strtol(port_text.c_str(), &end, 10);
  bool integer = !port_text.empty() && end != nullptr && *end == '\0';
  if (!integer || port < INT_MIN || port > INT_MAX) port = 80;
  return StringPrintf("http://%s:%d", std::string(FieldText(info->ip)).c_str(), static_cast<int>(port));
}

std::string RowInterfaceTip(const DeviceTable& table, int row) {
  if (row < 1 || row >= table.grid.RowCount()) return "";
  const tComUnitInfo* record = table.devices.FindFirst(table.grid.Cell(3, row), table.grid.Cell(6, row));
  if (record == nullptr || table.devices.InterfaceOf(record).empty()) return "";
  return "Answered on " + table.devices.InterfaceOf(record);
}

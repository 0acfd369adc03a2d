// CleanHtml and PhaseItem as their rules read, literally: every step searches
// the line again from its start, so both take time quadratic in a line's
// length. The table parser's tests and its fuzz target compare the real,
// linear-time parser with these on small pages.
#pragma once

#include <string>
#include <vector>

#include "protocol/device_table.h"

inline void LiteralCleanHtml(std::vector<std::string>& lines) {
  static const char* const kWords[] = {"BODY", "HTML", "TABLE", "TITLE", "TR"};
  for (std::size_t i = 0; i < lines.size();) {
    std::string line = lines[i];
    for (std::size_t j = 0; j < line.size(); ++j) {
      if (line[j] != '>') continue;
      for (const char* word : kWords) {
        const std::size_t lt = line.find('<');
        const std::size_t gt = line.find('>');
        if (lt == std::string::npos || gt == std::string::npos || gt < lt) continue;
        std::string tag = line.substr(lt, gt - lt + 1);
        for (char& c : tag)
          if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (tag.find(word) != std::string::npos) line.erase(lt, gt - lt + 1);
      }
    }
    if (line.empty()) {
      lines.erase(lines.begin() + static_cast<long>(i));
    } else {
      lines[i++] = line;
    }
  }
}

inline void LiteralPhaseItem(std::vector<std::string>& lines, DeviceTable& table) {
  static const int kFields[] = {0, 1, 2, 3, 4, 5, 8};
  tComUnitInfo record{};
  std::size_t row = 0;
  while (row < lines.size()) {
    std::string line = lines[row];
    int cell = 0;
    for (std::size_t attempt = 0; attempt < line.size(); ++attempt) {
      const std::size_t a = line.find("<td>");
      const std::size_t b = line.find("</td>");
      if (a == std::string::npos || b == std::string::npos) continue;
      const std::string value = b > a ? line.substr(a + 4, b - a - 4) : std::string();
      if (row != 0 && cell <= 6) {
        char* field = UnitField(record, kFields[cell]);
        SetUnitField(field, UnitFieldWidth(kFields[cell]), value);
        table.grid.SetCell(cell, static_cast<int>(row), field);
      }
      line.erase(0, b + 5);
      ++cell;
    }
    if (row != 0) {
      table.grid.SetRowCount(static_cast<int>(row) + 1);
      table.devices.Append(record);
    }
    if (line.empty()) {
      lines.erase(lines.begin() + static_cast<long>(row));
    } else {
      lines[row++] = line;
    }
  }
}

// CleanHtml and PhaseItem. Both replay the character-by-character rules of
// the line scan exactly, but never rescan a line from its start: the line is
// kept as a cleaned front plus a suffix of the original text, and each search
// resumes where the previous one stopped.
#include "httpcmd/table_parser.h"

#include <cstddef>
#include <string_view>

#include "protocol/unit_info.h"

namespace {

constexpr std::size_t kNpos = std::string::npos;
constexpr int kTagWordCount = 5;
constexpr std::string_view kTagWords[kTagWordCount] = {"BODY", "HTML", "TABLE", "TITLE", "TR"};

// Record field of each of the first seven cells of a row.
constexpr int kCellFields[StringGrid::kColumns] = {0, 1, 2, 3, 4, 5, 8};  // ... netmask, mac

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Bit w is set when the tag, upper-cased, contains tag word w.
unsigned TagWordMask(std::string_view tag) {
  unsigned mask = 0;
  for (std::size_t i = 0; i < tag.size(); ++i) {
    const char c = AsciiUpper(tag[i]);
    if (c != 'B' && c != 'H' && c != 'T') continue;
    for (int w = 0; w < kTagWordCount; ++w) {
      const std::string_view word = kTagWords[w];
      if ((mask & (1u << w)) || word[0] != c || tag.size() - i < word.size()) continue;
      std::size_t k = 1;
      while (k < word.size() && AsciiUpper(tag[i + k]) == word[k]) ++k;
      if (k == word.size()) mask |= 1u << w;
    }
  }
  return mask;
}

// One line through the clean-up. The current line is always front + s[q..):
// front holds no "<" and no ">", and while the line can still change, s[q] is
// its first "<" and s[gt] its first ">".
std::string CleanLine(const std::string& s) {
  const std::size_t first_lt = s.find('<');
  const std::size_t first_gt = s.find('>');
  if (first_lt == kNpos || first_gt == kNpos || first_gt < first_lt) return s;

  std::string front = s.substr(0, first_lt);
  std::size_t q = first_lt;
  std::size_t gt = first_gt;
  unsigned mask = TagWordMask(std::string_view(s).substr(q, gt - q + 1));
  bool frozen = mask == 0;  // the first tag matches no word: nothing will change

  for (std::size_t j = 0; !frozen && j < front.size() + (s.size() - q); ++j) {
    if (j < front.size() || s[q + (j - front.size())] != '>') continue;
    for (int w = 0; w < kTagWordCount && !frozen; ++w) {
      if (!(mask & (1u << w))) continue;
      // Delete the first tag; find the next one.
      q = gt + 1;
      const std::size_t next_lt = s.find('<', q);
      const std::size_t next_gt = s.find('>', q);
      if (next_lt == kNpos || next_gt == kNpos || next_gt < next_lt) {
        frozen = true;
        break;
      }
      front.append(s, q, next_lt - q);
      q = next_lt;
      gt = next_gt;
      mask = TagWordMask(std::string_view(s).substr(q, gt - q + 1));
      frozen = mask == 0;
    }
  }
  front.append(s, q, kNpos);
  return front;
}

}  // namespace

void CleanHtml(std::vector<std::string>& lines) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string line = CleanLine(lines[i]);
    if (!line.empty()) lines[kept++] = std::move(line);
  }
  lines.resize(kept);
}

void PhaseItem(std::vector<std::string>& lines, DeviceTable& table) {
  static const std::string kOpen = "<td>";
  static const std::string kClose = "</td>";
  tComUnitInfo record{};
  std::size_t kept = 0;  // lines kept so far: the row index
  table.grid.BeginUpdate();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& s = lines[i];
    const int row = static_cast<int>(kept);
    // The current line is s[pos..); open and close are the first markers at
    // or after pos, or kNpos when there is none left.
    std::size_t pos = 0;
    std::size_t open = s.find(kOpen);
    std::size_t close = s.find(kClose);
    int cell = 0;
    for (std::size_t attempt = 0; attempt < s.size() - pos; ++attempt) {
      if (open != kNpos && open < pos) open = s.find(kOpen, pos);
      if (close != kNpos && close < pos) close = s.find(kClose, pos);
      if (open == kNpos || close == kNpos) break;  // no cell now, none later
      if (row != 0 && cell < StringGrid::kColumns) {
        const std::string_view value = close > open
            ? std::string_view(s).substr(open + kOpen.size(), close - open - kOpen.size())
            : std::string_view();
        const int f = kCellFields[cell];
        SetUnitField(UnitField(record, f), UnitFieldWidth(f), value);
        table.grid.SetCell(cell, row, std::string(UnitField(record, f)));
      }
      pos = close + kClose.size();
      ++cell;
    }
    if (row != 0) {
      table.grid.SetRowCount(row + 1);
      table.devices.Append(record);
    }
    if (pos == s.size()) continue;  // line used up: removed
    if (pos == 0) {
      if (kept != i) lines[kept] = std::move(lines[i]);
    } else {
      std::string rest = s.substr(pos);
      lines[kept] = std::move(rest);
    }
    ++kept;
  }
  lines.resize(kept);
  table.grid.EndUpdate();
}

// The window's row filter: which of the grid's data rows a filter text
// shows, and what the count label reads while it filters. The grid and the
// device list stay as they are; the filter only hides rows from view.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "protocol/device_table.h"

class RowFilter {
 public:
  // The text as typed (UTF-8); leading and trailing blanks are not part of
  // it. An empty text shows every row.
  void SetText(const std::string& text);
  bool Active() const { return !needle_.isEmpty(); }

  // Whether data row `row` is shown: any of its seven cells, or the
  // interface of the row's record when it is known, contains the text,
  // ignoring case (cells read as the grid shows them, RecordText).
  //
  // A row's answer is remembered while its cells stay the same, so that a
  // view that asks for every row after each answer of a search does not
  // read every row again; Forget() drops what is remembered (a new device
  // list may tie the same cells to another interface).
  bool Shows(const DeviceTable& table, int row) const;
  void Forget() { memo_.clear(); }

  // The data rows (1 .. RowCount-1) that the filter shows, in the grid's
  // order.
  std::vector<int> ShownRows(const DeviceTable& table) const;

 private:
  bool Matches(const DeviceTable& table, int row) const;

  struct Answer {
    StringGrid::Row cells;
    bool shows = false;
    bool known = false;
  };

  QString needle_;
  mutable std::vector<Answer> memo_;  // by grid row
};

// The count label: `search_text` ("%d device(s) found!", as the search
// left it) while the filter is not active, else "%d of %d device(s) shown"
// with the rows shown and `found`, the devices the search found.
std::string CountLabelText(const RowFilter& filter, const std::string& search_text, int shown, int found);

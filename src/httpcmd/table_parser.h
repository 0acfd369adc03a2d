// The relay's device page, read as lines of HTML: CleanHtml strips the page
// and table tags from the front of each line, PhaseItem turns the <td> cells
// of each line into device records and grid rows. Both edit the line list in
// place and run in time linear in the page size.
#pragma once

#include <string>
#include <vector>

#include "protocol/device_table.h"

// For each line, in order: while the line is scanned by a character index
// that is not reset as the line shrinks, every index that holds ">" tests the
// tag words "BODY", "HTML", "TABLE", "TITLE", "TR", in this order, against the
// line's first tag (first "<" through first ">", upper-cased, word anywhere in
// it); a word that is found deletes that tag, and the next word is tested
// against the new first tag. A line without "<", or whose first ">" comes
// before its first "<", is left as it is. Lines that end up empty are removed.
// Only the front of a line is cleaned: "</tr>" after the cells stays.
void CleanHtml(std::vector<std::string>& lines);

// Walks the lines with a row index starting at 0 and one working record that
// starts empty and is never cleared between rows. For each line, a cell is
// taken while both "<td>" and "</td>" are in the line and fewer cells have
// been taken than the line has characters left: the value runs from the
// first "<td>" to the first "</td>" (empty if "</td>" comes first). At row
// index 1 or more, cells 0..6 go into model, proj, name, ip, trigger_port,
// netmask and mac (cut to the field's width less one) and the grid cell
// (column = cell index, row = row index) shows the field's text; later cells
// are dropped. Line 0 is the table's header: its cells are dropped.
//
// Taking a cell removes the line's front up to and including the first
// "</td>": the cell together with any text before its "<td>" (a tag that
// CleanHtml kept, or plain text). A stray "</td>" before the first "<td>"
// thus counts as one empty cell and goes with the text before it.
//
// After its cells, a line at row index 1 or more sets the grid's row count to
// row index + 1 and appends a copy of the working record to table.devices
// (no duplicate test, no filter), whether or not it held a cell. A line left
// empty is removed and the next line is handled at the same row index;
// otherwise the rest is stored in place and the row index moves on.
// table.row_counter is neither read nor changed.
void PhaseItem(std::vector<std::string>& lines, DeviceTable& table);

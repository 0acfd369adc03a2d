// The device grid's sort: by one column's text, in the user's collation, the
// heading click's and the end of a search's (which sorts by "Model").
#pragma once

#include <string>

#include "protocol/device_table.h"

// Reorders the data rows by the text of `column`: each entry is
// "<cell>@<row text>" (the row text is its seven cells, each followed by
// CR LF); ascending when `table.sort_ascending`, else the exact reverse.
// Entries compare without regard to case in the collation of the user's
// locale; under the C/POSIX locale, where Qt's collator compares bytes, the
// English collation is used instead so that "@" sorts before digits and
// letters everywhere. Then at least two rows remain and row 0 is the one
// fixed row.
void SortGridByColumn(DeviceTable& table, int column);

// Sorting with an explicit locale name (tests; "" = the user's locale).
void SortGridByColumnInLocale(DeviceTable& table, int column, const std::string& locale_name);

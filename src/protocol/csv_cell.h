// Cells of the CSV the program writes (search --format csv, the window's
// Export, the plan's CSV) and of the tab-separated Copy, written so that a
// spreadsheet that opens them shows a device's text and never runs it.
//
// A cell that starts with "=", "+", "-", "@", a tab or a carriage return, or
// with blanks (spaces) and then one of them (" =1+1"), is a formula, or may
// be taken for one, so it is guarded by a leading "'", which spreadsheets
// read as "this is text". A text that already starts with "'"s followed by
// such a start gets one "'" more, so that UnguardCsvCell gives back exactly
// what GuardCsvCell was given. Every such cell is guarded, negative numbers
// such as "-1" included.
//
// Plain functions of their arguments, safe on any thread.
#pragma once

#include <string>
#include <string_view>

// `cell` with a leading "'" when it needs one (rule above), else unchanged.
std::string GuardCsvCell(std::string_view cell);

// The text a guarded cell was made from: `cell` without its leading "'" when
// GuardCsvCell would have added it, else unchanged. For every text t,
// UnguardCsvCell(GuardCsvCell(t)) == t.
std::string UnguardCsvCell(std::string_view cell);

// A record's text as one cell between `separator`s: shown as ShownText shows
// it (so it holds no control character), guarded, and in double quotes (its
// quotes doubled) when it holds the separator, a quote or a line break, as
// RFC 4180 says. In UTF-8.
std::string DelimitedCell(std::string_view text, char separator);

// DelimitedCell for CSV, whose separator is a comma.
std::string CsvField(std::string_view text);

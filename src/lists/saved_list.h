// A list of devices saved earlier, read back: what `device-search search`
// wrote with --format json, ndjson or csv, or what the window's "Export..."
// wrote (CSV or JSON), so that a search can be compared with it
// (CompareDevices). Plain functions: no network, no window, any thread.
//
// What each format gives back:
//  - json (one array of objects) and ndjson (one object per line): the
//    record's fields the object holds (all eleven for a row with a record),
//    its source, its interface, and for a UPnP row its UDN (from the "upnp"
//    object). Other members ("notes", "compare", "changed") are not read.
//  - csv: the grid's seven columns (known = kGridFields), and "Interface"
//    where the file has that column; "Notes", "Compare" and "Changed" may
//    follow or be absent (files written before they existed). A row whose Mac
//    reads "NULL" is a UPnP row without a UDN. Cells are read back as the
//    writer wrote them: unquoted, without the guard a spreadsheet formula got
//    (UnguardCsvCell), and with the escapes of shown text ("\x1b", "\\",
//    "\u{202e}") turned back into their characters (UnshownText). The
//    heading has at most kMaxSavedListColumns cells and every row as many as
//    the heading: a row is refused at its first cell past that count.
//  - A row that a comparison wrote as "missing" is not part of the list: the
//    device was not there when the file was written.
// Texts come back in UTF-8 (the writers write UTF-8; a CSV cell that is not
// UTF-8 is read by the record text rule), each cut to its field's width at a
// character's end; a text longer than its field in UTF-8 but short enough in
// Latin-1 is kept in Latin-1, as a device would have sent it, unless those
// bytes are UTF-8 of another text (then it is cut). A text a
// device sent in Latin-1 thus comes back in UTF-8: ChangedFields sees the two
// as the same text.
//
// A file that is empty or holds only blanks is refused: it holds no list
// (ndjson writes nothing when nothing was found; json writes "[]", an empty
// list). A file in any other form (the table format included) is refused.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lists/device_changes.h"

// The largest file read, the most devices one list may hold, the most bytes
// one device may take (a JSON object, an ndjson line, a CSV row; what the
// program writes stays far below, its UPnP texts come from a description of
// at most 1 MiB) and the most cells a CSV heading may have.
constexpr std::size_t kMaxSavedListBytes = 64u * 1024 * 1024;
constexpr std::size_t kMaxSavedListDevices = 200000;
constexpr std::size_t kMaxSavedListRowBytes = 8u * 1024 * 1024;
constexpr std::size_t kMaxSavedListColumns = 64;

// The devices of a saved list given as its bytes, in the file's order; none
// with *error set to a one-line message saying what is wrong and where
// ("line 3: ...") when the bytes are no list this program writes, are larger
// than kMaxSavedListBytes, hold more than kMaxSavedListDevices devices or a
// device longer than kMaxSavedListRowBytes.
std::optional<std::vector<ListedDevice>> ParseSavedList(std::string_view bytes, std::string* error);

// How long a file that is not a regular one (a FIFO, a device) may send
// nothing before its read gives up.
constexpr std::chrono::milliseconds kSavedListQuietLimit{10000};

// The same for the file at `path`; *error also says when the file cannot be
// read, and begins with the path. A regular file larger than
// kMaxSavedListBytes is refused from its size, unread; any other (a pipe, a
// device such as /dev/zero) is read in chunks and refused at its first byte
// past the limit, so no more than kMaxSavedListBytes are ever held. Never
// blocks for ever: the file is opened without waiting (a FIFO that nobody
// has opened for writing yet is read once a writer comes), and a file other
// than a regular one that sends no byte for `quiet_limit` ends the read
// with "<path>: nothing came for 10 s (a pipe that nobody writes?)". Tests
// shorten the limit.
std::optional<std::vector<ListedDevice>> ReadSavedList(const std::string& path, std::string* error,
                                                       std::chrono::milliseconds quiet_limit = kSavedListQuietLimit);

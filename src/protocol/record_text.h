// The one rule by which a record's single-byte texts become Qt strings, for
// every place that shows them (the grid, the detail dialog, Network Setup, the
// debug log, the grid's sort), and the way back for a dialog that writes a
// record: a device's untouched fields go out as the very bytes it sent.
#pragma once

#include <QString>
#include <string>
#include <string_view>

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF, no sequence cut at the end). The empty text is.
bool IsValidUtf8(std::string_view bytes);

// Valid UTF-8 reads as UTF-8; anything else reads as Latin-1, one character
// per byte, so that no byte is lost or replaced.
QString RecordText(std::string_view bytes);

// The bytes to write back for `text`, a field that was shown from `shown`:
// `shown` itself when the text still reads the same (the user did not change
// it), else the text in UTF-8, which RecordText reads back as typed.
std::string RecordBytes(const QString& text, std::string_view shown);

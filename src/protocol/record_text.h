// The one rule by which a record's single-byte texts become Qt strings, for
// every place that shows them (the grid, the detail dialog, Network Setup, the
// debug log, the grid's sort), and the way back for a dialog that writes a
// record: a device's untouched fields go out as the very bytes it sent.
//
// The rule: bytes that are UTF-8 (Utf8Text) read as UTF-8; any others read as
// Latin-1, one character per byte, so that no byte is lost or replaced. A
// field cut to its width inside a character (a 40-byte name in a 31-byte
// field) is still UTF-8: it reads without the cut character.
//
// Plain functions of their arguments, safe on any thread.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF, no sequence cut at the end). The empty text is.
bool IsValidUtf8(std::string_view bytes);

// The UTF-8 text `bytes` hold, or none when they are no UTF-8: all of `bytes`
// when they are well-formed; `bytes` without their last character when only
// that one is cut short (its first bytes are a well-formed start that the
// text ends in) and what is left shows the text is UTF-8: a whole multibyte
// character before the cut, or at least two bytes of the cut one. So "Caf"
// and a lone 0xE9 (Latin-1 "Café") stay Latin-1.
std::optional<std::string_view> Utf8Text(std::string_view bytes);

// `bytes` read by the rule above, every character kept (a leading U+FEFF too,
// which QString::fromUtf8 would drop).
QString RecordText(std::string_view bytes);

// The bytes to write back for `text`, a field that was shown from `shown`:
// `shown` itself when the text still reads the same (the user did not change
// it), else the text in UTF-8, which RecordText reads back as typed.
std::string RecordBytes(const QString& text, std::string_view shown);

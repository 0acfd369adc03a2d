// How a device's text is shown outside the window's own widgets: on a
// terminal (tables, messages, --verbose), in the saved log, in CSV and in the
// tab-separated Copy. One rule for all of them, so that no text a device
// sends can move the cursor, retitle the terminal, reorder a line, split it,
// hide a character inside a name or open an escape sequence that a later
// text would close. UnshownText, beside it, undoes it.
//
// The bytes are first read by the record text rule (RecordText: UTF-8, a
// character cut at the end left out, else Latin-1); then every character that
// is not plain printable text becomes an escape made of printable ASCII:
//   - C0 controls, DEL and the C1 controls U+0080-U+009F: "\xNN" (two
//     lower-case hex digits, the code point), e.g. ESC is "\x1b";
//   - the invisible format characters that reorder, join, split or hide
//     text: "\u{NNNN}" (four lower-case hex digits), e.g. "\u{202e}". They
//     are the bidi controls (the marks U+061C, U+200E, U+200F, the
//     embeddings and overrides U+202A-U+202E, the isolates U+2066-U+2069),
//     the zero-width characters U+200B-U+200D, U+2060 (word joiner),
//     U+2061-U+2064 (invisible operators) and U+FEFF (zero-width no-break
//     space, a byte order mark), and the line and paragraph separators
//     U+2028 and U+2029. Other format characters are kept: the soft hyphen
//     (drawn), variation selectors and emoji tags (parts of emoji);
//   - a backslash: "\\", so that every backslash shown begins an escape and
//     a device's own text "\x1b" (four characters) shows as "\\x1b".
// Every other character is written whole in UTF-8: a valid multibyte
// character is never split or escaped. The result is valid UTF-8 and holds no
// control character, so a field cut to its width before it is shown can never
// leave a sequence open.
//
// Plain functions of their arguments, safe on any thread. No locale is read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// `bytes` as shown (rule above), in UTF-8.
std::string ShownText(std::string_view bytes);

// The text that ShownText showed as `shown`, in UTF-8: "\\" is a backslash,
// "\xNN" the character U+00NN, "\u{N...}" (one to six hex digits, either
// case) the character U+N... . A backslash that begins none of these stays (a
// cell edited by hand). For all bytes b, UnshownText(ShownText(b)) is
// RecordText(b) in UTF-8.
std::string UnshownText(std::string_view shown);

// The program's own message of one or more lines that quotes device text:
// each line as ShownText shows it, the line feeds between them kept (a line
// feed in the quoted text, too, starts a new line; every other control is
// escaped).
std::string ShownLines(std::string_view text);

// A debug log entry as one line of a terminal or a file: ShownText of the
// entry without the line feed it ends in, if any, then a line feed. So an
// entry's own closing line feed stays one, and any other is escaped.
std::string ShownLogEntry(std::string_view entry);

// The number of terminal cells `text` takes (read by the record text rule):
// 2 for a wide or full-width East Asian character, 0 for a combining mark, a
// format character or a control, 1 for any other. The same on every machine
// whatever its locale.
std::size_t DisplayWidth(std::string_view text);

// The discovery protocol's packet codec: the packet builder, the transport
// encoding (complement then Base64) and its lenient inverse, the reply parser
// with its field checks, the MAC test and the number parse.
//
// Every call is plain logic on caller-owned buffers; the only side effect is
// appending lines to the given debug log. Nothing here reads or writes past
// the sizes it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/debug_log.h"
#include "protocol/unit_info.h"

constexpr std::size_t kPacketBufferSize = 65536;
extern const char kMagicWord[];  // "Zentravox"

// Packet builder. Forms the text for `flag` (0 and 2: the search requests;
// 1 and 3: the 13-field form of `pInfo`), complements it with its terminating
// zero and Base64-encodes it into `out` (zero-terminated). Result 0 when an
// encoded packet stands in `out`, -1 when nothing was built (then `out` is
// left as it was). Logs "[<text>]" for flags 1 and 3, "Invalid pInfo [%d]"
// without a record and "Undefined flag = %d" for other flags. An encoded text
// that would not fit in `out_size` bytes is not built (-1).
int BuildPacket(int flag, char* out, std::size_t out_size,
                const tComUnitInfo* pInfo, DebugLog& log);

// The plain (not yet encoded) text the builder forms for flag 1 or 3.
std::string FormatUnitPacket(int flag, const tComUnitInfo& info);

// Standard Base64 with "=" padding and no line breaks. Writes the text and a
// terminating zero into `out`, which must hold Base64EncodedSize(count)+1
// bytes. Result: characters written, terminating zero not counted.
int Base64Encode(char* out, const unsigned char* in, int count);
constexpr std::size_t Base64EncodedSize(std::size_t count) {
  return 4 * ((count + 2) / 3);
}

// Lenient Base64 decoder: skips characters outside the alphabet, stops at the
// end of `in` (at `in_len` bytes or its first zero byte, whichever comes
// first) or at a "=" that stands where a new character is expected. Writes at
// most `out_size` bytes and no terminating zero. Result: bytes written.
std::size_t Base64Decode(unsigned char* out, std::size_t out_size,
                         const char* in, std::size_t in_len);

// Exclusive-ors the first `count` bytes with 0xFF. -1 without a buffer, else 0.
int Complement(unsigned char* buffer, std::size_t count);

// Reply parser. `text` is one packet text of at most `text_len` bytes (it
// ends earlier at a zero byte). Fills the zeroed `info` token by token,
// dropping tokens that fail their field's check and cutting over-long tokens
// to the field's width less one. Result 1 for device information (flag 01),
// 0 for a flag-00 packet, -1 otherwise (logging "flag(%02d) not
// implemented.\n" when the magic word stood first).
int ParseReply(const char* text, std::size_t text_len, tComUnitInfo* info,
               DebugLog& log);

// True when the text holds at least five ":" (only the colons are counted).
bool GetMacFromCString(const char* text);

// Decimal text to long by atol's rules (leading blanks, sign, digits up to
// the first other character, 0 without digits), clamped to the range of long
// instead of overflowing.
long ParseNumber(const char* text);

// Fuzz target: the reply parser on one packet text.
//
// Input: the text itself, handed over in a buffer of exactly its size (it
// may hold zero bytes; the parser must stop at the first one).
//
// Checks: the result is -1, 0 or 1; every field is zero-terminated and holds
// no separator; the filled fields come first, in record order; a filled port
// passes its range check; a text without the magic word leaves the record
// untouched and logs nothing; only -1 after the magic word logs, one line;
// the same text gives the same record, result and log again, and again with
// a trailing line feed; and a record whose fields were not cut reads back
// the same from the packet text formed of its fields.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "protocol/codec.h"

namespace {

struct Parsed {
  tComUnitInfo info{};
  int result = 0;
  MemoryLog log;
};

void Parse(const char* text, std::size_t len, Parsed& out) {
  out.info = tComUnitInfo{};
  out.result = ParseReply(text, len, &out.info, out.log);
}

bool Same(const Parsed& a, const Parsed& b) {
  return a.result == b.result && SameRecord(a.info, b.info) && a.log.lines == b.log.lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto text = std::make_unique<char[]>(size > 0 ? size : 1);
  if (size > 0) std::memcpy(text.get(), data, size);

  Parsed first;
  Parse(text.get(), size, first);
  const tComUnitInfo& info = first.info;

  FUZZ_CHECK(first.result >= -1 && first.result <= 1, "result outside -1..1");
  FUZZ_CHECK(FieldsTerminated(info), "field not zero-terminated");

  const std::string plain = TextOf(data, size);
  const bool magic = plain.compare(0, std::strlen(kMagicWord), kMagicWord) == 0;
  if (!magic) {
    FUZZ_CHECK(first.result == -1, "a text without the magic word is not -1");
    FUZZ_CHECK(SameRecord(info, tComUnitInfo{}), "a text without the magic word filled fields");
    FUZZ_CHECK(first.log.lines.empty(), "a text without the magic word logged");
  } else if (first.result == -1) {
    FUZZ_CHECK(first.log.lines.size() == 1, "-1 after the magic word logs one line");
    const std::string& line = first.log.lines[0];
    FUZZ_CHECK(line.starts_with("flag(") && line.ends_with(") not implemented.\n"),
               "unexpected log line");
  } else {
    FUZZ_CHECK(first.log.lines.empty(), "a flag 00 or 01 packet logged");
  }

  int filled = 0;
  bool cut = false;
  for (int i = 0; i < kUnitFieldCount; ++i) {
    const std::string_view field(UnitField(info, i), std::strlen(UnitField(info, i)));
    FUZZ_CHECK(field.find(',') == std::string_view::npos && field.find('\n') == std::string_view::npos,
               "a field holds a separator");
    if (field.empty()) continue;
    FUZZ_CHECK(filled == i, "a filled field follows an empty one");
    ++filled;
    if (field.size() == UnitFieldWidth(i) - 1) cut = true;  // maybe cut: not compared below
  }
  if (info.trigger_port[0] != '\0') {
    long port = ParseNumber(info.trigger_port);
    FUZZ_CHECK(port >= 0 && port <= 65535, "the port field fails its range check");
  }

  // The same text again, and by its text length alone.
  Parsed again;
  Parse(text.get(), size, again);
  FUZZ_CHECK(Same(first, again), "a second parse differs");
  Parsed by_text;
  Parse(plain.c_str(), plain.size(), by_text);
  FUZZ_CHECK(Same(first, by_text), "the bytes after the first zero changed the parse");

  // A trailing line feed is a separator.
  if (plain.size() + 1 < kPacketBufferSize) {
    const std::string with_lf = plain + "\n";
    Parsed lf;
    Parse(with_lf.c_str(), with_lf.size(), lf);
    FUZZ_CHECK(Same(first, lf), "a trailing line feed changed the parse");
  }

  // The packet text of the fields read back.
  if (magic && !cut) {
    std::string packet = std::string(kMagicWord) + ",01";
    for (int i = 0; i < filled; ++i) packet += std::string(",") + UnitField(info, i);
    Parsed back;
    Parse(packet.c_str(), packet.size(), back);
    FUZZ_CHECK(back.result == 1, "the formed packet is not device information");
    FUZZ_CHECK(SameRecord(back.info, info), "the formed packet reads back otherwise");
  }
  return 0;
}

// Fuzz target: received answers through the transport decoding (Base64, then
// the complement) and the reply intake into a device table, as the UDP
// exchange feeds them.
//
// Input: one options byte, then the answers separated by "|". Options: bits
// 0-1 pick the project filter; bit 2 takes each answer as already decoded
// bytes; bit 3 hands a plain answer over in a buffer of exactly its size,
// with no zero after it.
//
// Checks: the decoder stays within its buffer, writes at most 3 bytes per 4
// characters, round-trips through the encoder and agrees with itself on a
// shorter buffer; after every answer the intake's count equals the records
// appended, every field is zero-terminated, no two records share (ip, mac),
// the grid's row count equals the row counter and the rows are the shown
// records in order; a second pass over the same answers appends nothing.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_check.h"
#include "protocol/answer_codec.h"
#include "protocol/codec.h"
#include "protocol/intake.h"

namespace {

const char* const kFilters[] = {"ALL", "P1", "", "M100"};

std::vector<std::string> SplitAnswers(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> answers(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '|') {
      answers.emplace_back();
    } else {
      answers.back().push_back(static_cast<char>(data[i]));
    }
  }
  return answers;
}

void CheckDecoder(const std::string& text, const unsigned char* decoded, std::size_t n,
                  std::size_t out_size) {
  FUZZ_CHECK(n <= out_size, "decoder wrote past its buffer");
  FUZZ_CHECK(n * 4 <= text.size() * 3, "decoder made more than 3 bytes of 4 characters");
  // The plain bytes again (the complement undone), encoded and decoded.
  std::vector<unsigned char> bytes(decoded, decoded + n);
  Complement(bytes.data(), bytes.size());
  std::string encoded(Base64EncodedSize(n) + 1, '\x7f');
  int written = Base64Encode(encoded.data(), bytes.data(), static_cast<int>(n));
  FUZZ_CHECK(static_cast<std::size_t>(written) == Base64EncodedSize(n), "encoder length");
  FUZZ_CHECK(encoded[static_cast<std::size_t>(written)] == '\0', "encoder terminating zero");
  std::vector<unsigned char> again(n + 3);
  std::size_t m = Base64Decode(again.data(), again.size(), encoded.c_str(), encoded.size());
  FUZZ_CHECK(m == n, "decode(encode(x)) has another length");
  FUZZ_CHECK(n == 0 || std::memcmp(again.data(), bytes.data(), n) == 0, "decode(encode(x)) != x");
  // A shorter buffer of exactly its size gets the same first bytes.
  std::size_t short_size = n / 2;
  auto short_out = std::make_unique<unsigned char[]>(short_size + 1);
  std::size_t k = Base64Decode(short_out.get(), short_size, text.data(), text.size());
  FUZZ_CHECK(k == short_size, "decoder filled less of a shorter buffer");
  Complement(short_out.get(), k);
  FUZZ_CHECK(std::memcmp(short_out.get(), decoded, k) == 0, "shorter buffer decoded otherwise");
}

struct IntakeRun {
  DeviceTable table;
  SearchSettings settings;
  NullLog log;
  std::vector<StringGrid::Row> shown;           // expected grid rows 1..
  std::set<std::pair<std::string, std::string>> keys;  // (ip, mac) of every record

  void Check(int count, std::size_t before) {
    const std::size_t after = table.devices.Size();
    FUZZ_CHECK(count >= 0 && before + static_cast<std::size_t>(count) == after,
               "intake count differs from the records appended");
    for (std::size_t i = before; i < after; ++i) {
      const tComUnitInfo& info = table.devices.At(i);
      FUZZ_CHECK(FieldsTerminated(info), "record field not zero-terminated");
      bool fresh = keys.emplace(std::string(FieldText(info.ip)), std::string(FieldText(info.mac))).second;
      FUZZ_CHECK(fresh, "intake appended a duplicate (ip, mac)");
      FUZZ_CHECK(table.devices.FindFirst(FieldText(info.ip), FieldText(info.mac)) == &info,
                 "the index does not find the appended record");
      if (ProjectFilter(settings.project, FieldText(info.proj)) == 0) shown.push_back(GridRowOf(info));
    }
    FUZZ_CHECK(table.grid.RowCount() == table.row_counter, "grid row count != row counter");
    FUZZ_CHECK(static_cast<std::size_t>(table.row_counter) == shown.size() + 1,
               "row counter != shown records + 1");
    for (std::size_t r = 0; r < shown.size(); ++r)
      FUZZ_CHECK(table.grid.RowAt(static_cast<int>(r + 1)) == shown[r], "grid row != shown record");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const unsigned options = data[0];
  const bool plain = options & 4;
  const bool exact = options & 8;
  const std::vector<std::string> answers = SplitAnswers(data + 1, size - 1);

  IntakeRun run;
  run.settings.project = kFilters[options & 3];
  run.table.grid.ClearRows(1);
  run.table.grid.SetRowCount(1);

  auto decoded = std::make_unique<unsigned char[]>(kPacketBufferSize);
  std::memset(decoded.get(), 0, kPacketBufferSize);
  std::size_t dirty = 0;
  for (int pass = 1; pass <= 2; ++pass) {
    const std::size_t records_before_pass = run.table.devices.Size();
    for (const std::string& answer : answers) {
      const std::size_t before = run.table.devices.Size();
      int count = 0;
      if (!plain) {
        const std::size_t written_before = dirty;
        std::size_t n = DecodeAnswer(answer.data(), answer.size(), decoded.get(), kPacketBufferSize,
                                     &dirty);
        CheckDecoder(answer, decoded.get(), n, kPacketBufferSize);
        // What an earlier answer left beyond this one must read as zero.
        for (std::size_t i = n; i < written_before && i < kPacketBufferSize; ++i)
          if (decoded[i] != 0) FUZZ_CHECK(false, "decoded buffer not zero beyond the answer");
        count = ParserPlainPkg(run.table, run.settings, run.log, decoded.get(), kPacketBufferSize,
                               answer.size());
      } else if (exact) {
        auto buffer = std::make_unique<unsigned char[]>(answer.size());
        std::memcpy(buffer.get(), answer.data(), answer.size());
        count = ParserPlainPkg(run.table, run.settings, run.log, buffer.get(), answer.size(),
                               answer.size());
      } else {
        const std::size_t len = answer.size() < kPacketBufferSize ? answer.size() : kPacketBufferSize;
        std::memset(decoded.get(), 0, dirty);
        std::memcpy(decoded.get(), answer.data(), len);
        dirty = len;
        count = ParserPlainPkg(run.table, run.settings, run.log, decoded.get(), kPacketBufferSize,
                               answer.size());
      }
      run.Check(count, before);
    }
    if (pass == 2)
      FUZZ_CHECK(run.table.devices.Size() == records_before_pass,
                 "the second pass over the same answers appended a record");
  }
  return 0;
}

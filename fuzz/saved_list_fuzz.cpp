// Fuzz target: the saved-list reader (ParseSavedList: JSON, ndjson and CSV
// from any file) and its round trip with the row writer (PrintRows).
//
// Input: any bytes, read first as a saved list. The same bytes then give
// up to eight devices: their texts split at zero bytes when there are any,
// else at line feeds, twelve texts a device (the record's eleven fields and
// the interface; a UPnP device's twelfth text is its UDN and its interface
// is empty); every third device is a UPnP device.
//
// Checks, on the list read:
//  - every field is zero-terminated within its width, and the device knows
//    at least one field; interface, UDN and source are no longer than twice
//    the input (a Latin-1 byte is two in UTF-8);
//  - a CSV list holds no more devices than the input has line ends (LF, or
//    a CR alone, as old files end lines), a JSON
//    list no more than it has "{";
//  - a CSV file whose first line holds no quote and 64 or more commas (more
//    than kMaxSavedListColumns cells) is refused;
//  - when the input holds no backslash (no escape of JSON or of shown text),
//    every field text, interface and UDN read, as the record text rule reads
//    it, occurs in the input in UTF-8 or in Latin-1 (for CSV: unless the text
//    holds a quote, which the file doubles): nothing is read that the file
//    does not hold.
// Checks, on the round trip: the devices written as CSV, JSON (compact or
// pretty) or ndjson (the input's length modulo four picks one), compared with the list read when there was one (its
// missing devices are written too and must not come back), read back as
// exactly the devices written, in order: each field the format keeps reads
// as the same text (RecordText), the interface too; JSON also keeps the
// source and the UDN; CSV marks as UPnP exactly the rows whose MAC is
// "NULL".
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "lists/row_writer.h"
#include "lists/saved_list.h"
#include "protocol/record_text.h"
#include "records.h"

namespace {

constexpr std::size_t kMostDevices = 8;
constexpr std::size_t kTextsPerDevice = 12;

bool SameText(std::string_view a, std::string_view b) { return RecordText(a) == RecordText(b); }

// True when `text`, read by the record text rule, occurs in `input` in
// UTF-8 or, when it has that form, in Latin-1.
bool OccursIn(std::string_view input, std::string_view text) {
  const QString read = RecordText(text);
  const QByteArray utf8 = read.toUtf8();
  if (input.find(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size()))) != std::string_view::npos)
    return true;
  for (const QChar c : read)
    if (c.unicode() > 0xFF) return false;
  const QByteArray latin1 = read.toLatin1();
  return input.find(std::string_view(latin1.constData(), static_cast<std::size_t>(latin1.size()))) !=
         std::string_view::npos;
}

// The form ParseSavedList takes the bytes for: '[' JSON, '{' ndjson, else CSV.
char FormOf(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  const std::size_t first = bytes.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return ' ';
  return bytes[first] == '[' || bytes[first] == '{' ? bytes[first] : 'c';
}

void CheckRead(std::string_view input, const std::vector<ListedDevice>& devices) {
  const char form = FormOf(input);
  FUZZ_CHECK(form != ' ', "an empty file was read as a list");
  FUZZ_CHECK(devices.size() <= kMaxSavedListDevices, "more devices than the limit");
  if (form == 'c') {
    std::size_t line_ends = 0;  // LF, or a CR without one
    for (std::size_t i = 0; i < input.size(); ++i)
      line_ends += input[i] == '\n' || (input[i] == '\r' && (i + 1 == input.size() || input[i + 1] != '\n'));
    FUZZ_CHECK(devices.size() <= line_ends, "more CSV devices than lines after the heading");
  }
  else if (form == '[')
    FUZZ_CHECK(devices.size() <= static_cast<std::size_t>(std::count(input.begin(), input.end(), '{')),
               "more JSON devices than objects");
  const bool literal = input.find('\\') == std::string_view::npos;
  for (const ListedDevice& d : devices) {
    FUZZ_CHECK(FieldsTerminated(d.record), "a field read is not zero-terminated");
    FUZZ_CHECK(d.known != 0 && (d.known & ~kAllUnitFields) == 0, "a device knows no field or a field that is none");
    // A byte of the file is at most two of UTF-8 (a Latin-1 cell read back).
    const std::size_t most = 2 * input.size();
    FUZZ_CHECK(d.interface.size() <= most && d.udn.size() <= most && d.source.size() <= most,
               "a text longer than twice the file");
    if (!literal) continue;
    auto occurs = [&](std::string_view text) {
      return text.empty() || (form == 'c' && text.find('"') != std::string_view::npos) || OccursIn(input, text);
    };
    for (int f = 0; f < kUnitFieldCount; ++f)
      if ((d.known >> f) & 1u)
        FUZZ_CHECK(occurs(std::string_view(UnitField(d.record, f))), "a field read does not occur in the file");
    FUZZ_CHECK(occurs(d.interface), "an interface read does not occur in the file");
    FUZZ_CHECK(occurs(d.udn), "a UDN read does not occur in the file");
  }
}

// A CSV heading of too many cells, plainly: its first line has no quote and
// at least as many commas as the limit of cells.
bool PlainLongHeading(std::string_view input) {
  if (input.starts_with("\xEF\xBB\xBF")) input.remove_prefix(3);
  const std::string_view line = input.substr(0, input.find('\n'));
  return line.find('"') == std::string_view::npos &&
         static_cast<std::size_t>(std::count(line.begin(), line.end(), ',')) >= kMaxSavedListColumns;
}

// The devices the input gives (see the top), as a table.
struct Derived {
  DeviceTable table;
  std::deque<DeviceInformationContainer> upnp;  // stable addresses for the origins
  RecordOrigins origins;
};

void Derive(std::string_view input, Derived& out) {
  const char separator = input.find('\0') != std::string_view::npos ? '\0' : '\n';
  std::vector<std::string_view> texts;
  for (std::size_t start = 0; start <= input.size() && texts.size() < kMostDevices * kTextsPerDevice;) {
    std::size_t end = input.find(separator, start);
    if (end == std::string_view::npos) end = input.size();
    texts.push_back(input.substr(start, end - start));
    start = end + 1;
  }
  WriteGridHeadings(out.table.grid);
  std::vector<std::pair<tComUnitInfo, std::string_view>> protocol, upnp;
  for (std::size_t k = 0; k * kTextsPerDevice < texts.size(); ++k) {
    tComUnitInfo info{};
    for (int f = 0; f < kUnitFieldCount; ++f) {
      const std::size_t i = k * kTextsPerDevice + static_cast<std::size_t>(f);
      if (i < texts.size()) SetUnitField(UnitField(info, f), UnitFieldWidth(f), texts[i]);
    }
    // A row without text is not written: every device has an IP.
    if (info.ip[0] == '\0') SetField(info.ip, "ip");
    const std::size_t last = k * kTextsPerDevice + kTextsPerDevice - 1;
    const std::string_view twelfth = last < texts.size() ? texts[last] : std::string_view();
    if (k % 3 == 2) {
      SetField(info.mac, "NULL");
      upnp.emplace_back(info, twelfth);
    } else {
      protocol.emplace_back(info, twelfth);
    }
  }
  // The search's records come first, then the merge's.
  for (const auto& [info, interface] : protocol) AddRow(out.table, info, interface);
  for (const auto& [info, udn] : upnp) {
    DeviceInformationContainer& device = out.upnp.emplace_back();
    device.unique_device_name = std::string(udn);
    device.manufacturer_name = "AXIS";
    AddUpnpRow(out.table, info, out.upnp.size() - 1);
  }
  out.origins.exchange_records = protocol.size();
  for (const DeviceInformationContainer& d : out.upnp) out.origins.upnp.push_back(&d);
}

void CheckRoundTrip(const Derived& derived, const std::vector<ListedDevice>* saved, std::size_t form) {
  const std::vector<ListedDevice> listed = ListedDevicesOf(derived.table, derived.origins);
  const RowExtras extras = ExtrasOf(derived.table, derived.origins, {}, saved);
  static constexpr std::pair<OutputFormat, bool> kForms[] = {
      {OutputFormat::kCsv, false}, {OutputFormat::kJson, false}, {OutputFormat::kJson, true}, {OutputFormat::kNdjson, false}};
  {
    const auto [format, pretty] = kForms[form % 4];
    std::ostringstream out;
    PrintRows(derived.table, format, derived.origins, extras, out, pretty);
    std::string error;
    const std::optional<std::vector<ListedDevice>> read = ParseSavedList(out.str(), &error);
    FUZZ_CHECK(read.has_value(), ("a written list is refused: " + error).c_str());
    FUZZ_CHECK(read->size() == listed.size(), "a written list reads back with another number of devices");
    const bool csv = format == OutputFormat::kCsv;
    for (std::size_t i = 0; i < listed.size(); ++i) {
      const ListedDevice& r = (*read)[i];
      const ListedDevice& l = listed[i];
      FUZZ_CHECK(r.known == (csv ? kGridFields : kAllUnitFields), "the fields known are not the format's");
      for (int f = 0; f < kUnitFieldCount; ++f)
        if ((r.known >> f) & 1u)
          if (!SameText(UnitField(r.record, f), UnitField(l.record, f))) {
            std::fprintf(stderr, "format %d field %d device %zu: [%s] read as [%s]\n%s\n", static_cast<int>(format), f, i,
                         UnitField(l.record, f), UnitField(r.record, f), out.str().c_str());
            FUZZ_CHECK(false, "a field reads back as another text");
          }
      FUZZ_CHECK(SameText(r.interface, l.interface), "the interface reads back as another text");
      if (csv) {
        FUZZ_CHECK(r.upnp == (FieldText(l.record.mac) == "NULL"), "CSV marks UPnP rows wrongly");
      } else {
        FUZZ_CHECK(r.upnp == l.upnp && r.source == l.source, "the source reads back as another");
        FUZZ_CHECK(SameText(r.udn, l.udn), "the UDN reads back as another text");
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string error;
  const std::optional<std::vector<ListedDevice>> read = ParseSavedList(input, &error);
  if (read) CheckRead(input, *read);
  else FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos, "a refusal without a one-line message");
  if (FormOf(input) == 'c' && PlainLongHeading(input)) FUZZ_CHECK(!read, "a CSV heading over the limit is read");

  Derived derived;
  Derive(input, derived);
  CheckRoundTrip(derived, read ? &*read : nullptr, size);
  return 0;
}

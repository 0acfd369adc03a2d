// Fuzz target: the address and record of one UPnP result (UpnpAddressOf and
// UpnpRecordOf), as the UPnP results step turns a kept device into a row.
//
// Input: four texts separated by line feeds: the manufacturer name, the
// description, the friendly name and the presentation URL.
//
// Checks: an address exists exactly when the URL has "//" and a "/" after
// it; its host part is what stands between them, and ip + ":" + port gives
// it back when it has a ":" (else ip is the host and the port "80"); a record
// exists exactly for an AXIS maker (as written) or a Vivotek maker (in any
// case, with a "(") with an address; its fields are zero-terminated, the six
// "NULL" fields hold "NULL", and model, proj, name, ip and port are their
// texts, cut only to fit, never inside a UTF-8 character.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "upnp/upnp_merge.h"

namespace {

// True when the text is well-formed UTF-8 (shortest forms, no surrogates).
bool ValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    std::uint32_t cp = n == 1 ? c : n == 2 ? (c & 0x1F) : n == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; k < n; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    static const std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// `field` holds `source`, cut only where needed to fit and never inside a
// UTF-8 character.
template <std::size_t N>
void CheckText(const char (&field)[N], std::string_view source, const char* what) {
  const std::string_view text = FieldText(field);
  FUZZ_CHECK(text.size() < N, what);
  FUZZ_CHECK(source.substr(0, text.size()) == text, what);
  const std::size_t room = N - 1;
  if (source.substr(0, room).find('\0') != std::string_view::npos) return;  // cut at the zero
  if (source.size() <= room) {
    FUZZ_CHECK(text.size() == source.size(), what);
    return;
  }
  // Cut: not before a continuation byte (the cut ends a character), and for
  // well-formed text no more than one character short of the room.
  FUZZ_CHECK(text.empty() || !IsContinuation(source[text.size()]), what);
  if (ValidUtf8(source)) {
    FUZZ_CHECK(!IsContinuation(source[text.size()]), what);
    FUZZ_CHECK(text.size() + 3 >= room, what);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string parts[4];
  std::size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    std::size_t end = i < 3 ? input.find('\n', start) : std::string::npos;
    if (start > input.size()) break;
    parts[i] = input.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  DeviceInformationContainer device;
  device.manufacturer_name = parts[0];
  device.description = parts[1];
  device.friendly_name = parts[2];
  device.presentation_url = parts[3];
  const std::string& url = device.presentation_url;

  // The address.
  const std::optional<UpnpAddress> address = UpnpAddressOf(url);
  const std::size_t slashes = url.find("//");
  const std::size_t slash = slashes == std::string::npos ? std::string::npos : url.find('/', slashes + 2);
  FUZZ_CHECK(address.has_value() == (slash != std::string::npos), "address found or missed wrongly");
  if (address) {
    const std::string host = url.substr(slashes + 2, slash - slashes - 2);
    FUZZ_CHECK(host.find('/') == std::string::npos, "the host part holds a /");
    FUZZ_CHECK(address->ip.find(':') == std::string::npos, "the ip holds a :");
    if (host.find(':') != std::string::npos) {
      FUZZ_CHECK(address->ip + ":" + address->port == host, "ip:port does not give the host back");
    } else {
      FUZZ_CHECK(address->ip == host && address->port == "80", "host without port");
    }
  }

  // The record: AXIS as written, Vivotek in any case.
  std::string folded = device.manufacturer_name;
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool axis = device.manufacturer_name.find("AXIS") != std::string::npos;
  const bool vivotek = !axis && folded.find("vivotek") != std::string::npos;
  const std::size_t paren = device.friendly_name.find('(');
  const bool wanted = (axis || (vivotek && paren != std::string::npos)) && address.has_value();
  const std::optional<tComUnitInfo> record = UpnpRecordOf(device);
  FUZZ_CHECK(record.has_value() == wanted, "record made or skipped wrongly");
  if (!record) return 0;
  const tComUnitInfo& info = *record;
  FUZZ_CHECK(FieldsTerminated(info), "record field not zero-terminated");
  for (std::string_view null_field : {FieldText(info.netmask), FieldText(info.gateway),
                                      FieldText(info.dns), FieldText(info.mac), FieldText(info.dev),
                                      FieldText(info.note)})
    FUZZ_CHECK(null_field == "NULL", "a UPnP record field is not NULL");
  const std::string_view model = axis ? "Axis 200 Series" : "VivoTek 7000 Series";
  FUZZ_CHECK(FieldText(info.model) == model && FieldText(info.proj) == model, "model or proj");
  const std::string_view name = axis ? std::string_view(device.description)
                                     : std::string_view(device.friendly_name).substr(0, paren);
  CheckText(info.name, name, "name not its text");
  CheckText(info.ip, address->ip, "ip not its text");
  CheckText(info.trigger_port, address->port, "port not its text");
  return 0;
}

// Fuzz target: the SSDP announcements the live watch hears from any host
// (ReadSsdpNotice: what the listener hands on of one datagram).
//
// Input: four bytes, the sender's IPv4 address, then the datagram.
//
// Checks: a datagram longer than kSsdpDatagramLimit gives nothing. A notice
// comes only of a NOTIFY: the first line is "NOTIFY * HTTP/1.1" (blanks and
// a CR around it aside), a header line NTS (in any case) holds ssdp:alive
// for an alive and ssdp:byebye for a byebye; its UDN is "uuid:" and more,
// holds no "::" and occurs in the datagram. An alive is a root device's (NT
// upnp:rootdevice) and its location, which occurs in the datagram, is an
// http:// URL of printable ASCII whose authority (up to the first "/", "?"
// or "#") is the sender's address, with no user part ("@") and a port of
// digits only if any; a byebye has no location. The same datagram with LF
// line ends for CR LF gives the same notice.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "upnp/ssdp_listener.h"

namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

// True when a header line named `name` (any case) holds `value`.
bool HasHeader(std::string_view datagram, std::string_view name, std::string_view value) {
  for (std::size_t start = 0; start < datagram.size();) {
    std::size_t end = datagram.find('\n', start);
    if (end == std::string_view::npos) end = datagram.size();
    const std::string_view line = datagram.substr(start, end - start);
    start = end + 1;
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && SameLetters(Trim(line.substr(0, colon)), name) &&
        Trim(line.substr(colon + 1)) == value)
      return true;
  }
  return false;
}

// The location rule, read from the URL's own grammar (RFC 3986).
bool OnSender(std::string_view location, std::string_view sender) {
  for (char c : location)
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f) return false;
  if (!location.starts_with("http://")) return false;
  location.remove_prefix(7);
  const std::string_view authority = location.substr(0, location.find_first_of("/?#"));
  if (authority.find('@') != std::string_view::npos) return false;
  const std::size_t colon = authority.find(':');
  if (authority.substr(0, colon) != sender) return false;
  if (colon == std::string_view::npos) return true;
  for (char c : authority.substr(colon + 1))
    if (c < '0' || c > '9') return false;
  return true;
}

std::string Words(const std::optional<SsdpNotice>& n) {
  return n ? (n->alive ? "alive " : "byebye ") + n->nt + " " + n->udn + " " + n->location : "none";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  char sender[16];
  std::snprintf(sender, sizeof sender, "%u.%u.%u.%u", data[0], data[1], data[2], data[3]);
  const std::string_view datagram(reinterpret_cast<const char*>(data) + 4, size - 4);

  const std::optional<SsdpNotice> notice = ReadSsdpNotice(datagram, sender);
  if (datagram.size() > kSsdpDatagramLimit) FUZZ_CHECK(!notice, "a datagram over the limit gave a notice");
  if (datagram.size() <= kSsdpDatagramLimit) {
    std::string lf;
    for (std::size_t i = 0; i < datagram.size(); ++i)
      if (!(datagram[i] == '\r' && i + 1 < datagram.size() && datagram[i + 1] == '\n')) lf += datagram[i];
    FUZZ_CHECK(Words(ReadSsdpNotice(lf, sender)) == Words(notice), "LF line ends read otherwise than CR LF");
  }
  if (!notice) return 0;
  FUZZ_CHECK(Trim(datagram.substr(0, datagram.find('\n'))) == "NOTIFY * HTTP/1.1", "a notice of no NOTIFY");
  FUZZ_CHECK(HasHeader(datagram, "nts", notice->alive ? "ssdp:alive" : "ssdp:byebye"),
             "a notice without its NTS");
  FUZZ_CHECK(notice->udn.starts_with("uuid:") && notice->udn.size() > 5, "a UDN that is not uuid:...");
  FUZZ_CHECK(notice->udn.find("::") == std::string::npos, "a UDN holding ::");
  FUZZ_CHECK(datagram.find(notice->udn) != std::string_view::npos, "a UDN not in the datagram");
  FUZZ_CHECK(notice->nt.size() < datagram.size(), "an NT longer than the datagram");
  if (notice->alive) {
    FUZZ_CHECK(notice->nt == "upnp:rootdevice", "an alive handed on that is not a root device's");
    FUZZ_CHECK(datagram.find(notice->location) != std::string_view::npos, "a location not in the datagram");
    FUZZ_CHECK(OnSender(notice->location, sender), "a location handed on that is not on the sender");
  } else {
    FUZZ_CHECK(notice->location.empty(), "a byebye with a location");
  }

  return 0;
}

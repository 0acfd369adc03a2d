// The UPnP search's account as debug log lines.
#include "upnp/upnp_account.h"

#include "protocol/string_printf.h"

namespace {

constexpr std::size_t kDeviceTextBytes = 80;

std::string Plural(int n, const char* one, const char* many) {
  return StringPrintf("%d %s", n, n == 1 ? one : many);
}

// One "UPnP: <prefix><item>" line per item, at most kUpnpAccountListLimit,
// then "UPnP: N more <what>" for the others and the `more` not kept.
void AppendList(std::vector<std::string>& lines, const char* prefix, const std::vector<std::string>& items,
                const char* what, std::size_t more = 0) {
  for (std::size_t i = 0; i < items.size() && i < kUpnpAccountListLimit; ++i)
    lines.push_back(std::string("UPnP: ") + prefix + items[i]);
  if (items.size() > kUpnpAccountListLimit) more += items.size() - kUpnpAccountListLimit;
  if (more > 0) lines.push_back(StringPrintf("UPnP: %zu more %s", more, what));
}

// The length of the UTF-8 character that `text` begins with, 0 when it begins
// with something a terminal might act on or that is not UTF-8: a C0 or C1
// control, DEL, a quote, a backslash, a stray or cut byte, an overlong form,
// a surrogate.
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char c = byte(0);
  if (c < 0x80) return (c < 0x20 || c == 0x7F || c == '"' || c == '\\') ? 0 : 1;
  std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
  if (n == 0 || c > 0xF4 || text.size() < n) return 0;
  unsigned cp = c & (0x3F >> (n - 1));
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(k) & 0x3F);
  }
  static constexpr unsigned kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kLeast[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp < 0xA0) return 0;
  return n;
}

}  // namespace

int UpnpSearchAccount::Replies() const {
  int replies = 0;
  for (const UpnpInterfaceAccount& i : interfaces) replies += i.replies;
  return replies;
}

void UpnpSearchAccount::NoteRefusedDescription(std::string refusal) {
  if (descriptions_refused.size() < kUpnpAccountListLimit) descriptions_refused.push_back(std::move(refusal));
  else ++descriptions_refused_more;
}

std::vector<std::string> UpnpAccountLines(const UpnpSearchAccount& account) {
  std::vector<std::string> lines;
  if (account.interfaces.empty()) lines.push_back("UPnP: no network interface to search on");
  for (const UpnpInterfaceAccount& i : account.interfaces) {
    const std::string where = i.interface + " (" + i.address + ")";
    if (!i.error.empty()) {
      lines.push_back("UPnP: no search on " + where + ": " + i.error);
      continue;
    }
    if (i.port_taken)
      lines.push_back(StringPrintf(
          "UPnP: UDP port %d is taken on %s (another search running?); M-SEARCH goes from port %d there, "
          "which the firewall profiles do not open",
          kUpnpMsearchPort, where.c_str(), i.msearch_port));
    lines.push_back(StringPrintf("UPnP: %s: %s sent from UDP port %d, %s", where.c_str(),
                                 Plural(i.msearches, "M-SEARCH", "M-SEARCHes").c_str(), i.msearch_port,
                                 Plural(i.replies, "reply", "replies").c_str()));
  }
  lines.push_back(StringPrintf("UPnP: %s asked for, %d read, %zu refused, %d unfinished when the search ended",
                               Plural(account.descriptions_asked, "description", "descriptions").c_str(),
                               account.descriptions_read,
                               account.descriptions_refused.size() + static_cast<std::size_t>(account.descriptions_refused_more),
                               account.descriptions_unfinished));
  AppendList(lines, "description refused: ", account.descriptions_refused, "descriptions refused",
             static_cast<std::size_t>(account.descriptions_refused_more));
  if (account.descriptions_dropped > 0)
    lines.push_back(StringPrintf("UPnP: %s not asked for: as many fetches as a search allows were under way",
                                 Plural(account.descriptions_dropped, "description", "descriptions").c_str()));
  if (account.announcements_elsewhere > 0)
    lines.push_back(StringPrintf(
        "UPnP: %s not followed: the LOCATION is not on the host that sent it",
        Plural(account.announcements_elsewhere, "announcement", "announcements").c_str()));
  lines.push_back(StringPrintf("UPnP: %d kept (AXIS or Vivotek), %zu refused", account.devices_kept,
                               account.devices_refused.size()));
  AppendList(lines, "device refused: ", account.devices_refused, "devices refused");
  return lines;
}

std::string QuotedDeviceText(std::string_view text) {
  std::string out = "\"";
  std::size_t end = text.size();
  bool cut = false;
  if (end > kDeviceTextBytes) {
    end = kDeviceTextBytes;
    // Back to the start of a UTF-8 character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    cut = true;
  }
  for (std::size_t i = 0; i < end;) {
    const std::size_t n = Utf8Length(text.substr(i, end - i));
    if (n == 0) {
      out += StringPrintf("\\x%02X", static_cast<unsigned char>(text[i]));
      ++i;
    } else {
      out.append(text, i, n);
      i += n;
    }
  }
  return out + (cut ? "...\"" : "\"");
}

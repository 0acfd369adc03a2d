// The ONVIF search's account as debug log lines.
#include "onvif/onvif_account.h"

#include "onvif/onvif_device.h"
#include "protocol/shown_text.h"
#include "protocol/string_printf.h"

namespace {

constexpr std::size_t kQuotedBytes = 80;

std::string Plural(int n, const char* one, const char* many) {
  return StringPrintf("%d %s", n, n == 1 ? one : many);
}

void AppendList(std::vector<std::string>& lines, const char* prefix, const std::vector<std::string>& items, int more,
                const char* what) {
  for (const std::string& item : items) lines.push_back(std::string("ONVIF: ") + prefix + item);
  if (more > 0) lines.push_back(StringPrintf("ONVIF: %d more %s", more, what));
}

}  // namespace

int OnvifSearchAccount::Probes() const {
  int n = 0;
  for (const OnvifSocketAccount& s : sockets) n += s.probes;
  return n;
}

int OnvifSearchAccount::Answers() const {
  int n = 0;
  for (const OnvifSocketAccount& s : sockets) n += s.answers;
  return n;
}

void OnvifSearchAccount::NoteDropped(std::string line) {
  if (dropped.size() < kOnvifAccountListLimit) dropped.push_back(std::move(line));
  else ++dropped_more;
}

void OnvifSearchAccount::NoteNotOnvif(std::string line) {
  if (not_onvif_list.size() < kOnvifAccountListLimit) not_onvif_list.push_back(std::move(line));
  else ++not_onvif_more;
}

std::vector<std::string> OnvifAccountLines(const OnvifSearchAccount& a) {
  std::vector<std::string> lines;
  if (a.sockets.empty()) lines.push_back("ONVIF: no network interface to search on");
  for (const OnvifSocketAccount& s : a.sockets) {
    const std::string where = s.interface + " (" + s.address + ")";
    if (!s.error.empty()) {
      lines.push_back("ONVIF: no search on " + where + ": " + s.error);
      continue;
    }
    if (s.port_taken)
      lines.push_back(StringPrintf(
          "ONVIF: UDP port %d is taken on %s (another search running?); Probes go from port %d there, "
          "which the firewall profiles do not open",
          kOnvifProbePort, where.c_str(), s.port));
    lines.push_back(StringPrintf("ONVIF: %s: %s sent from UDP port %d, %s", where.c_str(),
                                 Plural(s.probes, "Probe", "Probes").c_str(), s.port,
                                 Plural(s.answers, "answer", "answers").c_str()));
  }
  lines.push_back(StringPrintf("ONVIF: %s listed, %d repeated answers, %d from responders that are no ONVIF device",
                               Plural(a.devices, "device", "devices").c_str(), a.repeated, a.not_onvif));
  AppendList(lines, "not listed (no ONVIF device): ", a.not_onvif_list, a.not_onvif_more, "responders not listed");
  const int dropped = a.malformed + a.foreign + a.no_endpoint + a.no_xaddrs + a.over_limit;
  if (dropped > 0 || a.not_answers > 0)
    lines.push_back(StringPrintf(
        "ONVIF: dropped: %d malformed, %d not for this search's Probes, %d without an endpoint, %d without "
        "XAddrs, %d beyond %zu devices; %d other messages ignored",
        a.malformed, a.foreign, a.no_endpoint, a.no_xaddrs, a.over_limit, kOnvifDeviceLimit, a.not_answers));
  AppendList(lines, "dropped: ", a.dropped, a.dropped_more, "dropped");
  if (a.cut > 0)
    lines.push_back(StringPrintf("ONVIF: %s cut to the bounds (%zu bytes a text, %zu scopes, %zu XAddrs)",
                                 Plural(a.cut, "text or list item", "texts or list items").c_str(),
                                 kOnvifTextLimit, kOnvifScopeLimit, kOnvifXaddrLimit));
  lines.push_back(StringPrintf(
      "ONVIF: details: %d asked, %d read, %d asked for credentials, %d SOAP faults, %d failed, %d given up when "
      "the search ended, %d not asked (no XAddr on the host that answered)",
      a.details_asked, a.details_read, a.details_credentials, a.details_fault, a.details_failed, a.details_given_up,
      a.details_elsewhere));
  return lines;
}

std::string QuotedOnvifText(std::string_view text) {
  bool cut = false;
  if (text.size() > kQuotedBytes) {
    std::size_t end = kQuotedBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text = text.substr(0, end);
    cut = true;
  }
  std::string out = "\"";
  for (char c : ShownText(text)) {
    if (c == '"') out += "\\x22";
    else out += c;
  }
  return out + (cut ? "...\"" : "\"");
}

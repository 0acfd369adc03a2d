// The simulator's WS-Discovery and device service texts.
#include "onvif_messages.h"

#include <cstdio>
#include <random>

namespace {

constexpr char kSoap[] = "http://www.w3.org/2003/05/soap-envelope";
constexpr char kWsa[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr char kWsd[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery";

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& i : items) out += (out.empty() ? "" : " ") + i;
  return out;
}

// The text between the '>' after the first "<...name" and the next '<'.
std::string ElementText(std::string_view text, std::string_view name) {
  std::size_t at = 0;
  while ((at = text.find(name, at)) != std::string_view::npos) {
    const bool tag = at > 0 && (text[at - 1] == '<' || text[at - 1] == ':');
    const std::size_t after = at + name.size();
    if (tag && after < text.size() && (text[after] == '>' || text[after] == ' ')) {
      const std::size_t open = text.find('>', after);
      const std::size_t close = open == std::string_view::npos ? open : text.find('<', open);
      if (close == std::string_view::npos) return "";
      return std::string(text.substr(open + 1, close - open - 1));
    }
    at = after;
  }
  return "";
}

bool HasElement(std::string_view text, std::string_view name) {
  for (const char* lead : {"<", ":"}) {
    for (const char* trail : {">", " ", "/"}) {
      if (text.find(std::string(lead) + std::string(name) + trail) != std::string_view::npos) return true;
    }
  }
  return false;
}

std::string Envelope(const OnvifSimCamera& c, const std::string& header, const std::string& body) {
  const std::string& s = c.soap_prefix;
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + s + ":Envelope xmlns:" + s + "=\"" + kSoap + "\" xmlns:" +
         c.wsa_prefix + "=\"" + kWsa + "\" xmlns:" + c.wsd_prefix + "=\"" + kWsd +
         "\" xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\" "
         "xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" "
         "xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/devprof\" "
         "xmlns:pub=\"http://schemas.microsoft.com/windows/pub/2005/07\"><" + s + ":Header>" + header + "</" + s +
         ":Header><" + s + ":Body>" + body + "</" + s + ":Body></" + s + ":Envelope>\n";
}

std::string Header(const OnvifSimCamera& c, const std::string& action, const std::string& relates_to,
                   const std::string& to, int message_number) {
  const std::string& a = c.wsa_prefix;
  std::string h = "<" + a + ":MessageID>" + SimMessageId() + "</" + a + ":MessageID>";
  if (!relates_to.empty()) h += "<" + a + ":RelatesTo>" + relates_to + "</" + a + ":RelatesTo>";
  h += "<" + a + ":To>" + to + "</" + a + ":To><" + a + ":Action>" + std::string(kWsd) + "/" + action + "</" + a +
       ":Action>";
  h += "<" + c.wsd_prefix + ":AppSequence InstanceId=\"1\" MessageNumber=\"" + std::to_string(message_number) +
       "\"/>";
  return h;
}

std::string EndpointFields(const OnvifSimCamera& c, bool all) {
  const std::string& a = c.wsa_prefix;
  const std::string& d = c.wsd_prefix;
  std::string f = "<" + a + ":EndpointReference><" + a + ":Address>" + c.endpoint + "</" + a + ":Address></" + a +
                  ":EndpointReference>";
  if (!all) return f;
  f += "<" + d + ":Types>" + c.types + "</" + d + ":Types>";
  if (!c.scopes.empty()) f += "<" + d + ":Scopes>" + Join(c.scopes) + "</" + d + ":Scopes>";
  if (!c.xaddrs.empty()) f += "<" + d + ":XAddrs>" + Join(c.xaddrs) + "</" + d + ":XAddrs>";
  return f + "<" + d + ":MetadataVersion>" + std::to_string(c.metadata_version) + "</" + d + ":MetadataVersion>";
}

}  // namespace

std::optional<SimProbe> ReadSimProbe(std::string_view datagram) {
  if (!HasElement(datagram, "Probe") || HasElement(datagram, "ProbeMatches") || HasElement(datagram, "Hello") ||
      HasElement(datagram, "Bye"))
    return std::nullopt;
  SimProbe probe;
  probe.message_id = ElementText(datagram, "MessageID");
  const std::string types = ElementText(datagram, "Types");
  std::size_t i = 0;
  while (i < types.size()) {
    while (i < types.size() && (types[i] == ' ' || types[i] == '\t' || types[i] == '\n' || types[i] == '\r')) ++i;
    std::size_t end = i;
    while (end < types.size() && types[end] != ' ' && types[end] != '\t' && types[end] != '\n' && types[end] != '\r')
      ++end;
    if (end > i) {
      const std::string qname = types.substr(i, end - i);
      probe.types.push_back(qname.substr(qname.find(':') == std::string::npos ? 0 : qname.find(':') + 1));
    }
    i = end;
  }
  return probe;
}

std::string SimProbeMatches(const OnvifSimCamera& c, const std::string& relates_to, int message_number) {
  const std::string& d = c.wsd_prefix;
  return Envelope(c,
                  Header(c, "ProbeMatches", relates_to,
                         "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous", message_number),
                  "<" + d + ":ProbeMatches><" + d + ":ProbeMatch>" + EndpointFields(c, true) + "</" + d +
                      ":ProbeMatch></" + d + ":ProbeMatches>");
}

std::string SimHello(const OnvifSimCamera& c, int message_number) {
  const std::string& d = c.wsd_prefix;
  return Envelope(c, Header(c, "Hello", "", "urn:schemas-xmlsoap-org:ws:2005:04:discovery", message_number),
                  "<" + d + ":Hello>" + EndpointFields(c, true) + "</" + d + ":Hello>");
}

std::string SimBye(const OnvifSimCamera& c, int message_number) {
  const std::string& d = c.wsd_prefix;
  return Envelope(c, Header(c, "Bye", "", "urn:schemas-xmlsoap-org:ws:2005:04:discovery", message_number),
                  "<" + d + ":Bye>" + EndpointFields(c, false) + "</" + d + ":Bye>");
}

std::string SimDeviceInformation(const OnvifSimCamera& c) {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<env:Envelope xmlns:env=\"") + kSoap +
         "\" xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\"><env:Body><tds:GetDeviceInformationResponse>"
         "<tds:Manufacturer>" + c.manufacturer + "</tds:Manufacturer><tds:Model>" + c.model +
         "</tds:Model><tds:FirmwareVersion>" + c.firmware + "</tds:FirmwareVersion><tds:SerialNumber>" + c.serial +
         "</tds:SerialNumber><tds:HardwareId>" + c.hardware_id +
         "</tds:HardwareId></tds:GetDeviceInformationResponse></env:Body></env:Envelope>\n";
}

std::string SimSoapFault() {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<env:Envelope xmlns:env=\"") + kSoap +
         "\" xmlns:ter=\"http://www.onvif.org/ver10/error\"><env:Body><env:Fault><env:Code><env:Value>env:Sender"
         "</env:Value><env:Subcode><env:Value>ter:NotAuthorized</env:Value></env:Subcode></env:Code><env:Reason>"
         "<env:Text xml:lang=\"en\">Sender not Authorized</env:Text></env:Reason></env:Fault></env:Body>"
         "</env:Envelope>\n";
}

std::string SimMessageId() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const unsigned long long a = random(), b = random();
  char text[64];
  std::snprintf(text, sizeof(text), "urn:uuid:%08llx-%04llx-4%03llx-8%03llx-%012llx", a >> 32, (a >> 16) & 0xFFFF,
                a & 0xFFF, (b >> 48) & 0xFFF, b & 0xFFFFFFFFFFFFULL);
  return text;
}

std::string PercentEncoded(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof(hex), "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

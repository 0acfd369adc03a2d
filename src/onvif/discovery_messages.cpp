// The WS-Discovery Probe, and the namespace-aware reader of ProbeMatches,
// Hello and Bye over QXmlStreamReader.
#include "onvif/discovery_messages.h"

#include <sys/random.h>

#include <QByteArray>
#include <QXmlStreamReader>
#include <cstdio>
#include <random>
#include <utility>

#include "onvif/onvif_device.h"

namespace {

constexpr char kSoap11Envelope[] = "http://schemas.xmlsoap.org/soap/envelope/";
// Deeper documents are refused: a SOAP message is a few levels deep.
constexpr int kDepthLimit = 64;

bool IsXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsXmlBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsXmlBlank(text.back())) text.remove_suffix(1);
  return text;
}

// `text` (UTF-8) within kOnvifTextLimit bytes, cut at a character's start;
// counts a cut.
std::string Bounded(std::string_view text, int* cut) {
  if (text.size() <= kOnvifTextLimit) return std::string(text);
  std::size_t end = kOnvifTextLimit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  ++*cut;
  return std::string(text.substr(0, end));
}

// The blank-separated items of `text`, at most `limit`, each Bounded.
std::vector<std::string> Items(std::string_view text, std::size_t limit, int* cut) {
  std::vector<std::string> items;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsXmlBlank(text[i])) ++i;
    std::size_t end = i;
    while (end < text.size() && !IsXmlBlank(text[end])) ++end;
    if (end > i) {
      if (items.size() < limit) items.push_back(Bounded(text.substr(i, end - i), cut));
      else ++*cut;
    }
    i = end;
  }
  return items;
}

std::string Utf8(QStringView text) { return text.toString().toStdString(); }

using Declarations = std::vector<std::pair<std::string, std::string>>;  // prefix, namespace

// One open element: its namespace and local name, and what it declares.
struct Open {
  std::string ns;
  std::string local;
  Declarations declared;
};

// The namespace `prefix` stands for where the innermost of `open` stands
// ("" for the default namespace when the prefix is empty); nullptr when it
// is not declared.
const std::string* Resolve(const std::vector<Open>& open, const std::string& prefix) {
  for (auto e = open.rbegin(); e != open.rend(); ++e)
    for (const auto& [p, uri] : e->declared)
      if (p == prefix) return &uri;
  return nullptr;
}

std::vector<ResolvedType> ResolveTypes(std::string_view text, const std::vector<Open>& open, int* cut) {
  std::vector<ResolvedType> types;
  for (std::string& written : Items(text, kOnvifTypeLimit, cut)) {
    ResolvedType type;
    const std::size_t colon = written.find(':');
    const std::string prefix = colon == std::string::npos ? "" : written.substr(0, colon);
    type.local = colon == std::string::npos ? written : written.substr(colon + 1);
    if (const std::string* ns = Resolve(open, prefix)) type.ns = *ns;
    type.written = std::move(written);
    types.push_back(std::move(type));
  }
  return types;
}

bool Is(const Open& e, const char* ns, const char* local) { return e.ns == ns && e.local == local; }

}  // namespace

std::string NewMessageId() {
  unsigned char b[16];
  if (getrandom(b, sizeof(b), 0) != static_cast<ssize_t>(sizeof(b))) {
    std::random_device device;
    for (unsigned char& c : b) c = static_cast<unsigned char>(device());
  }
  b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);  // version 4
  b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);  // the RFC 4122 variant
  char text[64];
  std::snprintf(text, sizeof(text),
                "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1], b[2],
                b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

std::string ProbeText(ProbeType type, const std::string& message_id) {
  const bool transmitter = type == ProbeType::kNetworkVideoTransmitter;
  const std::string types_ns = transmitter ? std::string(" xmlns:dn=\"") + onvif_ns::kNetworkWsdl + "\""
                                           : std::string(" xmlns:tds=\"") + onvif_ns::kDeviceWsdl + "\"";
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") +
         "<s:Envelope xmlns:s=\"" + onvif_ns::kSoapEnvelope + "\" xmlns:a=\"" + onvif_ns::kAddressing +
         "\" xmlns:d=\"" + onvif_ns::kDiscovery + "\"" + types_ns + ">" +
         "<s:Header>"
         "<a:Action s:mustUnderstand=\"1\">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>"
         "<a:MessageID>" + message_id + "</a:MessageID>"
         "<a:ReplyTo><a:Address>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</a:Address>"
         "</a:ReplyTo>"
         "<a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>"
         "</s:Header>"
         "<s:Body><d:Probe><d:Types>" + (transmitter ? "dn:NetworkVideoTransmitter" : "tds:Device") +
         "</d:Types></d:Probe></s:Body></s:Envelope>";
}

bool DiscoveredEndpoint::IsOnvifDevice() const {
  for (const ResolvedType& t : types) {
    if (t.ns == onvif_ns::kNetworkWsdl && t.local == "NetworkVideoTransmitter") return true;
    if (t.ns == onvif_ns::kDeviceWsdl && t.local == "Device") return true;
  }
  return false;
}

std::string DiscoveredEndpoint::TypesText() const {
  std::string text;
  for (const ResolvedType& t : types) text += (text.empty() ? "" : " ") + t.written;
  return text;
}

bool ReadDiscoveryMessage(std::string_view datagram, DiscoveryMessage* message, std::string* why) {
  *message = DiscoveryMessage{};
  if (datagram.size() > kOnvifDatagramLimit) {
    *why = "longer than " + std::to_string(kOnvifDatagramLimit) + " bytes";
    return false;
  }
  QXmlStreamReader xml(QByteArray(datagram.data(), static_cast<qsizetype>(datagram.size())));
  std::vector<Open> open;
  DiscoveryMessage m;
  bool envelope = false;
  bool in_kind = false;  // inside the body's first ProbeMatches, Hello or Bye
  // The text of the element being collected, and where it goes.
  std::string text;
  DiscoveredEndpoint* endpoint = nullptr;  // the ProbeMatch, Hello or Bye being read
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::DTD) {
      *why = "a DTD";
      return false;
    }
    if (token == QXmlStreamReader::EntityReference) {
      *why = "an entity reference";
      return false;
    }
    if (token == QXmlStreamReader::StartElement) {
      Open e{Utf8(xml.namespaceUri()), Utf8(xml.name()), {}};
      for (const QXmlStreamNamespaceDeclaration& d : xml.namespaceDeclarations())
        e.declared.emplace_back(Utf8(d.prefix()), Utf8(d.namespaceUri()));
      open.push_back(std::move(e));
      const std::size_t depth = open.size();
      if (depth > static_cast<std::size_t>(kDepthLimit)) {
        *why = "nested deeper than " + std::to_string(kDepthLimit) + " elements";
        return false;
      }
      const Open& here = open.back();
      text.clear();
      if (depth == 1) {
        envelope = Is(here, onvif_ns::kSoapEnvelope, "Envelope") || Is(here, kSoap11Envelope, "Envelope");
        if (!envelope) {
          *why = "no SOAP envelope";
          return false;
        }
      } else if (depth == 3 && m.kind == DiscoveryKind::kOther && Is(open[1], open[0].ns.c_str(), "Body")) {
        if (Is(here, onvif_ns::kDiscovery, "ProbeMatches")) m.kind = DiscoveryKind::kProbeMatches;
        else if (Is(here, onvif_ns::kDiscovery, "Hello")) m.kind = DiscoveryKind::kHello;
        else if (Is(here, onvif_ns::kDiscovery, "Bye")) m.kind = DiscoveryKind::kBye;
        in_kind = m.kind != DiscoveryKind::kOther;
        if (m.kind == DiscoveryKind::kHello || m.kind == DiscoveryKind::kBye) {
          m.endpoints.emplace_back();
          endpoint = &m.endpoints.back();
        }
      } else if (depth == 4 && in_kind && m.kind == DiscoveryKind::kProbeMatches &&
                 Is(here, onvif_ns::kDiscovery, "ProbeMatch")) {
        if (m.endpoints.size() < kOnvifMatchLimit) {
          m.endpoints.emplace_back();
          endpoint = &m.endpoints.back();
        } else {
          ++m.cut;
          endpoint = nullptr;
        }
      }
      continue;
    }
    if (token == QXmlStreamReader::Characters) {
      // Only leaf texts are kept; the datagram's bound bounds them.
      text += Utf8(xml.text());
      continue;
    }
    if (token != QXmlStreamReader::EndElement) continue;
    const std::size_t depth = open.size();
    const Open& here = open.back();
    const std::string_view value = Trimmed(text);
    if (depth == 3 && Is(open[1], open[0].ns.c_str(), "Header")) {
      if (Is(here, onvif_ns::kAddressing, "MessageID")) m.message_id = Bounded(value, &m.cut);
      if (Is(here, onvif_ns::kAddressing, "RelatesTo")) m.relates_to = Bounded(value, &m.cut);
    }
    // The fields of an endpoint: children of ProbeMatch (depth 5) or of
    // Hello and Bye (depth 4), and the Address in EndpointReference.
    const std::size_t fields = m.kind == DiscoveryKind::kProbeMatches ? 5 : 4;
    const bool in_endpoint = in_kind && endpoint != nullptr && depth >= fields;
    if (in_endpoint && depth == fields + 1 && Is(open[fields - 1], onvif_ns::kAddressing, "EndpointReference") &&
        Is(here, onvif_ns::kAddressing, "Address")) {
      endpoint->endpoint = Bounded(value, &m.cut);
    } else if (in_endpoint && depth == fields && here.ns == onvif_ns::kDiscovery) {
      if (here.local == "Types") {
        std::vector<ResolvedType> types = ResolveTypes(value, open, &m.cut);
        for (ResolvedType& t : types) {
          if (endpoint->types.size() < kOnvifTypeLimit) endpoint->types.push_back(std::move(t));
          else ++m.cut;
        }
      } else if (here.local == "Scopes") {
        for (std::string& s : Items(value, kOnvifScopeLimit, &m.cut)) {
          if (endpoint->scopes.size() < kOnvifScopeLimit) endpoint->scopes.push_back(std::move(s));
          else ++m.cut;
        }
      } else if (here.local == "XAddrs") {
        for (std::string& x : Items(value, kOnvifXaddrLimit, &m.cut)) {
          if (endpoint->xaddrs.size() < kOnvifXaddrLimit) endpoint->xaddrs.push_back(std::move(x));
          else ++m.cut;
        }
      } else if (here.local == "MetadataVersion") {
        endpoint->metadata_version = Bounded(value, &m.cut);
      }
    }
    if (depth == 4 && m.kind == DiscoveryKind::kProbeMatches) endpoint = nullptr;
    if (depth == 3 && in_kind) {
      in_kind = false;
      endpoint = nullptr;
    }
    text.clear();
    open.pop_back();
  }
  if (xml.hasError()) {
    *why = "not well-formed XML: " + xml.errorString().toStdString();
    return false;
  }
  if (!envelope) {
    *why = "no SOAP envelope";
    return false;
  }
  if (m.kind == DiscoveryKind::kBye) {
    // A Bye says which endpoint leaves, nothing more.
    DiscoveredEndpoint& bye = m.endpoints.front();
    bye = DiscoveredEndpoint{std::move(bye.endpoint), {}, {}, {}, {}};
  }
  *message = std::move(m);
  return true;
}

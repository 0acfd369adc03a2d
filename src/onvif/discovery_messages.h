// The WS-Discovery messages of an ONVIF search (WS-Discovery 2005/04 over
// SOAP 1.2 and UDP, WS-Addressing 2004/08): the Probe it sends, and the
// reader of what devices send: ProbeMatches (answers to a Probe), Hello and
// Bye (announcements).
//
// The reader is namespace-aware: elements are known by namespace and local
// name whatever their prefixes ("d:", "wsd:", "s:", "SOAP-ENV:", none), and
// the QNames in Types are resolved against the namespace declarations in
// scope where they stand. It refuses a document that declares a DTD or uses
// an entity other than the five XML ones, that is not well-formed or not
// whole, or that is longer than kOnvifDatagramLimit. Every text it keeps is
// UTF-8, trimmed of white space, at most kOnvifTextLimit bytes (cut at a
// character's boundary), and lists keep their bounds (onvif_device.h); what
// is cut is counted in the message.
//
// Plain functions of their arguments, safe on any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace onvif_ns {
constexpr char kSoapEnvelope[] = "http://www.w3.org/2003/05/soap-envelope";
constexpr char kAddressing[] = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
constexpr char kDiscovery[] = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
constexpr char kNetworkWsdl[] = "http://www.onvif.org/ver10/network/wsdl";
constexpr char kDeviceWsdl[] = "http://www.onvif.org/ver10/device/wsdl";
}  // namespace onvif_ns

// What a Probe asks for.
enum class ProbeType {
  kNetworkVideoTransmitter,  // dn:NetworkVideoTransmitter (cameras, video servers)
  kDevice,                   // tds:Device (what recorders announce)
};

// A fresh MessageID: "urn:uuid:" and a random (version 4) UUID.
std::string NewMessageId();

// The Probe for `type` with `message_id`, a whole SOAP 1.2 envelope in UTF-8.
std::string ProbeText(ProbeType type, const std::string& message_id);

// A QName of Types resolved: its namespace ("" when its prefix is not
// declared) and local name, and the text as written.
struct ResolvedType {
  std::string ns;
  std::string local;
  std::string written;
};

// One ProbeMatch, Hello or Bye: what it says of one endpoint.
struct DiscoveredEndpoint {
  std::string endpoint;  // EndpointReference/Address
  std::vector<ResolvedType> types;
  std::vector<std::string> scopes;
  std::vector<std::string> xaddrs;
  std::string metadata_version;
  // Types names NetworkVideoTransmitter (network wsdl) or Device (device
  // wsdl): an ONVIF device, which a search lists.
  bool IsOnvifDevice() const;
  // The types as written, joined by blanks.
  std::string TypesText() const;
};

enum class DiscoveryKind { kProbeMatches, kHello, kBye, kOther };

struct DiscoveryMessage {
  DiscoveryKind kind = DiscoveryKind::kOther;
  std::string message_id;  // Header/MessageID
  std::string relates_to;  // Header/RelatesTo (answers only)
  // The ProbeMatch elements (at most kOnvifMatchLimit) in order; one for a
  // Hello or a Bye (a Bye says only its endpoint); none for kOther.
  std::vector<DiscoveredEndpoint> endpoints;
  // Texts cut to kOnvifTextLimit, and list items (scopes, XAddrs, types,
  // ProbeMatch elements) left out beyond their bounds.
  int cut = 0;
};

// Reads one datagram. False, with the reason in *why ("not well-formed XML:
// ...", "a DTD", "longer than 65536 bytes", "no SOAP envelope"), when it
// refuses it; a well-formed envelope whose body is none of the three reads as
// kOther.
bool ReadDiscoveryMessage(std::string_view datagram, DiscoveryMessage* message, std::string* why);

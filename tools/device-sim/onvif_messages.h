// The simulator's ONVIF cameras as WS-Discovery and the device service see
// them: the texts they send (ProbeMatches, Hello, Bye, the answers to
// GetDeviceInformation) and the plain reading of a Probe that cameras in the
// field do: a search for the MessageID and the Types' local names in the
// text, no XML reader. The program's own reader (src/onvif) is not used, so
// that what the simulator sends is checked by that reader rather than shaped
// by it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One simulated responder as WS-Discovery announces it.
struct OnvifSimCamera {
  std::string endpoint;        // "urn:uuid:..."
  std::string types;           // "dn:NetworkVideoTransmitter tds:Device"
  std::vector<std::string> scopes;
  std::vector<std::string> xaddrs;
  int metadata_version = 1;
  // Prefixes: "SOAP-ENV", "wsa", "d" (the usual ones) or others.
  std::string soap_prefix = "SOAP-ENV", wsa_prefix = "wsa", wsd_prefix = "d";
  // GetDeviceInformation's answers.
  std::string manufacturer = "Kestra", model = "KC-100", firmware = "1.0", serial, hardware_id = "KC100-HW";
};

// What a Probe asks, read as many cameras read it.
struct SimProbe {
  std::string message_id;            // "" when none was found
  std::vector<std::string> types;    // local names: "NetworkVideoTransmitter", "Device"
};

// nullopt for a datagram that does not look like a Probe (no "Probe"
// element, or one of ProbeMatches, Hello, Bye).
std::optional<SimProbe> ReadSimProbe(std::string_view datagram);

// The answer to a Probe with `relates_to`, from `camera`.
std::string SimProbeMatches(const OnvifSimCamera& camera, const std::string& relates_to, int message_number);
// The announcements.
std::string SimHello(const OnvifSimCamera& camera, int message_number);
std::string SimBye(const OnvifSimCamera& camera, int message_number);
// The SOAP answer to GetDeviceInformation, and a SOAP fault.
std::string SimDeviceInformation(const OnvifSimCamera& camera);
std::string SimSoapFault();

// A fresh random MessageID ("urn:uuid:...").
std::string SimMessageId();
// `text` percent-encoded as a scope's segment (unreserved characters kept).
std::string PercentEncoded(std::string_view text);

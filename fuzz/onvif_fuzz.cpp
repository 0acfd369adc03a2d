// Fuzz target: the intake of WS-Discovery answers (ProbeIntake over the
// namespace-aware reader), as the ONVIF search takes a datagram that came
// back to one of its sockets.
//
// Input: one datagram, taken on socket 0 (whose Probes were urn:uuid:sent-1
// and urn:uuid:sent-2) and again on socket 1 (urn:uuid:sent-3), from
// 10.99.0.2:3702, on an interface 10.99.0.1/24, with a bound of 3 devices.
//
// Checks: a device comes only from a datagram that reads as ProbeMatches
// whose RelatesTo was sent from the socket it came to; its endpoint is not
// empty and never taken twice; its types name an ONVIF device; it has at
// least one XAddr; every list and text keeps its bound and is UTF-8; its
// web page is http://IP:PORT/ of its address; details are asked only of the
// sender; at most 3 devices in all. A Bye carries nothing but its endpoint.
#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "fuzz_check.h"
#include "onvif/discovery_messages.h"
#include "onvif/onvif_device.h"
#include "onvif/probe_intake.h"
#include "protocol/record_text.h"

namespace {

bool Bounded(const std::string& text) { return text.size() <= kOnvifTextLimit && IsValidUtf8(text); }

void CheckDevice(const TakenDevice& t, std::uint32_t from) {
  const OnvifDevice& d = t.device;
  FUZZ_CHECK(!d.endpoint.empty(), "a device without an endpoint");
  FUZZ_CHECK(Bounded(d.endpoint), "endpoint out of bounds");
  FUZZ_CHECK(!d.xaddrs.empty(), "a device without XAddrs");
  FUZZ_CHECK(d.xaddrs.size() <= kOnvifXaddrLimit, "too many XAddrs");
  FUZZ_CHECK(d.scopes.size() <= kOnvifScopeLimit, "too many scopes");
  FUZZ_CHECK(d.types.size() <= kOnvifTypeLimit, "too many types");
  for (const auto* list : {&d.xaddrs, &d.scopes, &d.types})
    for (const std::string& item : *list) FUZZ_CHECK(Bounded(item) && !item.empty(), "a list item out of bounds");
  for (const std::string* text : {&d.metadata_version, &d.name, &d.hardware, &d.mac, &d.location})
    FUZZ_CHECK(Bounded(*text), "a text out of bounds or not UTF-8");
  FUZZ_CHECK(!d.ip.empty() && d.port >= 1 && d.port <= 65535, "no address");
  FUZZ_CHECK(d.web_page == "http://" + d.ip + ":" + std::to_string(d.port) + "/", "web page not of the address");
  in_addr ip{};
  FUZZ_CHECK(inet_pton(AF_INET, d.ip.c_str(), &ip) == 1, "the address is not a dotted quad");
  if (t.details) FUZZ_CHECK(t.details->ipv4 && t.details->address == from, "details asked of another host");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string datagram(reinterpret_cast<const char*>(data), size);
  in_addr from{};
  inet_pton(AF_INET, "10.99.0.2", &from);
  NetInterface on;
  on.name = "eth0";
  inet_pton(AF_INET, "10.99.0.1", &on.address);
  inet_pton(AF_INET, "255.255.255.0", &on.netmask);

  DiscoveryMessage m;
  std::string why;
  const bool read = ReadDiscoveryMessage(datagram, &m, &why);
  FUZZ_CHECK(read || !why.empty(), "refused without a reason");
  if (read) {
    FUZZ_CHECK(m.endpoints.size() <= kOnvifMatchLimit, "too many ProbeMatch elements");
    FUZZ_CHECK(Bounded(m.message_id) && Bounded(m.relates_to), "header text out of bounds");
    if (m.kind == DiscoveryKind::kBye) {
      FUZZ_CHECK(m.endpoints.size() == 1, "a Bye of other than one endpoint");
      const DiscoveredEndpoint& e = m.endpoints[0];
      FUZZ_CHECK(e.types.empty() && e.scopes.empty() && e.xaddrs.empty() && e.metadata_version.empty(),
                 "a Bye that says more than its endpoint");
    }
    if (m.kind == DiscoveryKind::kOther) FUZZ_CHECK(m.endpoints.empty(), "endpoints in no message");
  }

  OnvifSearchAccount account;
  ProbeIntake intake(&account, 3);
  intake.NoteSent(0, "urn:uuid:sent-1");
  intake.NoteSent(0, "urn:uuid:sent-2");
  intake.NoteSent(1, "urn:uuid:sent-3");
  std::set<std::string> endpoints;
  for (std::size_t socket : {0u, 1u}) {
    // What does not read brings nothing on any socket (the intake reads it
    // as above); socket 1 is tried for its own MessageID, and for the
    // others' (which it must refuse) when socket 0 took them.
    if (socket == 1 && !(read && (m.relates_to == "urn:uuid:sent-3" || !endpoints.empty()))) continue;
    const std::vector<TakenDevice> taken = intake.Take(socket, datagram, from.s_addr, 3702, on);
    if (taken.empty()) continue;
    FUZZ_CHECK(read && m.kind == DiscoveryKind::kProbeMatches, "a device from no ProbeMatches");
    const bool ours = socket == 0 ? (m.relates_to == "urn:uuid:sent-1" || m.relates_to == "urn:uuid:sent-2")
                                  : m.relates_to == "urn:uuid:sent-3";
    FUZZ_CHECK(ours, "a device for a MessageID not sent from that socket");
    for (const TakenDevice& t : taken) {
      CheckDevice(t, from.s_addr);
      FUZZ_CHECK(endpoints.insert(t.device.endpoint).second, "a device taken twice");
      bool onvif = false;
      for (const DiscoveredEndpoint& e : m.endpoints)
        if (e.endpoint == t.device.endpoint && e.IsOnvifDevice()) onvif = true;
      FUZZ_CHECK(onvif, "a device whose types name no ONVIF device");
    }
  }
  FUZZ_CHECK(endpoints.size() <= 3 && intake.DeviceCount() == endpoints.size(), "beyond the device bound");
  FUZZ_CHECK(account.dropped.size() <= kOnvifAccountListLimit, "dropped list beyond its bound");
  return 0;
}

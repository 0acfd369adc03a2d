// The intake of WS-Discovery answers.
#include "onvif/probe_intake.h"

#include "onvif/discovery_messages.h"
#include "onvif/onvif_scopes.h"
#include "protocol/string_printf.h"

ProbeIntake::ProbeIntake(OnvifSearchAccount* account, std::size_t device_limit)
    : account_(account), device_limit_(device_limit) {}

void ProbeIntake::NoteSent(std::size_t socket, const std::string& message_id) { sent_[socket].insert(message_id); }

std::vector<TakenDevice> ProbeIntake::Take(std::size_t socket, std::string_view datagram, std::uint32_t from_address,
                                           int from_port, const NetInterface& on) {
  std::vector<TakenDevice> taken;
  const std::string from = StringPrintf("%s:%d", DottedAddress(from_address).c_str(), from_port);
  DiscoveryMessage m;
  std::string why;
  if (!ReadDiscoveryMessage(datagram, &m, &why)) {
    ++account_->malformed;
    account_->NoteDropped(from + ": " + why);
    return taken;
  }
  if (m.kind != DiscoveryKind::kProbeMatches) {
    ++account_->not_answers;
    return taken;
  }
  const auto sent = sent_.find(socket);
  if (m.relates_to.empty() || sent == sent_.end() || sent->second.count(m.relates_to) == 0) {
    ++account_->foreign;
    account_->NoteDropped(from + ": RelatesTo " + QuotedOnvifText(m.relates_to) +
                          " is no MessageID this search sent from that port");
    return taken;
  }
  account_->cut += m.cut;
  const std::vector<InterfaceAddress> subnets = AddressesOf(on);
  for (DiscoveredEndpoint& e : m.endpoints) {
    if (e.endpoint.empty()) {
      ++account_->no_endpoint;
      account_->NoteDropped(from + ": a ProbeMatch without an endpoint address");
      continue;
    }
    if (endpoints_.count(e.endpoint)) {
      ++account_->repeated;
      continue;
    }
    if (!e.IsOnvifDevice()) {
      ++account_->not_onvif;
      if (not_onvif_.size() < kOnvifAccountListLimit * 2 && not_onvif_.insert(e.endpoint).second)
        account_->NoteNotOnvif(QuotedOnvifText(e.endpoint) + " from " + from + ", types " +
                               QuotedOnvifText(e.TypesText()));
      continue;
    }
    if (e.xaddrs.empty()) {
      ++account_->no_xaddrs;
      account_->NoteDropped(from + ": " + QuotedOnvifText(e.endpoint) + " has no XAddrs");
      continue;
    }
    if (endpoints_.size() >= device_limit_) {
      ++account_->over_limit;
      continue;
    }
    endpoints_.insert(e.endpoint);
    TakenDevice t;
    OnvifDevice& d = t.device;
    d.endpoint = std::move(e.endpoint);
    for (const ResolvedType& type : e.types) d.types.push_back(type.written);
    d.scopes = std::move(e.scopes);
    d.xaddrs = std::move(e.xaddrs);
    d.metadata_version = std::move(e.metadata_version);
    const ScopeFacts facts = ReadScopeFacts(d.scopes);
    d.name = facts.name;
    d.hardware = facts.hardware;
    d.mac = facts.mac;
    d.location = facts.location;
    const OnvifAddress address = OnvifAddressOf(d.xaddrs, subnets, from_address);
    d.ip = address.ip;
    d.port = address.port;
    d.web_page = address.web_page;
    d.interface = on.name;
    d.from_address = from;
    t.details = DetailsXaddr(d.xaddrs, from_address);
    taken.push_back(std::move(t));
  }
  return taken;
}

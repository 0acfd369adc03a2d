// The intake of a search's answers: which datagrams that came back to the
// search's sockets bring devices, each device once per search.
//
// A datagram counts only when it reads as ProbeMatches (discovery_messages.h)
// whose RelatesTo is a MessageID that was sent from the very socket it came
// to. In it, each ProbeMatch is a device when its Types name an ONVIF device
// (NetworkVideoTransmitter of the network wsdl or Device of the device wsdl)
// and it has at least one XAddr; devices are told apart by their endpoint
// address, so a device that answers twice, from another port or to both
// Probes is one device. At most kOnvifDeviceLimit devices are taken. Every
// datagram and answer that is not taken is counted in the account, with the
// reason (the first ones also named).
//
// Plain class, no thread of its own: one search's thread uses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "onvif/onvif_account.h"
#include "onvif/onvif_address.h"
#include "onvif/onvif_device.h"
#include "protocol/interfaces.h"

// A device taken, with the XAddr to ask for its details (DetailsXaddr); none
// when no XAddr is on the host that answered.
struct TakenDevice {
  OnvifDevice device;
  std::optional<XaddrUrl> details;
};

class ProbeIntake {
 public:
  // Counts into `account`, which must outlive the intake.
  explicit ProbeIntake(OnvifSearchAccount* account, std::size_t device_limit = kOnvifDeviceLimit);

  // A Probe with `message_id` went out of socket `socket`.
  void NoteSent(std::size_t socket, const std::string& message_id);

  // One datagram that came to socket `socket` from `from_address`
  // (network byte order) and `from_port`, on `on` (whose name and subnets the
  // devices get). The devices it brings that were not taken before, in the
  // order it names them.
  std::vector<TakenDevice> Take(std::size_t socket, std::string_view datagram, std::uint32_t from_address,
                                int from_port, const NetInterface& on);

  std::size_t DeviceCount() const { return endpoints_.size(); }

 private:
  OnvifSearchAccount* account_;
  std::size_t device_limit_;
  std::map<std::size_t, std::set<std::string>> sent_;  // by socket
  std::set<std::string> endpoints_;                    // devices taken
  std::set<std::string> not_onvif_;                    // responders named as not ONVIF
};

// Which addresses a control package never hands out as a device's static
// address, and why: the one check behind the Network Setup dialog's
// "Apply", `setup --static`, `setup --plan` and the selection's plans. A
// DHCP package hands out nothing and is never checked here, so that a
// device left at a bad address can always go back to DHCP. Also which texts
// a person or a file may give as addresses (strict dotted quads,
// protocol/ipv4_text.h), and the warning for a static address outside the
// device's network. Plain functions of their inputs; any thread
// (MachineAddresses reads the machine's interfaces).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "netsetup/plan_device.h"
#include "protocol/device_table.h"
#include "protocol/interfaces.h"

// The value of an address a person or a file gives (an edit of the
// dialog, an argument, a plan's cell), in host byte order: a strict dotted
// quad (StrictAddress), and not 255.255.255.255, which the dialog's
// conversion never took. None for any other text, the empty one included.
std::optional<std::uint32_t> GivenAddress(std::string_view text);

// One IPv4 address of this PC, the interface it is on and its netmask.
struct OwnAddress {
  std::string interface;      // "eth0"
  std::uint32_t address = 0;  // host byte order
  std::uint32_t netmask = 0;  // host byte order; 0 (unknown) puts every address in its subnet
};
// This PC's addresses on `interfaces` (every address of each, AddressesOf),
// each beside its interface's name and with its netmask.
std::vector<OwnAddress> OwnAddressesOf(const std::vector<NetInterface>& interfaces);
// The same for the machine's interfaces as they are now.
std::vector<OwnAddress> MachineAddresses();

// The new static settings of one device. The gateway 0.0.0.0 means none.
struct StaticAddress {
  std::string ip, netmask, gateway;
};

enum class AddressField { kIp, kNetmask, kGateway, kDns };

// Why a static address is not handed out. Its texts are as given: whoever
// shows a refusal shows it by the shown-text rule.
struct AddressRefusal {
  AddressField field = AddressField::kIp;
  std::string text;    // the text refused, as given
  // "127.0.0.1 is a loopback address"; for a text that is no given address
  // NotStrictReason ("" for the empty text)
  std::string reason;
  // The dialog's words: "Invalid IP Address - [127.0.0.1]", "Invalid
  // Netmask - [...]", "Invalid Gateway - [...]" or "Invalid DNS - [...]".
  std::string Invalid() const;
  // Invalid(), then the reason after `separator` when there is one.
  std::string Message(const char* separator) const;
};

// The refusal of a text that is no given address (GivenAddress) in
// `field`; none for one that is.
std::optional<AddressRefusal> CheckGivenAddress(AddressField field, const std::string& text);
// The netmask alone: a given address, not 0.0.0.0, and its ones are
// contiguous ("255.0.255.0" is refused).
std::optional<AddressRefusal> CheckNetmask(const std::string& netmask);
// The address alone: a given address, and none of 0.0.0.0, loopback
// (127/8), multicast (224/4) and class E (240/4).
std::optional<AddressRefusal> CheckAddressKind(const std::string& ip);

// Every rule of one static address that needs no other device, the first
// broken one: the netmask, the address's kind, then the address is neither
// the network nor the broadcast address of its netmask, nor the gateway,
// nor an address of this PC (`own`) on `interface`, the interface the device
// answered on. An empty `interface` (a device reached through a relay, whose
// network is elsewhere) skips the last rule. The gateway text is not checked
// here beyond that (one that is no given address matches nothing).
std::optional<AddressRefusal> CheckStaticAddress(const StaticAddress& address, const std::string& interface,
                                                 const std::vector<OwnAddress>& own);

// Where one device stands when it is given an address on its own (the
// dialog, `setup --static`).
struct AddressNeighbours {
  PlanDevice device;               // as the search found it
  std::vector<OwnAddress> own;     // this PC's addresses
  std::vector<PlanDevice> listed;  // every device the search listed, the device itself included
};
// CheckStaticAddress on the device's interface, then: no other listed
// device keeps the address ("10.0.0.4 is held by <mac>"), where a device
// that reports a text outside the strict rule keeps every address it may be
// at (HeldAddresses). The device's own listing, and so its current address,
// is fine.
std::optional<AddressRefusal> CheckDeviceAddress(const StaticAddress& address, const AddressNeighbours& neighbours);

// The warning for a static address `ip` that lies outside every subnet of
// this PC (`own`) on `interface`, the interface the device answered on:
// "the device will not be reachable from eth0 (10.99.0.1/24)", in the words
// of the rows' "not-reachable" note. "" when it lies inside one, for a
// device reached through a relay (an empty `interface`), where this PC has
// no address on the interface, and for an `ip` that is no given address.
std::string UnreachableWarning(const std::string& ip, const std::string& interface,
                               const std::vector<OwnAddress>& own);

// True for the given address 0.0.0.0: no gateway (or no DNS server).
bool IsNoAddress(const std::string& text);

// The debug log's line when the window's relay address is no strict IPv4
// address for a relay that converts it with InetAddr (any protocol but
// "HttpCmd"): what the conversion makes of it (RelayTextNote); "" otherwise.
std::string RelayAddressNote(const SearchSettings& settings);
// "Relay address [TEXT] is not an IPv4 address such as 192.168.1.20; it is
// read as A\n", A being what InetAddr makes of TEXT (255.255.255.255 when it
// fails); "" for a strict dotted quad. Control packages to a relay are read
// so whatever the relay's protocol.
std::string RelayTextNote(const std::string& text);

// Notes on the listed devices: what a user should know about a row before
// trusting its address. Computed from the whole list and this PC's networks;
// the window marks the rows that have notes, the command line writes them
// beside each row ("notes" in JSON, a last CSV and table column).
// Plain values: no network, no window, any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/interfaces.h"
#include "lists/device_changes.h"

enum class NoteKind {
  kAddressConflict,  // another listed device has the same IP and another MAC
  kThisPc,           // the IP is an address of this PC
  kOwnGateway,       // the gateway is the device's own IP
  kNotReachable,     // the IP lies outside every subnet of the interface it answered on
  kSeenTwice,        // the same MAC is listed at another address too
};

// The fixed word of a kind: "address-conflict", "this-pc", "own-gateway",
// "not-reachable", "seen-twice".
const char* NoteWord(NoteKind kind);

struct RowNote {
  NoteKind kind;
  std::string detail;  // one line for people, naming the other devices or the subnets
};

// One IPv4 network of this PC: an address of an interface and its netmask,
// in network byte order.
struct LocalNetwork {
  std::string interface;
  std::uint32_t address = 0;
  std::uint32_t netmask = 0;
};

// Every address of every interface given, in order.
std::vector<LocalNetwork> LocalNetworksOf(const std::vector<NetInterface>& interfaces);
// This PC's networks now: LocalNetworksOf(BroadcastInterfaces()). Asks the
// system each time.
std::vector<LocalNetwork> ThisPcNetworks();

// A refusal or a note names at most this many other devices, then "and N more".
constexpr std::size_t kNamedOthers = 5;

// The notes of each device of `devices` (same order), in the order of
// NoteKind. Addresses compare as numbers; a device that reports an IP outside
// the strict rule ("10.0.0.011") counts as at every address it may be at
// (HeldAddresses: 10.0.0.11 and 10.0.0.9), and one that reports no address
// at all as at none.
//  - address conflict: the other MACs at the same IP (SameMac decides what is
//    another MAC; a UPnP device, whose MAC reads "NULL", is named as such,
//    and so is one without a MAC),
//    so two UPnP rows of one address never conflict.
//  - this PC: the IP is one of `local`'s addresses.
//  - own gateway: the gateway equals the IP.
//  - not reachable: "not reachable from IFACE (A.B.C.D/N, ...)"
//    (SubnetsText) when the device answered on an interface of `local` and
//    its IP is in none of that interface's subnets; devices of an unknown
//    interface (relays) get none.
//  - seen twice: the other addresses of a six-hex-pair MAC.
// Linear in the list's size: 50,000 devices take a few milliseconds.
std::vector<std::vector<RowNote>> NotesOf(const std::vector<ListedDevice>& devices,
                                          const std::vector<LocalNetwork>& local);

// The kinds of `notes` joined by ";" ("address-conflict;this-pc"), as CSV and
// the table write them.
std::string NoteWords(const std::vector<RowNote>& notes);

// What changed between two lists of devices. One rule says when a row of one
// list is the same device as a row of another (DeviceIdentity); the live
// watch compares each round with what it has seen, and "--compare" and the
// window's "Compare..." compare a search with a saved list, both through
// CompareDevices. Plain values: no network, no window, any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/device_table.h"
#include "protocol/unit_info.h"

struct RecordOrigins;

// Which of a record's eleven fields a list knows, one bit per field in record
// order (bit 0: model ... bit 10: note). A search knows them all; a saved CSV
// list only the grid's seven columns.
using KnownFields = std::uint16_t;
constexpr KnownFields kAllUnitFields = (1u << kUnitFieldCount) - 1;
// model, proj, name, ip, trigger_port, netmask, mac: what a CSV list keeps.
constexpr KnownFields kGridFields = 0x13F;

// A device as a list holds it: its record and what is kept beside it.
struct ListedDevice {
  tComUnitInfo record{};
  std::string interface = {};  // the interface it answered on; "" when unknown (relays, older files)
  bool upnp = false;      // found by the UPnP search (its Mac reads "NULL")
  std::string udn = {};        // a UPnP device's unique device name, where known
  KnownFields known = kAllUnitFields;
  std::string source = {};     // "protocol", "httpcmd" or "upnp"; "" when unknown (a saved CSV list)
};

// The records of `table` in list order (the i-th is record i), with the
// interface each answered on, its source and, for the UPnP merge's records,
// the device's UDN (`origins` tells which records came from where).
std::vector<ListedDevice> ListedDevicesOf(const DeviceTable& table, const RecordOrigins& origins);

// A device's identity: the text two lists' rows share exactly when they are
// the same device.
//  - A UPnP row is its UDN where one is known, else its IP and port.
//  - Any other row is its MAC when the MAC is six hex pairs (case and the
//    "-" or ":" separator do not matter).
//  - A row with neither is its IP, MAC and name, as the intake's duplicate
//    check compares them.
std::string DeviceIdentity(const ListedDevice& device);


// The record fields (indices for UnitFieldName) in which `now` differs from
// `before`, among those both know. The four address fields compare as
// addresses (SameAddressText, protocol/ipv4_text.h: strict dotted quads by
// value, any other text by its bytes), the MAC by SameMac, the others as
// texts: exact bytes, or
// bytes that read as the same text (RecordText: a saved list holds in UTF-8
// what a device sent in Latin-1).
std::vector<int> ChangedFields(const ListedDevice& before, const ListedDevice& now);

// One changed field as people read it: "IP 10.0.0.5 -> 10.0.0.6" for `name`
// "IP", `before` "10.0.0.5", `now` "10.0.0.6" and `arrow` " -> "; the
// window writes " \u2192 ", `watch --format table` " -> ". The texts are
// written as given (the caller shows them by its own rule).
std::string ChangedFieldText(std::string_view name, std::string_view before, std::string_view now,
                             std::string_view arrow);

struct DeviceChange {
  enum Kind { kSame, kNew, kChanged, kMissing };
  static constexpr std::size_t kNone = SIZE_MAX;
  Kind kind = kSame;
  std::size_t before = kNone;  // index into `before`; kNone for kNew
  std::size_t now = kNone;     // index into `now`; kNone for kMissing
  std::vector<int> fields;     // kChanged: ChangedFields, in record order
};

// "same", "new", "changed" or "missing".
const char* ChangeWord(DeviceChange::Kind kind);

// Each device of `now`, in order, paired with the device of `before` that has
// its identity (same, changed, or new when none is left), then each device of
// `before` that nothing paired, in order (missing). Devices sharing one
// identity (one MAC at two addresses) pair one to one: an unchanged pair
// first, then the rest in list order. A UPnP device that knows no UDN (a
// saved CSV list keeps none) pairs with a UPnP device of the same IP and port
// that nothing else paired, with or without a UDN (two UDNs that differ never
// pair); where several share an IP and port, with the one of its name, and
// the one left on each side then pairs as renamed. That pairing does not
// depend on the lists' order. Linear in the lists' sizes but for devices
// sharing an identity.
//
// For a grid: `now[c.now]` is the row of a kSame, kNew or kChanged change;
// `before[c.before]` the row of a kMissing one (and the old values of a
// kChanged one); kMissing changes come last.
std::vector<DeviceChange> CompareDevices(const std::vector<ListedDevice>& before,
                                         const std::vector<ListedDevice>& now);

// The device list: every record of the current search, held by value in the
// order of arrival, with an index on (ip, mac) so that the duplicate test and
// a grid row's lookup of its record do not walk the whole list. Beside each
// record, outside the fixed record itself, it keeps where the record came
// from: the name of the interface whose network the device answered on (""
// when unknown: relays, UPnP), the address of this machine its answer
// reached, and for a record of the UPnP merge, which of the merge's devices
// it was made of. Used on one thread (the window's, or the command line's).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "protocol/unit_info.h"

// Where a record came from: the search's exchange (the maker's protocol, a
// relay or the HTTP command) or the UPnP merge.
enum class RecordSource { kExchange, kUpnp };

class DeviceList {
 public:
  void Clear();
  // A record of the exchange. `local_address` is the address of this machine
  // (network byte order) the device's answer reached; 0 when unknown.
  void Append(const tComUnitInfo& info, std::string_view interface = {}, std::uint32_t local_address = 0);
  // A record the UPnP merge made of the `upnp_device`-th device it merged,
  // whose answer came in on `interface`.
  void AppendUpnp(const tComUnitInfo& info, std::size_t upnp_device, std::string_view interface = {});
  void RemoveLast();
  // Record i becomes `info`, a record of the exchange that answered on
  // `interface` and reached `local_address` (as Append); the index follows.
  void Replace(std::size_t i, const tComUnitInfo& info, std::string_view interface, std::uint32_t local_address = 0);
  // Puts `info` in the place of record i (what is kept beside it stays);
  // the index follows its new ip and mac.
  void Replace(std::size_t i, const tComUnitInfo& info);
  std::size_t Size() const { return records_.size(); }
  bool Empty() const { return records_.empty(); }
  const tComUnitInfo& At(std::size_t i) const { return records_[i]; }
  const std::vector<tComUnitInfo>& Records() const { return records_; }
  // The interface kept beside record i.
  const std::string& InterfaceAt(std::size_t i) const { return places_[i].interface; }
  // The same for a record of this list (one FindFirst or FindAll returned).
  const std::string& InterfaceOf(const tComUnitInfo* record) const { return places_[IndexOf(record)].interface; }
  // The local address kept beside a record of this list (0: unknown).
  std::uint32_t LocalAddressOf(const tComUnitInfo* record) const { return places_[IndexOf(record)].local_address; }
  RecordSource SourceOf(const tComUnitInfo* record) const { return places_[IndexOf(record)].source; }
  // For a record of the UPnP merge, the place of its device among those the
  // merge made records of; nullopt for other records.
  std::optional<std::size_t> UpnpDeviceOf(const tComUnitInfo* record) const;
  // The position of a record of this list.
  std::size_t IndexOf(const tComUnitInfo* record) const {
    return static_cast<std::size_t>(record - records_.data());
  }

  // The first record whose ip and mac equal the texts exactly, or null.
  const tComUnitInfo* FindFirst(std::string_view ip, std::string_view mac) const;
  // Every such record, in list order.
  std::vector<const tComUnitInfo*> FindAll(std::string_view ip, std::string_view mac) const;

 private:
  struct Place {
    std::string interface;
    std::uint32_t local_address = 0;
    RecordSource source = RecordSource::kExchange;
    std::size_t upnp_device = 0;
  };

  static std::string Key(std::string_view ip, std::string_view mac);
  void Add(const tComUnitInfo& info, Place place);

  std::vector<tComUnitInfo> records_;
  std::vector<Place> places_;  // parallel to records_
  // Key -> indices of the records with that key, ascending.
  std::unordered_map<std::string, std::vector<std::size_t>> index_;
};

// The device list: every record of the current search, held by value in the
// order of arrival, with an index on (ip, mac) so that the duplicate test and
// a grid row's lookup of its record do not walk the whole list. Beside each
// record it keeps the name of the interface whose network the device answered
// on ("" when unknown: relays, UPnP), outside the fixed record itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "protocol/unit_info.h"

class DeviceList {
 public:
  void Clear();
  void Append(const tComUnitInfo& info, std::string_view interface = {});
  void RemoveLast();
  // Record i becomes `info`, answered on `interface`; the index follows.
  void Replace(std::size_t i, const tComUnitInfo& info, std::string_view interface);
  std::size_t Size() const { return records_.size(); }
  bool Empty() const { return records_.empty(); }
  const tComUnitInfo& At(std::size_t i) const { return records_[i]; }
  const std::vector<tComUnitInfo>& Records() const { return records_; }
  // The interface kept beside record i.
  const std::string& InterfaceAt(std::size_t i) const { return interfaces_[i]; }
  // The same for a record of this list (one FindFirst or FindAll returned).
  const std::string& InterfaceOf(const tComUnitInfo* record) const { return interfaces_[IndexOf(record)]; }
  // The position of a record of this list.
  std::size_t IndexOf(const tComUnitInfo* record) const {
    return static_cast<std::size_t>(record - records_.data());
  }

  // The first record whose ip and mac equal the texts exactly, or null.
  const tComUnitInfo* FindFirst(std::string_view ip, std::string_view mac) const;
  // Every such record, in list order.
  std::vector<const tComUnitInfo*> FindAll(std::string_view ip, std::string_view mac) const;

 private:
  static std::string Key(std::string_view ip, std::string_view mac);

  std::vector<tComUnitInfo> records_;
  std::vector<std::string> interfaces_;  // parallel to records_
  // Key -> indices of the records with that key, ascending.
  std::unordered_map<std::string, std::vector<std::size_t>> index_;
};

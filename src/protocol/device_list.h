// The device list: every record of the current search, held by value in the
// order of arrival, with an index on (ip, mac) so that the duplicate test and
// a grid row's lookup of its record do not walk the whole list.
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
  void Append(const tComUnitInfo& info);
  void RemoveLast();
  std::size_t Size() const { return records_.size(); }
  bool Empty() const { return records_.empty(); }
  const tComUnitInfo& At(std::size_t i) const { return records_[i]; }
  const std::vector<tComUnitInfo>& Records() const { return records_; }

  // The first record whose ip and mac equal the texts exactly, or null.
  const tComUnitInfo* FindFirst(std::string_view ip, std::string_view mac) const;
  // Every such record, in list order.
  std::vector<const tComUnitInfo*> FindAll(std::string_view ip, std::string_view mac) const;

 private:
  static std::string Key(std::string_view ip, std::string_view mac);

  std::vector<tComUnitInfo> records_;
  // Key -> indices of the records with that key, ascending.
  std::unordered_map<std::string, std::vector<std::size_t>> index_;
};

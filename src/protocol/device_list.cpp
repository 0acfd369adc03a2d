// Device list storage, its (ip, mac) index and what is kept beside the records.
#include "protocol/device_list.h"

#include <algorithm>

void DeviceList::Clear() {
  records_.clear();
  places_.clear();
  index_.clear();
}

void DeviceList::Append(const tComUnitInfo& info, std::string_view interface, std::uint32_t local_address) {
  Add(info, Place{std::string(interface), local_address, RecordSource::kExchange, 0});
}

void DeviceList::AppendUpnp(const tComUnitInfo& info, std::size_t upnp_device, std::string_view interface) {
  Add(info, Place{std::string(interface), 0, RecordSource::kUpnp, upnp_device});
}

void DeviceList::Add(const tComUnitInfo& info, Place place) {
  index_[Key(FieldText(info.ip), FieldText(info.mac))].push_back(records_.size());
  records_.push_back(info);
  places_.push_back(std::move(place));
}

std::optional<std::size_t> DeviceList::UpnpDeviceOf(const tComUnitInfo* record) const {
  const Place& place = places_[IndexOf(record)];
  if (place.source != RecordSource::kUpnp) return std::nullopt;
  return place.upnp_device;
}

void DeviceList::RemoveLast() {
  if (records_.empty()) return;
  const tComUnitInfo& last = records_.back();
  auto it = index_.find(Key(FieldText(last.ip), FieldText(last.mac)));
  if (it != index_.end()) {
    it->second.pop_back();
    if (it->second.empty()) index_.erase(it);
  }
  records_.pop_back();
  places_.pop_back();
}

void DeviceList::Replace(std::size_t i, const tComUnitInfo& info, std::string_view interface,
                         std::uint32_t local_address) {
  if (i >= records_.size()) return;
  Replace(i, info);
  places_[i] = Place{std::string(interface), local_address, RecordSource::kExchange, 0};
}

void DeviceList::Replace(std::size_t i, const tComUnitInfo& info) {
  if (i >= records_.size()) return;
  auto old = index_.find(Key(FieldText(records_[i].ip), FieldText(records_[i].mac)));
  if (old != index_.end()) {
    std::erase(old->second, i);
    if (old->second.empty()) index_.erase(old);
  }
  records_[i] = info;
  std::vector<std::size_t>& same = index_[Key(FieldText(info.ip), FieldText(info.mac))];
  same.insert(std::lower_bound(same.begin(), same.end(), i), i);
}

const tComUnitInfo* DeviceList::FindFirst(std::string_view ip, std::string_view mac) const {
  auto it = index_.find(Key(ip, mac));
  if (it == index_.end()) return nullptr;
  return &records_[it->second.front()];
}

std::vector<const tComUnitInfo*> DeviceList::FindAll(std::string_view ip,
                                                     std::string_view mac) const {
  std::vector<const tComUnitInfo*> found;
  auto it = index_.find(Key(ip, mac));
  if (it == index_.end()) return found;
  for (std::size_t i : it->second) found.push_back(&records_[i]);
  return found;
}

std::string DeviceList::Key(std::string_view ip, std::string_view mac) {
  std::string key;
  key.reserve(ip.size() + mac.size() + 1);
  key.append(ip);
  key.push_back('\0');  // cannot occur inside a field text
  key.append(mac);
  return key;
}

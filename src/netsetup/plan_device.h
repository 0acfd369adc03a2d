// A device as a search found it, the unit that re-addressing works on: its
// record, the interface it answered on and the address of this PC its
// answer reached. Plain values; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/device_list.h"
#include "protocol/unit_info.h"

struct PlanDevice {
  tComUnitInfo record{};
  std::string interface;           // "" when unknown (a relay)
  std::uint32_t local_address = 0;  // network byte order; 0 when unknown
};

// The devices of a device list, in list order.
inline std::vector<PlanDevice> PlanDevicesOf(const DeviceList& list) {
  std::vector<PlanDevice> devices;
  devices.reserve(list.Size());
  for (std::size_t i = 0; i < list.Size(); ++i)
    devices.push_back({list.At(i), list.InterfaceAt(i), list.LocalAddressOf(&list.At(i))});
  return devices;
}

// Whether two records are one listing: equal ip and mac texts, exactly.
inline bool SameListing(const tComUnitInfo& a, const tComUnitInfo& b) {
  return FieldText(a.ip) == FieldText(b.ip) && FieldText(a.mac) == FieldText(b.mac);
}

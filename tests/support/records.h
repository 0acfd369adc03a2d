// Device records and device tables for tests, written field by field by
// name; fields not named stay empty:
//   MakeRecord({.model = "M100", .ip = "10.0.0.5", .mac = "00:11:22:33:44:55"})
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/device_table.h"
#include "protocol/unit_info.h"

struct RecordFields {
  std::string model = {}, proj = {}, name = {}, ip = {}, trigger_port = {}, netmask = {}, gateway = {}, dns = {},
              mac = {}, dev = {}, note = {};
};

// The record with the given texts, each cut to its field.
inline tComUnitInfo MakeRecord(const RecordFields& f) {
  tComUnitInfo info{};
  SetField(info.model, f.model);
  SetField(info.proj, f.proj);
  SetField(info.name, f.name);
  SetField(info.ip, f.ip);
  SetField(info.trigger_port, f.trigger_port);
  SetField(info.netmask, f.netmask);
  SetField(info.gateway, f.gateway);
  SetField(info.dns, f.dns);
  SetField(info.mac, f.mac);
  SetField(info.dev, f.dev);
  SetField(info.note, f.note);
  return info;
}

// A device with every field filled: model M100, project P1, `name`, `ip`,
// port 80, netmask 255.255.255.0, gateway 192.168.0.1, DNS 192.168.0.2,
// `mac`, dev D1 and note x.
inline tComUnitInfo TestDevice(const std::string& ip, const std::string& mac, const std::string& name = "Lobby") {
  return MakeRecord({.model = "M100", .proj = "P1", .name = name, .ip = ip, .trigger_port = "80",
                     .netmask = "255.255.255.0", .gateway = "192.168.0.1", .dns = "192.168.0.2", .mac = mac,
                     .dev = "D1", .note = "x"});
}

// Shows `info` as the grid's next row; the empty row under the heading
// comes first.
inline void ShowRow(DeviceTable& table, const tComUnitInfo& info) {
  int row = table.grid.RowCount();
  if (row == 2 && table.grid.RowAt(1) == StringGrid::Row{}) row = 1;
  table.grid.SetRow(row, GridRowOf(info));
  table.grid.SetRowCount(row + 1);
}

// Appends `info` to the device list (answered on `interface`) and shows it
// as the grid's next row.
inline void AddRow(DeviceTable& table, const tComUnitInfo& info, std::string_view interface = {}) {
  table.devices.Append(info, interface);
  ShowRow(table, info);
}

// The same for a record the UPnP merge made of its `upnp_device`-th device.
inline void AddUpnpRow(DeviceTable& table, const tComUnitInfo& info, std::size_t upnp_device) {
  table.devices.AppendUpnp(info, upnp_device);
  ShowRow(table, info);
}

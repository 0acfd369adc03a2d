// The UPnP results of a search into the device list: which project filters
// have a UPnP phase, and the records and grid rows of the kept UPnP devices.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/device_table.h"
#include "upnp/device_information.h"

// True for the project filters "ALL" and "UPNP" in any case: the searches
// that have a UPnP phase.
bool ProjectWantsUpnp(std::string_view project);
// True for "UPNP" in any case: the UPnP devices replace the exchange's rows.
bool ProjectIsUpnpOnly(std::string_view project);

// The devices one merge made records of, copied when it ran, in order. The
// merge's records in the device list name their device by its place here
// (DeviceList::UpnpDeviceOf), so that what a row shows never depends on the
// engine's results, which its worker empties and fills again during the next
// search. Kept by whoever runs the merge, beside the device list and on its
// thread.
using UpnpSnapshot = std::vector<DeviceInformationContainer>;

// Turns the kept UPnP devices, in order, into device records appended to
// `table.devices` (DeviceList::AppendUpnp, each with the interface its
// device answered on) and grid rows appended after the grid's last row; with
// `replace_rows` the grid is first cut back to its heading (the device list
// keeps its records). Devices that UpnpRecordOf skips give nothing. No sort,
// no duplicate check, selected_row unchanged. `snapshot`, when given, is
// emptied and receives a copy of each device that became a record.
// REQUIRES: the device list holds no record of an earlier merge (a search
// empties it first). Result: the rows added.
int MergeUpnpResults(DeviceTable& table, const std::vector<DeviceInformationContainer>& results,
                     bool replace_rows, UpnpSnapshot* snapshot = nullptr);

// The devices of `results` that MergeUpnpResults makes records of, in order:
// the n-th record it appends is the n-th of them.
std::vector<const DeviceInformationContainer*> MergedUpnpDevices(
    const std::vector<DeviceInformationContainer>& results);

// The address part of a presentation URL: ip and port ("80" when the host
// part has no port); nullopt when the URL has no "//" or no "/" after it.
struct UpnpAddress {
  std::string ip;
  std::string port;
};
std::optional<UpnpAddress> UpnpAddressOf(std::string_view presentation_url);

// The device record of one UPnP result: model, proj and name by its
// manufacturer (AXIS first, then Vivotek in any case: IsAxisMaker and
// IsVivotekMaker), ip and trigger_port from its presentation URL, "NULL" in
// netmask, gateway, dns, mac, dev and note. nullopt when the device is
// skipped (another maker, a Vivotek friendly name without "(", or no usable
// address). Texts longer than a field are cut at a character boundary to fit.
std::optional<tComUnitInfo> UpnpRecordOf(const DeviceInformationContainer& device);

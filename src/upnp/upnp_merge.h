// The end of a search with a UPnP part: wait for the engine's signal off the
// user-interface thread, then turn the kept UPnP devices into device records
// and grid rows, write the count and give the search button back.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/device_table.h"
#include "protocol/search_controls.h"
#include "upnp/port_forward_engine.h"

// Blocks, without a time limit, until the engine's search_event is set;
// returns at once when it is null (the engine refused to start). Meant for a
// thread of its own; the user-interface thread must not change search_event
// meanwhile (it does not: only the merge steps close it).
void WaitForUpnpSearch(CPortForwardEngine& engine);

// Starts a detached thread that waits for the search the engine runs now (the
// event is taken here, on the calling thread) and then calls `on_signalled`
// on that thread. `on_signalled` should only queue MergeUpnpResultsSteps to
// the user-interface thread, and must stay safe to call if its receiver has
// gone by then.
void StartUpnpResultsThread(CPortForwardEngine& engine, std::function<void()> on_signalled);

// Runs on the user-interface thread once the search is signalled:
// - `project_text` "UPNP" (any case): the grid is cut back to its heading and
//   the UPnP devices added; "ALL" (any case): they are added after the rows
//   already there; anything else: only the search button is given back.
// - the engine's search_event is closed and set to null;
// - the count label reads "%d device(s) found!" (or "0 device(s) found!" with
//   one empty row), and the button "Device Search", enabled.
// No sort, no duplicate check, selected_row unchanged.
void MergeUpnpResultsSteps(DeviceTable& table, const std::string& project_text,
                           CPortForwardEngine& engine, SearchControls& controls);

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

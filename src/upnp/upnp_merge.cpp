// The UPnP results step: the wait, the records and rows of the UPnP devices,
// the count and the search button.
#include "upnp/upnp_merge.h"

#include <cctype>
#include <thread>

#include "protocol/debug_log.h"

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The longest prefix of `text` of at most `max_bytes` bytes that does not end
// inside a UTF-8 character.
std::string_view Utf8Prefix(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return text;
  std::size_t n = max_bytes;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n);
}

template <std::size_t N>
void SetText(char (&field)[N], std::string_view text) {
  SetField(field, Utf8Prefix(text, N - 1));
}

}  // namespace

void WaitForUpnpSearch(CPortForwardEngine& engine) {
  std::shared_ptr<SearchEvent> event = engine.search_event;
  if (event) event->Wait();
}

void StartUpnpResultsThread(CPortForwardEngine& engine, std::function<void()> on_signalled) {
  std::shared_ptr<SearchEvent> event = engine.search_event;
  std::thread([event, on_signalled = std::move(on_signalled)] {
    if (event) event->Wait();
    if (on_signalled) on_signalled();
  }).detach();
}

std::optional<UpnpAddress> UpnpAddressOf(std::string_view url) {
  std::size_t slashes = url.find("//");
  if (slashes == std::string_view::npos) return std::nullopt;
  std::string_view rest = url.substr(slashes + 2);
  std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  std::string_view host = rest.substr(0, slash);
  std::size_t colon = host.find(':');
  if (colon == std::string_view::npos) return UpnpAddress{std::string(host), "80"};
  return UpnpAddress{std::string(host.substr(0, colon)), std::string(host.substr(colon + 1))};
}

std::optional<tComUnitInfo> UpnpRecordOf(const DeviceInformationContainer& device) {
  tComUnitInfo info{};
  SetField(info.netmask, "NULL");
  SetField(info.gateway, "NULL");
  SetField(info.dns, "NULL");
  SetField(info.mac, "NULL");
  SetField(info.dev, "NULL");
  SetField(info.note, "NULL");

  std::string_view model, name;
  if (IsAxisMaker(device.manufacturer_name)) {
    model = "Axis 200 Series";
    name = device.description;
  } else if (IsVivotekMaker(device.manufacturer_name)) {
    model = "VivoTek 7000 Series";
    std::size_t paren = device.friendly_name.find('(');
    if (paren == std::string::npos) return std::nullopt;
    name = std::string_view(device.friendly_name).substr(0, paren);
  } else {
    return std::nullopt;
  }
  std::optional<UpnpAddress> address = UpnpAddressOf(device.presentation_url);
  if (!address) return std::nullopt;

  SetText(info.model, model);
  SetText(info.proj, model);
  SetText(info.name, name);
  SetText(info.ip, address->ip);
  SetText(info.trigger_port, address->port);
  return info;
}

void MergeUpnpResultsSteps(DeviceTable& table, const std::string& project_text,
                           CPortForwardEngine& engine, SearchControls& controls) {
  const bool upnp_only = EqualsIgnoringCase(project_text, "UPNP");
  if (!upnp_only && !EqualsIgnoringCase(project_text, "ALL")) {
    controls.SetSearchButton(true, "Device Search");
    engine.CloseSearchEvent();
    return;
  }

  StringGrid& grid = table.grid;
  grid.BeginUpdate();
  if (upnp_only) {
    grid.ClearRows(1);  // no hidden row text may come back later
    grid.SetRowCount(1);
  }
  const std::size_t count = engine.results.size();
  for (std::size_t i = 0; i < count; ++i) {
    std::optional<tComUnitInfo> info = UpnpRecordOf(engine.results[i]);
    if (!info) continue;
    table.devices.Append(*info);
    const int row = grid.RowCount();
    grid.SetRow(row, GridRowOf(*info));
    grid.SetRowCount(row + 1);
  }

  engine.CloseSearchEvent();

  if (grid.RowCount() > 1) {
    grid.SetFixedRows(1);
    grid.EndUpdate();
    controls.SetCountLabel(StringPrintf("%d device(s) found!", grid.RowCount() - 1));
  } else {
    grid.ClearRows(1);
    grid.SetRowCount(2);
    grid.SetFixedRows(1);
    grid.EndUpdate();
    controls.SetCountLabel("0 device(s) found!");
  }
  controls.SetSearchButton(true, "Device Search");
}

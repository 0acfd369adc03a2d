// The UPnP results step: the records and rows of the UPnP devices.
#include "upnp/upnp_merge.h"

namespace {

// ASCII letters in either case; whatever the locale, no other byte matches a
// letter of "ALL" or "UPNP".
bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
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

bool ProjectWantsUpnp(std::string_view project) {
  return EqualsIgnoringCase(project, "ALL") || EqualsIgnoringCase(project, "UPNP");
}

bool ProjectIsUpnpOnly(std::string_view project) { return EqualsIgnoringCase(project, "UPNP"); }

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

int MergeUpnpResults(DeviceTable& table, const std::vector<DeviceInformationContainer>& results,
                     bool replace_rows, UpnpSnapshot* snapshot) {
  if (snapshot != nullptr) snapshot->clear();
  StringGrid& grid = table.grid;
  grid.BeginUpdate();
  if (replace_rows) {
    grid.ClearRows(1);  // no hidden row text may come back later
    grid.SetRowCount(1);
  }
  int added = 0;
  for (const DeviceInformationContainer& device : results) {
    std::optional<tComUnitInfo> info = UpnpRecordOf(device);
    if (!info) continue;
    table.devices.AppendUpnp(*info, static_cast<std::size_t>(added), device.interface);
    if (snapshot != nullptr) snapshot->push_back(device);
    const int row = grid.RowCount();
    grid.SetRow(row, GridRowOf(*info));
    grid.SetRowCount(row + 1);
    ++added;
  }
  grid.EndUpdate();
  return added;
}

std::vector<const DeviceInformationContainer*> MergedUpnpDevices(
    const std::vector<DeviceInformationContainer>& results) {
  std::vector<const DeviceInformationContainer*> merged;
  for (const DeviceInformationContainer& device : results)
    if (UpnpRecordOf(device)) merged.push_back(&device);
  return merged;
}

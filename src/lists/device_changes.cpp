// Device identity across lists and the comparison of two lists.
#include "lists/device_changes.h"

#include <cstring>
#include <deque>
#include <unordered_map>

#include "lists/record_origins.h"
#include "protocol/ipv4_text.h"
#include "protocol/mac_text.h"
#include "protocol/record_text.h"

namespace {

std::string Text(std::string_view field) { return std::string(field); }

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// A UPnP device by its address and port, whether or not its UDN is known.
std::string UpnpAddressIdentity(const tComUnitInfo& r) {
  return "upnp " + Text(FieldText(r.ip)) + ":" + Text(FieldText(r.trigger_port));
}

// A name in one spelling (a saved list holds in UTF-8 what a device sent in
// Latin-1), as SameField compares it.
std::string NameKey(const tComUnitInfo& r) {
  const std::string name = Text(FieldText(r.name));
  return IsAscii(name) ? name : RecordText(name).toStdString();
}

bool Knows(KnownFields known, int field) { return (known >> field) & 1u; }

bool IsAddressField(int f) { return f == 3 || f == 5 || f == 6 || f == 7; }  // ip, netmask, gateway, dns
constexpr int kMacField = 8;

bool SameField(const tComUnitInfo& a, const tComUnitInfo& b, int f) {
  std::string_view x(UnitField(a, f), strnlen(UnitField(a, f), UnitFieldWidth(f)));
  std::string_view y(UnitField(b, f), strnlen(UnitField(b, f), UnitFieldWidth(f)));
  if (IsAddressField(f)) return SameAddressText(x, y);
  if (f == kMacField) return SameMac(x, y);
  return x == y || (!IsAscii(x) && !IsAscii(y) && RecordText(x) == RecordText(y));
}

// The device's identity and the text of the `fields` it knows, each in one
// spelling (the MAC folded; an address has one as SameAddressText compares
// it), so that two devices ChangedFields finds alike give the same text.
std::string FieldsText(const ListedDevice& d, KnownFields fields) {
  std::string text = DeviceIdentity(d);
  for (int f = 0; f < kUnitFieldCount; ++f) {
    if (!Knows(fields, f)) continue;
    std::string field(UnitField(d.record, f), strnlen(UnitField(d.record, f), UnitFieldWidth(f)));
    if (f == kMacField) field = MacKey(field);
    if (!IsAscii(field)) field = RecordText(field).toStdString();  // one spelling of the same text
    text += '\0';
    text += field;
  }
  return text;
}

}  // namespace

std::vector<ListedDevice> ListedDevicesOf(const DeviceTable& table, const RecordOrigins& origins) {
  std::vector<ListedDevice> devices;
  devices.reserve(table.devices.Size());
  for (std::size_t i = 0; i < table.devices.Size(); ++i) {
    ListedDevice d;
    d.record = table.devices.At(i);
    d.interface = table.devices.InterfaceAt(i);
    d.source = origins.SourceOf(i);
    d.upnp = d.source == "upnp";
    if (const DeviceInformationContainer* upnp = origins.UpnpOf(i)) d.udn = upnp->unique_device_name;
    devices.push_back(std::move(d));
  }
  return devices;
}

std::string DeviceIdentity(const ListedDevice& device) {
  const tComUnitInfo& r = device.record;
  if (device.upnp) {
    if (!device.udn.empty()) return "udn " + device.udn;
    return UpnpAddressIdentity(r);
  }
  if (IsMacText(FieldText(r.mac))) return "mac " + MacKey(FieldText(r.mac));
  std::string identity = "row ";
  identity += FieldText(r.ip);
  identity += '\0';
  identity += FieldText(r.mac);
  identity += '\0';
  identity += FieldText(r.name);
  return identity;
}

std::vector<int> ChangedFields(const ListedDevice& before, const ListedDevice& now) {
  std::vector<int> fields;
  const KnownFields both = before.known & now.known;
  for (int f = 0; f < kUnitFieldCount; ++f)
    if (Knows(both, f) && !SameField(before.record, now.record, f)) fields.push_back(f);
  return fields;
}

const char* ChangeWord(DeviceChange::Kind kind) {
  switch (kind) {
    case DeviceChange::kSame:
      return "same";
    case DeviceChange::kNew:
      return "new";
    case DeviceChange::kChanged:
      return "changed";
    case DeviceChange::kMissing:
      break;
  }
  return "missing";
}

std::vector<DeviceChange> CompareDevices(const std::vector<ListedDevice>& before,
                                         const std::vector<ListedDevice>& now) {
  // The fields every device of both lists knows: an unchanged pair has the
  // same text of them (FieldsText), which finds it without comparing every
  // two devices that share an identity (a MAC flooded at many addresses).
  KnownFields common = kAllUnitFields;
  for (const ListedDevice& d : before) common &= d.known;
  for (const ListedDevice& d : now) common &= d.known;

  // Candidates of one text: `first` is where those not yet paired begin (a
  // vector, not a deque: 200,000 deques would take over 100 MB).
  struct SameText {
    std::size_t first = 0;
    std::vector<std::size_t> before;
  };
  std::unordered_map<std::string, std::vector<std::size_t>> by_identity;
  std::unordered_map<std::string, SameText> by_text;
  for (std::size_t b = 0; b < before.size(); ++b) {
    by_identity[DeviceIdentity(before[b])].push_back(b);
    by_text[FieldsText(before[b], common)].before.push_back(b);
  }

  std::vector<bool> paired(before.size(), false);
  std::vector<DeviceChange> changes(now.size());
  std::vector<bool> done(now.size(), false);
  // First the unchanged pairs, so that a MAC listed twice pairs each address
  // with itself.
  for (std::size_t n = 0; n < now.size(); ++n) {
    auto same = by_text.find(FieldsText(now[n], common));
    if (same == by_text.end()) continue;
    SameText& group = same->second;
    while (group.first < group.before.size() && paired[group.before[group.first]]) ++group.first;
    for (std::size_t k = group.first; k < group.before.size(); ++k) {
      const std::size_t b = group.before[k];
      if (paired[b] || !ChangedFields(before[b], now[n]).empty()) continue;
      paired[b] = true;
      changes[n] = {DeviceChange::kSame, b, n, {}};
      done[n] = true;
      break;
    }
  }
  // Then the rest, in list order.
  std::unordered_map<std::string, std::size_t> next;  // per identity: the first candidate not yet paired
  for (std::size_t n = 0; n < now.size(); ++n) {
    if (done[n]) continue;
    changes[n] = {DeviceChange::kNew, DeviceChange::kNone, n, {}};
    // A UPnP device without a UDN is its address and port, which several
    // devices may share: paired below, by name among them.
    if (now[n].upnp && now[n].udn.empty()) continue;
    const std::string identity = DeviceIdentity(now[n]);
    auto group = by_identity.find(identity);
    if (group == by_identity.end()) continue;
    std::size_t& i = next[identity];
    while (i < group->second.size() && paired[group->second[i]]) ++i;
    if (i == group->second.size()) continue;
    const std::size_t b = group->second[i];
    paired[b] = true;
    changes[n].before = b;
    changes[n].fields = ChangedFields(before[b], now[n]);
    changes[n].kind = changes[n].fields.empty() ? DeviceChange::kSame : DeviceChange::kChanged;
  }
  // UPnP devices that one list knows without a UDN: by address and port;
  // where several share them (a recorder's channels behind one address),
  // by name, and a last one left on each side is that device renamed.
  // Neither step looks at the lists' order, so neither does the pairing.
  struct AtAddress {
    std::vector<std::size_t> before, now;
  };
  std::unordered_map<std::string, AtAddress> upnp_by_address;
  for (std::size_t b = 0; b < before.size(); ++b)
    if (!paired[b] && before[b].upnp) upnp_by_address[UpnpAddressIdentity(before[b].record)].before.push_back(b);
  for (std::size_t n = 0; n < now.size() && !upnp_by_address.empty(); ++n) {
    if (changes[n].kind != DeviceChange::kNew || !now[n].upnp) continue;
    auto group = upnp_by_address.find(UpnpAddressIdentity(now[n].record));
    if (group != upnp_by_address.end()) group->second.now.push_back(n);
  }
  auto pair_up = [&](std::size_t b, std::size_t n) {
    paired[b] = true;
    changes[n].before = b;
    changes[n].fields = ChangedFields(before[b], now[n]);
    changes[n].kind = changes[n].fields.empty() ? DeviceChange::kSame : DeviceChange::kChanged;
  };
  // Two UDNs that differ are two devices.
  auto may_pair = [&](std::size_t b, std::size_t n) { return before[b].udn.empty() || now[n].udn.empty(); };
  for (auto& at_address : upnp_by_address) {
    AtAddress& group = at_address.second;
    std::unordered_map<std::string, std::deque<std::size_t>> by_name;
    for (std::size_t b : group.before) by_name[NameKey(before[b].record)].push_back(b);
    std::vector<std::size_t> left_now;
    for (std::size_t n : group.now) {
      auto named = by_name.find(NameKey(now[n].record));
      bool found = false;
      if (named != by_name.end()) {
        for (auto it = named->second.begin(); it != named->second.end(); ++it) {
          if (!may_pair(*it, n)) continue;
          pair_up(*it, n);
          named->second.erase(it);
          found = true;
          break;
        }
      }
      if (!found) left_now.push_back(n);
    }
    std::vector<std::size_t> left_before;
    for (std::size_t b : group.before)
      if (!paired[b]) left_before.push_back(b);
    if (left_before.size() == 1 && left_now.size() == 1 && may_pair(left_before[0], left_now[0]))
      pair_up(left_before[0], left_now[0]);
  }
  for (std::size_t b = 0; b < before.size(); ++b)
    if (!paired[b]) changes.push_back({DeviceChange::kMissing, b, DeviceChange::kNone, {}});
  return changes;
}

std::string ChangedFieldText(std::string_view name, std::string_view before, std::string_view now,
                             std::string_view arrow) {
  std::string text(name);
  text += ' ';
  text += before;
  text += arrow;
  text += now;
  return text;
}

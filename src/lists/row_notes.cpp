// Notes on listed devices: address conflicts, this PC's address, a gateway
// that is the device itself, unreachable addresses and a MAC seen twice.
#include "lists/row_notes.h"

#include <arpa/inet.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/ipv4_text.h"
#include "protocol/mac_text.h"
#include "protocol/string_printf.h"

namespace {

// "A, B and C" for `names`, the first of `count` others; "A, B and 3 more"
// when there are more others than names.
std::string NamedOthers(const std::vector<std::string>& names, std::size_t count) {
  std::string text;
  const bool all = count <= names.size();
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += (all && i + 1 == names.size()) ? " and " : ", ";
    text += names[i];
  }
  if (!all) text += StringPrintf(" and %zu more", count - names.size());
  return text;
}

// A MAC as a number: its 48 bits (MacValue), else a hash of its key (with
// the top bit set, so the two never meet): equal exactly when SameMac.
std::uint64_t MacNumber(std::string_view mac) {
  if (std::optional<std::uint64_t> value = MacValue(mac)) return *value;
  return std::hash<std::string>()(MacKey(mac)) | (1ull << 63);
}

// A text that is no strict address, as a number apart from every address.
std::uint64_t TextKey(std::string_view text) { return std::hash<std::string_view>()(text) | (1ull << 63); }

// Devices grouped by one value (an address, or a MAC) with the distinct
// second values in each group (the MACs at an address, the addresses of a
// MAC): sorted, so that each group and each distinct value in it is a run.
// A device stands in one group, or in two (a device that may be at two
// addresses); its second value is the same in both.
struct Pairing {
  struct Entry {
    std::uint64_t group, value;
    std::size_t device;
    bool operator<(const Entry& o) const {
      return group != o.group ? group < o.group : value != o.value ? value < o.value : device < o.device;
    }
  };
  std::vector<Entry> entries;

  // For a device whose groups hold more than one distinct value together:
  // how many values besides its own, and the first device of at most
  // kNamedOthers of them (in value order).
  struct Others {
    std::size_t count = 0;
    std::vector<std::size_t> devices;
  };
  std::vector<Others> Resolve(std::size_t devices) {
    constexpr std::size_t kNone = SIZE_MAX;
    std::sort(entries.begin(), entries.end());
    // Each group's distinct values in order, each with its first device:
    // group g is distinct[groups[g].first, groups[g].second).
    std::vector<Value> distinct;
    std::vector<std::pair<std::size_t, std::size_t>> groups;
    std::vector<std::size_t> first(devices, kNone), second(devices, kNone);
    std::vector<std::uint64_t> own(devices, 0);
    for (std::size_t e = 0; e < entries.size(); ++e) {
      const Entry& x = entries[e];
      const bool new_group = e == 0 || x.group != entries[e - 1].group;
      if (new_group) groups.emplace_back(distinct.size(), distinct.size());
      if (new_group || x.value != entries[e - 1].value) {
        distinct.push_back({x.value, x.device});
        ++groups.back().second;
      }
      const std::size_t g = groups.size() - 1;
      own[x.device] = x.value;
      (first[x.device] == kNone ? first : second)[x.device] = g;
    }
    // Two groups' values together, for the devices that stand in both: how
    // many, and the first kNamedOthers + 1 (one may be the device's own).
    // Few devices stand in two groups, and few pairs of groups share one.
    std::map<std::pair<std::size_t, std::size_t>, std::pair<std::size_t, std::vector<Value>>> unions;
    auto both = [&](std::size_t a, std::size_t b) -> const std::pair<std::size_t, std::vector<Value>>& {
      auto [it, added] = unions.try_emplace({a, b});
      if (!added) return it->second;
      std::size_t i = groups[a].first, j = groups[b].first, count = 0;
      const std::size_t end_a = groups[a].second, end_b = groups[b].second;
      std::vector<Value>& head = it->second.second;
      while (i < end_a || j < end_b) {
        Value next;
        if (j == end_b || (i < end_a && distinct[i].value < distinct[j].value)) {
          next = distinct[i++];
        } else if (i == end_a || distinct[j].value < distinct[i].value) {
          next = distinct[j++];
        } else {  // in both: its first device
          next = distinct[i].device < distinct[j].device ? distinct[i] : distinct[j];
          ++i;
          ++j;
        }
        ++count;
        if (head.size() <= kNamedOthers) head.push_back(next);
      }
      it->second.first = count;
      return it->second;
    };
    std::vector<Others> others(devices);
    for (std::size_t d = 0; d < devices; ++d) {
      if (first[d] == kNone) continue;
      std::size_t count = groups[first[d]].second - groups[first[d]].first;
      const Value* begin = distinct.data() + groups[first[d]].first;
      const Value* end = distinct.data() + groups[first[d]].second;
      if (second[d] != kNone) {
        const auto& [total, head] = both(first[d], second[d]);
        count = total;
        begin = head.data();
        end = head.data() + head.size();
      }
      if (count < 2) continue;
      Others& o = others[d];
      o.count = count - 1;
      for (const Value* v = begin; v != end && o.devices.size() < kNamedOthers; ++v)
        if (v->value != own[d]) o.devices.push_back(v->device);
    }
    return others;
  }

 private:
  // A distinct value of a group, with the first device that has it there.
  struct Value {
    std::uint64_t value = 0;
    std::size_t device = 0;
  };
};

// How a conflict note names another device at the same address.
std::string OtherName(const ListedDevice& d) {
  if (d.upnp) return "a UPnP device";
  if (FieldText(d.record.mac).empty()) return "a device without a MAC";
  return std::string(FieldText(d.record.mac));
}

}  // namespace

const char* NoteWord(NoteKind kind) {
  switch (kind) {
    case NoteKind::kAddressConflict:
      return "address-conflict";
    case NoteKind::kThisPc:
      return "this-pc";
    case NoteKind::kOwnGateway:
      return "own-gateway";
    case NoteKind::kNotReachable:
      return "not-reachable";
    case NoteKind::kSeenTwice:
      break;
  }
  return "seen-twice";
}

std::vector<LocalNetwork> ThisPcNetworks() { return LocalNetworksOf(BroadcastInterfaces()); }

std::vector<LocalNetwork> LocalNetworksOf(const std::vector<NetInterface>& interfaces) {
  std::vector<LocalNetwork> local;
  for (const NetInterface& i : interfaces)
    for (const InterfaceAddress& a : AddressesOf(i)) local.push_back({i.name, a.address, a.netmask});
  return local;
}

std::vector<std::vector<RowNote>> NotesOf(const std::vector<ListedDevice>& devices,
                                          const std::vector<LocalNetwork>& local) {
  const std::size_t n = devices.size();
  // Each device's addresses (all it may be at: HeldAddresses) and MAC as
  // numbers; the MACs at each address, and the addresses of each
  // six-hex-pair MAC (a text outside the strict rule by its text).
  std::vector<std::vector<std::uint32_t>> held(n);  // host byte order
  Pairing macs_at, addresses_of;
  macs_at.entries.reserve(n);
  addresses_of.entries.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const ListedDevice& d = devices[i];
    const std::string_view ip = FieldText(d.record.ip);
    held[i] = HeldAddresses(ip);
    const std::uint64_t mac = MacNumber(FieldText(d.record.mac));
    for (std::uint32_t a : held[i]) macs_at.entries.push_back({a, mac, i});
    if (!d.upnp && mac < (1ull << 48)) {  // six hex pairs
      const std::optional<std::uint32_t> strict = StrictAddress(ip);
      addresses_of.entries.push_back({mac, strict ? *strict : TextKey(ip), i});
    }
  }
  const std::vector<Pairing::Others> conflicts = macs_at.Resolve(n);
  const std::vector<Pairing::Others> elsewhere = addresses_of.Resolve(n);

  // This PC's networks by interface, with each interface's note.
  struct Link {
    std::string name;
    std::vector<InterfaceAddress> subnets;  // network byte order
    std::string unreachable;  // "not reachable from eth0 (10.99.0.1/24, ...)"
  };
  std::vector<Link> links;
  for (const LocalNetwork& l : local) {
    auto link = std::find_if(links.begin(), links.end(), [&l](const Link& k) { return k.name == l.interface; });
    if (link == links.end()) link = links.insert(links.end(), Link{l.interface, {}, {}});
    link->subnets.push_back({l.address, l.netmask});
  }
  for (Link& link : links) link.unreachable = "not reachable from " + SubnetsText(link.name, link.subnets);

  std::vector<std::vector<RowNote>> notes(n);
  for (std::size_t i = 0; i < n; ++i) {
    const ListedDevice& d = devices[i];
    std::vector<RowNote>& out = notes[i];
    const std::vector<std::uint32_t>& at = held[i];
    auto holds = [&at](std::uint32_t host) { return std::find(at.begin(), at.end(), host) != at.end(); };
    if (!at.empty()) {
      const std::string ip(FieldText(d.record.ip));
      if (conflicts[i].count > 0) {
        std::vector<std::string> names;
        for (std::size_t other : conflicts[i].devices) names.push_back(OtherName(devices[other]));
        out.push_back({NoteKind::kAddressConflict, ip + " is also used by " + NamedOthers(names, conflicts[i].count)});
      }
      for (const LocalNetwork& l : local) {
        if (!holds(ntohl(l.address))) continue;
        out.push_back({NoteKind::kThisPc, ip + " is an address of this PC (" + l.interface + ")"});
        break;
      }
      const std::vector<std::uint32_t> gateway = HeldAddresses(FieldText(d.record.gateway));
      if (std::any_of(gateway.begin(), gateway.end(), holds))
        out.push_back({NoteKind::kOwnGateway, "the gateway " + ip + " is the device's own address"});
    }
    if (!d.interface.empty()) {
      for (const Link& link : links) {
        if (link.name != d.interface) continue;
        const bool inside =
            std::any_of(at.begin(), at.end(), [&link](std::uint32_t a) { return InSubnetOf(link.subnets, htonl(a)); });
        if (!inside) out.push_back({NoteKind::kNotReachable, link.unreachable});
        break;
      }
    }
    if (elsewhere[i].count > 0) {
      std::vector<std::string> names;
      for (std::size_t other : elsewhere[i].devices) names.emplace_back(FieldText(devices[other].record.ip));
      out.push_back({NoteKind::kSeenTwice, std::string(FieldText(d.record.mac)) + " is also listed at " +
                                               NamedOthers(names, elsewhere[i].count)});
    }
  }
  return notes;
}

std::string NoteWords(const std::vector<RowNote>& notes) {
  std::string words;
  for (const RowNote& note : notes) {
    if (!words.empty()) words += ';';
    words += NoteWord(note.kind);
  }
  return words;
}

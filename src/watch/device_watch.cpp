// The live watch's rounds, its table of what it has seen, and its events.
#include "watch/device_watch.h"

#include <algorithm>

#include "protocol/interfaces.h"

namespace {

bool SameNotes(const std::vector<RowNote>& a, const std::vector<RowNote>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const RowNote& x, const RowNote& y) { return x.kind == y.kind && x.detail == y.detail; });
}

// A device's identity and the address it answered from.
std::string AddressKey(const ListedDevice& d) {
  std::string key = DeviceIdentity(d);
  key += '\0';
  key += FieldText(d.record.ip);
  return key;
}

std::string UpnpIdentity(const std::string& udn) {
  ListedDevice d;
  d.upnp = true;
  d.udn = udn;
  return DeviceIdentity(d);
}

}  // namespace

DeviceWatch::DeviceWatch(WatchSearch& search, DescriptionRequests* descriptions, Options options)
    : search_(search), descriptions_(descriptions), options_(std::move(options)),
      self_(std::make_shared<DeviceWatch*>(this)) {
  if (!options_.clock) options_.clock = [] { return Clock::now(); };
  if (!options_.local_networks) options_.local_networks = [] { return LocalNetworksOf(BroadcastInterfaces()); };
}

DeviceWatch::~DeviceWatch() = default;

void DeviceWatch::Tick() {
  if (paused_ || running_) return;
  if (last_start_ && options_.clock() - *last_start_ < options_.interval) return;
  StartRound();
}

void DeviceWatch::StartRound() {
  running_ = true;
  last_start_ = options_.clock();
  local_ = options_.local_networks();
  if (on_round_started_) on_round_started_();
  std::weak_ptr<DeviceWatch*> self = self_;
  const unsigned generation = generation_;
  search_.Start(
      [self, generation](std::vector<WatchedDevice> devices) {
        if (auto watch = self.lock(); watch && (*watch)->generation_ == generation)
          (*watch)->Found(std::move(devices));
      },
      [self, generation] {
        auto watch = self.lock();
        if (!watch) return;
        if ((*watch)->generation_ == generation) (*watch)->RoundDone();
        else (*watch)->running_ = false;
      });
}

void DeviceWatch::Found(std::vector<WatchedDevice> devices) {
  std::vector<Event> events = Apply(std::move(devices));
  Tell(events);
}

void DeviceWatch::RoundDone() {
  running_ = false;
  ++rounds_done_;
  const bool searched = search_.RoundSearched();
  std::vector<Event> events;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    Entry& e = entries_[i];
    if (e.gone) continue;
    if (e.seen) e.missed = 0;
    else if (searched) ++e.missed;
    e.seen = false;
    if (e.missed >= kMissedRoundsForGone) {
      e.gone = true;
      events.push_back({EventKind::kGone, i});
    }
  }
  asked_.clear();
  held_last_round_ = std::move(held_this_round_);
  held_this_round_.clear();
  if (!events.empty()) RefreshNotes(events);
  Tell(events);
}

std::vector<DeviceWatch::Event> DeviceWatch::Apply(std::vector<WatchedDevice> devices) {
  // The devices in an order of their own, by identity and address, so that
  // the pairing never follows the order the answers came in; the events
  // follow it.
  std::vector<std::size_t> order(devices.size());
  std::vector<std::string> keys(devices.size());
  for (std::size_t k = 0; k < devices.size(); ++k) {
    order[k] = k;
    keys[k] = AddressKey(devices[k].listed);
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return keys[x] < keys[y]; });
  const std::size_t entries_before = entries_.size();
  // The entries that share an identity with a device: CompareDevices pairs
  // them one to one, an unchanged pair first.
  std::vector<std::size_t> candidates;
  std::vector<ListedDevice> before, now;
  now.reserve(devices.size());
  for (std::size_t k : order) {
    const WatchedDevice& d = devices[k];
    now.push_back(d.listed);
    auto it = by_identity_.find(DeviceIdentity(d.listed));
    if (it == by_identity_.end()) continue;
    for (std::size_t e : it->second) {
      if (std::find(candidates.begin(), candidates.end(), e) != candidates.end()) continue;
      candidates.push_back(e);
      before.push_back(entries_[e].device.listed);
    }
  }
  std::vector<std::pair<std::size_t, Event>> told;  // by the device's place in `devices`
  for (const DeviceChange& change : CompareDevices(before, now)) {
    if (change.kind == DeviceChange::kMissing) continue;
    const std::size_t k = order[change.now];
    WatchedDevice& d = devices[k];
    if (change.before == DeviceChange::kNone) {
      // One more address of a device listed already: held back for a round
      // (see the header) unless it was held at the last one too.
      auto listed = by_identity_.find(DeviceIdentity(d.listed));
      const bool listed_before = listed != by_identity_.end() && listed->second.front() < entries_before;
      if (listed_before && held_last_round_.count(keys[k]) == 0) {
        held_this_round_.insert(keys[k]);
        continue;
      }
      told.push_back({k, {EventKind::kFound, AddEntry(std::move(d))}});
      continue;
    }
    const std::size_t i = candidates[change.before];
    Entry& e = entries_[i];
    e.seen = true;
    if (e.gone) {  // back again
      e.device = std::move(d);
      e.gone = false;
      e.missed = 0;
      e.found_at = options_.clock();
      e.before.reset();
      e.changed_fields.clear();
      told.push_back({k, {EventKind::kFound, i}});
    } else if (change.kind == DeviceChange::kChanged) {
      e.before = std::move(e.device);
      e.changed_fields = change.fields;
      e.device = std::move(d);
      told.push_back({k, {EventKind::kChanged, i}});
    } else {
      e.device = std::move(d);  // the same record; what is kept beside it may have changed
    }
  }
  std::stable_sort(told.begin(), told.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
  std::vector<Event> events;
  for (const auto& t : told) events.push_back(t.second);
  if (!events.empty()) RefreshNotes(events);
  return events;
}

std::size_t DeviceWatch::AddEntry(WatchedDevice device) {
  const std::size_t i = entries_.size();
  by_identity_[DeviceIdentity(device.listed)].push_back(i);
  Entry e;
  e.device = std::move(device);
  e.found_at = options_.clock();
  e.seen = true;
  entries_.push_back(std::move(e));
  return i;
}

void DeviceWatch::RefreshNotes(std::vector<Event>& events) {
  std::vector<std::size_t> present;
  std::vector<ListedDevice> listed;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].gone) continue;
    present.push_back(i);
    listed.push_back(entries_[i].device.listed);
  }
  std::vector<std::vector<RowNote>> notes = NotesOf(listed, local_);
  for (std::size_t k = 0; k < present.size(); ++k) {
    Entry& e = entries_[present[k]];
    if (SameNotes(e.notes, notes[k])) continue;
    e.notes = std::move(notes[k]);
    events.push_back({EventKind::kNote, present[k]});
  }
}

void DeviceWatch::Tell(const std::vector<Event>& events) {
  if (!on_event_) return;
  for (const Event& event : events) on_event_(event);
}

const DeviceWatch::Entry* DeviceWatch::ListedUpnp(const std::string& udn) const {
  auto it = by_identity_.find(UpnpIdentity(udn));
  if (it == by_identity_.end()) return nullptr;
  for (std::size_t i : it->second)
    if (!entries_[i].gone) return &entries_[i];
  return nullptr;
}

void DeviceWatch::Alive(const std::string& udn, const std::string& location) {
  if (paused_ || udn.empty()) return;
  if (const Entry* listed = ListedUpnp(udn)) {
    entries_[static_cast<std::size_t>(listed - entries_.data())].seen = true;
    return;
  }
  if (descriptions_ == nullptr || asked_.size() >= kDescriptionRequestsPerRound ||
      std::find(asked_.begin(), asked_.end(), udn) != asked_.end())
    return;
  asked_.push_back(udn);
  descriptions_->Request(udn, location);
}

bool DeviceWatch::Byebye(const std::string& udn, const std::string& sender) {
  auto it = by_identity_.find(UpnpIdentity(udn));
  if (it == by_identity_.end()) return true;
  std::vector<Event> events;
  bool from_device = false;
  for (std::size_t i : it->second) {
    Entry& e = entries_[i];
    if (!e.device.upnp || e.device.upnp->description_address.empty() ||
        e.device.upnp->description_address != sender)
      continue;
    from_device = true;
    if (e.gone) continue;
    e.gone = true;
    e.seen = false;
    e.missed = kMissedRoundsForGone;
    events.push_back({EventKind::kGone, i});
  }
  if (!from_device) return false;
  // Announced again, it is asked for again.
  asked_.erase(std::remove(asked_.begin(), asked_.end(), udn), asked_.end());
  if (!events.empty()) RefreshNotes(events);
  Tell(events);
  return true;
}

void DeviceWatch::Described(WatchedDevice device) {
  std::vector<WatchedDevice> devices;
  devices.push_back(std::move(device));
  Tell(Apply(std::move(devices)));
}

void DeviceWatch::Restart(std::vector<WatchedDevice> devices) {
  ++generation_;
  entries_.clear();
  by_identity_.clear();
  asked_.clear();
  held_this_round_.clear();
  held_last_round_.clear();
  last_start_ = options_.clock();
  local_ = options_.local_networks();
  entries_.reserve(devices.size());
  by_identity_.reserve(devices.size());
  // The search that gave `devices` counts as a round of its own: a device
  // missing from the next round has missed one.
  for (WatchedDevice& d : devices) entries_[AddEntry(std::move(d))].seen = false;
  std::vector<Event> unused;
  RefreshNotes(unused);
}

bool DeviceWatch::IsNew(std::size_t i) const {
  return i < entries_.size() && options_.clock() < entries_[i].found_at + kNewFor;
}

const char* WatchEventWord(DeviceWatch::EventKind kind) {
  switch (kind) {
    case DeviceWatch::EventKind::kFound:
      return "found";
    case DeviceWatch::EventKind::kChanged:
      return "changed";
    case DeviceWatch::EventKind::kGone:
      return "gone";
    case DeviceWatch::EventKind::kNote:
      break;
  }
  return "note";
}

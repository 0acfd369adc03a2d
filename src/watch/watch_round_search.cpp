// The live watch's rounds over StandaloneSearch.
#include "watch/watch_round_search.h"

#include <QTimer>
#include <algorithm>

#include "protocol/intake.h"
#include "upnp/upnp_merge.h"

std::vector<WatchedDevice> WatchedDevicesOf(const DeviceTable& table, const RecordOrigins& origins,
                                            const SearchSettings& settings, std::size_t from) {
  std::vector<ListedDevice> listed = ListedDevicesOf(table, origins);
  std::vector<WatchedDevice> devices;
  for (std::size_t i = from; i < listed.size(); ++i) {
    const std::string source = origins.SourceOf(i);
    // The UPnP merge's rows are all shown; the exchange's as the filter says.
    if (source != "upnp" && ProjectFilter(settings.project, FieldText(listed[i].record.proj)) != 0) continue;
    WatchedDevice d{std::move(listed[i]), source};
    if (const DeviceInformationContainer* upnp = origins.UpnpOf(i)) d.upnp = *upnp;
    devices.push_back(std::move(d));
  }
  return devices;
}

std::optional<WatchedDevice> WatchedUpnpDevice(const DeviceInformationContainer& device) {
  std::optional<tComUnitInfo> record = UpnpRecordOf(device);
  if (!record) return std::nullopt;
  WatchedDevice d{{.record = *record, .upnp = true, .udn = device.unique_device_name}, "upnp", device};
  return d;
}

WatchRoundSearch::WatchRoundSearch(const SearchSettings& settings, bool with_upnp, DebugLog& log,
                                   MakeExchanges make_exchanges)
    : settings_(settings), with_upnp_(with_upnp), log_(log), make_exchanges_(std::move(make_exchanges)) {}

WatchRoundSearch::~WatchRoundSearch() = default;

void WatchRoundSearch::Start(std::function<void(std::vector<WatchedDevice>)> found, std::function<void()> done) {
  found_ = std::move(found);
  done_ = std::move(done);
  reported_ = 0;
  search_ = std::make_unique<StandaloneSearch>(settings_, with_upnp_, log_, make_exchanges_);
  search_->SetOnExchangeDone([this] { ExchangeDone(); });
  early_upnp_.clear();
  search_->SetOnUpnpDevice([this](const DeviceInformationContainer& device) {
    std::optional<WatchedDevice> watched = WatchedUpnpDevice(device);
    if (!watched) return;
    early_upnp_.push_back(device);
    std::vector<WatchedDevice> devices;
    devices.push_back(std::move(*watched));
    found_(std::move(devices));
  });
  // Started from the event loop, so that nothing is reported inside Start().
  QTimer::singleShot(0, &context_, [this] { search_->Start([this] { Ended(); }); });
}

void WatchRoundSearch::ExchangeDone() {
  if (search_->PortHeld()) return;  // it searched nothing
  // Under "UPNP" the merge replaces the exchange's rows: nothing is final yet.
  if (with_upnp_ && ProjectIsUpnpOnly(settings_.project)) return;
  const DeviceTable& table = search_->Table();
  RecordOrigins origins = OriginsOfSearch(settings_, search_->ExchangeRecords(), nullptr);
  std::vector<WatchedDevice> devices = WatchedDevicesOf(table, origins, settings_, 0);
  reported_ = table.devices.Size();
  if (!devices.empty()) found_(std::move(devices));
}

void WatchRoundSearch::Ended() {
  port_held_ = search_->PortHeld();
  if (port_held_ && on_port_held_) on_port_held_();
  const UpnpEngine* engine = search_->Engine();
  RecordOrigins origins =
      OriginsOfSearch(settings_, search_->ExchangeRecords(), engine != nullptr ? &engine->results : nullptr);
  std::vector<WatchedDevice> devices = WatchedDevicesOf(search_->Table(), origins, settings_, reported_);
  if (with_upnp_ && ProjectIsUpnpOnly(settings_.project))  // only the merge's rows are shown
    std::erase_if(devices, [](const WatchedDevice& d) { return d.source != "upnp"; });
  // Each device reported as soon as it was read stands for one merged row.
  std::erase_if(devices, [this](const WatchedDevice& d) {
    if (!d.upnp) return false;
    auto early = std::find(early_upnp_.begin(), early_upnp_.end(), *d.upnp);
    if (early == early_upnp_.end()) return false;
    early_upnp_.erase(early);
    return true;
  });
  auto found = std::move(found_);
  auto done = std::move(done_);
  found_ = nullptr;
  done_ = nullptr;
  if (!devices.empty()) found(std::move(devices));
  // The search is dropped outside its own callback, before the round ends:
  // the next round finds nothing left of this one.
  QTimer::singleShot(0, &context_, [this, done = std::move(done)] {
    search_.reset();
    done();
  });
}

// A search on a core event loop, without a window.
#include "cli/headless_search.h"

#include <QCoreApplication>
#include <QTimer>

#include "search/standalone_search.h"
#include "upnp/upnp_merge.h"

HeadlessSearch::HeadlessSearch(const SearchSettings& settings, bool with_upnp, DebugLog& log)
    : settings_(settings), search_(std::make_unique<StandaloneSearch>(settings, with_upnp, log)) {}

HeadlessSearch::~HeadlessSearch() = default;

const DeviceTable& HeadlessSearch::Table() const { return search_->Table(); }

void HeadlessSearch::Run() {
  search_->SetOnExchangeDone([this] {
    exchange_records_ = search_->Table().devices.Size();
    if (on_exchange_done_) on_exchange_done_();
  });
  QTimer::singleShot(0, [this] { search_->Start([] { QCoreApplication::quit(); }); });
  QCoreApplication::exec();
  // The merge adds one record per result it takes over, in results order.
  taken_.clear();
  if (UpnpEngine* engine = search_->Engine()) {
    for (const DeviceInformationContainer& d : engine->results)
      if (UpnpRecordOf(d)) taken_.push_back(&d);
  }
}

std::string HeadlessSearch::SourceOf(std::size_t index) const {
  if (index >= exchange_records_) return "upnp";
  return ModeOf(settings_) == SearchMode::kHttpCmd ? "httpcmd" : "protocol";
}

const DeviceInformationContainer* HeadlessSearch::UpnpOf(std::size_t index) const {
  if (index < exchange_records_ || index - exchange_records_ >= taken_.size()) return nullptr;
  return taken_[index - exchange_records_];
}

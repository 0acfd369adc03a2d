// A search on a core event loop, without a window.
#include "cli/headless_search.h"

#include <QCoreApplication>
#include <QTimer>

#include "search/standalone_search.h"

HeadlessSearch::HeadlessSearch(const SearchSettings& settings, bool with_upnp, DebugLog& log)
    : settings_(settings), search_(std::make_unique<StandaloneSearch>(settings, with_upnp, log)) {}

HeadlessSearch::~HeadlessSearch() = default;

const DeviceTable& HeadlessSearch::Table() const { return search_->Table(); }

void HeadlessSearch::Run() {
  search_->SetOnExchangeDone(on_exchange_done_);
  search_->SetOnUpnpDevice(on_upnp_device_);
  QTimer::singleShot(0, [this] { search_->Start([] { QCoreApplication::quit(); }); });
  QCoreApplication::exec();
  ended_ = true;
}

bool HeadlessSearch::HeardNothing() const { return search_->HeardNothing(); }

bool HeadlessSearch::PortHeld() const { return search_->PortHeld(); }

RecordOrigins HeadlessSearch::Origins() const {
  // The engine's worker writes its results until the search has ended.
  const UpnpEngine* engine = ended_ ? search_->Engine() : nullptr;
  return OriginsOfSearch(settings_, search_->ExchangeRecords(), engine != nullptr ? &engine->results : nullptr);
}

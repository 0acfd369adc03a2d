// A search on a core event loop, without a window.
#include "cli/headless_search.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include "protocol/search_controls.h"
#include "search/engine_upnp_phase.h"
#include "search/network_exchanges.h"
#include "search/search_driver.h"

namespace {

// A search without a window has no button and no label to set.
class NoControls : public SearchControls {
 public:
  void SetSearchButton(bool, const std::string&) override {}
  void SetCountLabel(const std::string&) override {}
};

}  // namespace

struct HeadlessSearch::Parts {
  NoControls controls;
  QObject owner;
  std::unique_ptr<SearchExchanges> exchanges;
  std::unique_ptr<EngineUpnpPhase> upnp;
  std::unique_ptr<SearchDriver> driver;
};

HeadlessSearch::HeadlessSearch(const SearchSettings& settings, bool with_upnp, DebugLog& log)
    : settings_(settings), log_(log), parts_(std::make_unique<Parts>()) {
  WriteGridHeadings(table_.grid);
  parts_->exchanges = MakeNetworkExchanges(table_, settings_, log_);
  if (with_upnp) parts_->upnp = std::make_unique<EngineUpnpPhase>(&parts_->owner, table_, settings_, log_);
  parts_->driver = std::make_unique<SearchDriver>(table_, settings_, parts_->controls,
                                                  *parts_->exchanges, parts_->upnp.get());
}

HeadlessSearch::~HeadlessSearch() = default;

void HeadlessSearch::Run() {
  SearchDriver& driver = *parts_->driver;
  driver.SetOnExchangeDone(on_exchange_done_);
  driver.SetOnFinished([] { QCoreApplication::quit(); });
  QTimer::singleShot(0, [&driver] { driver.Start(); });
  QCoreApplication::exec();
  ended_ = true;
}

RecordOrigins HeadlessSearch::Origins() const {
  // The engine's worker writes its results until the search has ended.
  const bool merged = ended_ && parts_->upnp != nullptr;
  return OriginsOfSearch(settings_, parts_->driver->ExchangeRecords(),
                         merged ? &parts_->upnp->Engine().results : nullptr);
}

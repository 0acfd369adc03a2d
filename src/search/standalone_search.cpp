// A search with a device table of its own.
#include "search/standalone_search.h"

StandaloneSearch::StandaloneSearch(const SearchSettings& settings, bool with_upnp, DebugLog& log,
                                   const MakeExchanges& make_exchanges)
    : settings_(settings) {
  WriteGridHeadings(table_.grid);
  exchanges_ = make_exchanges(table_, settings_, log);
  if (with_upnp) upnp_ = std::make_unique<EngineUpnpPhase>(&owner_, table_, settings_, log);
  driver_ = std::make_unique<SearchDriver>(table_, settings_, controls_, *exchanges_, upnp_.get(), &log);
}

// The members go in reverse order: the driver first, so that nothing ends a
// search any more; then the UPnP phase and the exchanges wait for their
// threads, and the calls they queued are dropped with them.
StandaloneSearch::~StandaloneSearch() = default;

void StandaloneSearch::Start(std::function<void()> finished) {
  if (driver_->Searching()) return;
  driver_->SetOnFinished(std::move(finished));
  driver_->Start();
}

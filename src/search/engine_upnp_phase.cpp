// UPnP phase: engine start, off-thread wait, merge on the owner's thread.
#include "search/engine_upnp_phase.h"

#include "search/queued_call.h"
#include "upnp/library_log.h"
#include "upnp/upnp_merge.h"

EngineUpnpPhase::EngineUpnpPhase(QObject* owner, DeviceTable& table, const SearchSettings& settings,
                                 SearchControls& controls, DebugLog& log,
                                 std::unique_ptr<CPortForwardEngine> engine)
    : owner_(owner), table_(table), settings_(settings), controls_(controls), log_(log),
      engine_(engine ? std::move(engine) : std::make_unique<CPortForwardEngine>()) {
  RouteLibraryMessages();
}

EngineUpnpPhase::~EngineUpnpPhase() {
  JoinResultsThread();
  engine_.reset();
}

void EngineUpnpPhase::StartSearch() { engine_->StartSearch(owner_); }

void EngineUpnpPhase::StartMerge(std::function<void()> finished) {
  controls_.SetSearchButton(false, "Search Upnp...");
  JoinResultsThread();
  std::shared_ptr<SearchEvent> event = engine_->search_event;
  QObject* context = &context_;
  // The phase joins this thread before `context_` goes, so the queued call
  // always has a live receiver (and is dropped with it).
  results_thread_ = std::thread([this, event, context, finished = std::move(finished)] {
    if (event) event->Wait();
    QueueCall(context, [this, finished] {
      for (const std::string& message : TakeLibraryMessages()) log_.Append(message);
      MergeUpnpResultsSteps(table_, settings_.project, *engine_, controls_);
      finished();
    });
  });
}

bool EngineUpnpPhase::InProgress() const { return engine_->search_event != nullptr; }

void EngineUpnpPhase::JoinResultsThread() {
  if (results_thread_.joinable()) results_thread_.join();
}

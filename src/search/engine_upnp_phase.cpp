// UPnP phase: engine start, off-thread wait, merge on the owner's thread.
#include "search/engine_upnp_phase.h"

#include "search/queued_call.h"
#include "upnp/library_log.h"
#include "upnp/upnp_merge.h"

EngineUpnpPhase::EngineUpnpPhase(QObject* owner, DeviceTable& table, const SearchSettings& settings,
                                 DebugLog& log, std::unique_ptr<UpnpEngine> engine)
    : owner_(owner), table_(table), settings_(settings), log_(log),
      engine_(engine ? std::move(engine) : std::make_unique<UpnpEngine>()) {
  RouteLibraryMessages();
}

EngineUpnpPhase::~EngineUpnpPhase() {
  JoinResultsThread();
  engine_.reset();
}

void EngineUpnpPhase::StartSearch() { engine_->StartSearch(owner_.data()); }

void EngineUpnpPhase::StartMerge(std::function<void()> merged) {
  JoinResultsThread();
  std::shared_ptr<SearchEvent> event = engine_->search_event;
  QObject* context = &context_;
  // The phase joins this thread before `context_` goes, so the queued call
  // always has a live receiver (and is dropped with it).
  results_thread_ = std::thread([this, event, context, merged = std::move(merged)] {
    if (event) event->Wait();
    QueueCall(context, [this, merged] {
      for (const std::string& message : TakeLibraryMessages()) log_.Append(message);
      MergeUpnpResults(table_, engine_->results, ProjectIsUpnpOnly(settings_.project), &merged_);
      engine_->CloseSearchEvent();
      merged();
    });
  });
}

bool EngineUpnpPhase::InProgress() const { return engine_->search_event != nullptr; }

void EngineUpnpPhase::JoinResultsThread() {
  if (results_thread_.joinable()) results_thread_.join();
}
